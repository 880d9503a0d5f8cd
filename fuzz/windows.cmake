# The Windows layer's conversion of the adapter list, built for this host
# against the few Windows types it reads (windows_host/os_api.h).
ostrel_fuzz_target(fuzz_windows_facts
  FOLDERS windows common
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_windows_facts.cpp
  ${PROJECT_SOURCE_DIR}/platform/windows/gather_facts.cpp)
target_include_directories(fuzz_windows_facts BEFORE PRIVATE ${CMAKE_CURRENT_LIST_DIR}/windows_host)
