# The small files the kernel's replies are checked against: a link's sysfs
# entry with the product name its modalias gives, and a time namespace's
# offsets.
ostrel_fuzz_target(fuzz_sysfs
  FOLDERS linux linux/netlink linux/leases linux/posix linux/include common
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_sysfs.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/link_description.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/sysfs.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/hardware_names.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/text_fields.cpp)
target_link_libraries(fuzz_sysfs PRIVATE ${CMAKE_DL_LIBS})
ostrel_fuzz_target(fuzz_timens_offsets
  FOLDERS linux linux/leases linux/posix common
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_timens_offsets.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/kernel_time.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/text_fields.cpp)
