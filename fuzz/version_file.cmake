# The version lookup on whole files: name resolution, the ELF reader and the
# .res walk. The target carries the build's record so that the fallback from
# a damaged "Ostrel.exe" to its own name has something to find.
ostrel_fuzz_target(fuzz_version_file
  FOLDERS linux/version linux/posix linux/include
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_version_file.cpp
  ${OSTREL_VERSION_SOURCES}
  ${PROJECT_SOURCE_DIR}/platform/linux/last_error.cpp)
ostrel_embed_version(fuzz_version_file)
