# The version lookup on whole files: the ELF reader and the .res walk on the
# file standing in for the running one. The target carries the build's
# record, which its own lookup must find.
ostrel_fuzz_target(fuzz_version_file
  FOLDERS linux/version linux/posix linux/include
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_version_file.cpp
  ${OSTREL_VERSION_SOURCES}
  ${PROJECT_SOURCE_DIR}/platform/linux/last_error.cpp)
ostrel_embed_version(fuzz_version_file)
