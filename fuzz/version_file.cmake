# The version lookup on whole files: name resolution, the ELF reader and the
# .res walk. The target carries the build's record so that the fallback from
# a damaged "Ostrel.exe" to its own name has something to find.
add_executable(fuzz_version_file
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_version_file.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version_info.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version_record.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version_file.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/system.cpp)
target_include_directories(fuzz_version_file PRIVATE ${PROJECT_SOURCE_DIR}/platform/linux)
target_compile_options(fuzz_version_file PRIVATE -fsanitize=fuzzer,address,undefined
  -fno-sanitize-recover=all)
target_link_options(fuzz_version_file PRIVATE -fsanitize=fuzzer,address,undefined)
ostrel_embed_version(fuzz_version_file)
