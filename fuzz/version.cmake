# The version record walker and the .res entry parser; the sources are
# compiled in here so that they carry the fuzzer's instrumentation.
add_executable(fuzz_version_record
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_version_record.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version_record.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version_file.cpp)
target_include_directories(fuzz_version_record PRIVATE ${PROJECT_SOURCE_DIR}/platform/linux)
target_compile_options(fuzz_version_record PRIVATE -fsanitize=fuzzer,address,undefined
  -fno-sanitize-recover=all)
target_link_options(fuzz_version_record PRIVATE -fsanitize=fuzzer,address,undefined)
