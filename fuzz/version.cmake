# The version record walker and the .res entry parser.
ostrel_fuzz_target(fuzz_version_record
  FOLDERS linux/version linux/posix linux/include
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_version_record.cpp
  ${OSTREL_VERSION_SOURCES}
  ${PROJECT_SOURCE_DIR}/platform/linux/last_error.cpp)
