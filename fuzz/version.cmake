# The version record walker and the .res entry parser.
ostrel_fuzz_target(fuzz_version_record
  FOLDERS linux/version linux/posix linux/include
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_version_record.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version/version_record.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version/executable_search.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version/elf_section.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version/resource_walk.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/version/byte_reader.cpp)
