# The rtnetlink datagram reader, the gathering of adapter facts and the
# record writer behind it.
ostrel_fuzz_target(fuzz_netlink
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_netlink.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/attributes.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/messages.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/nexthops.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/dump_reader.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/gather_facts.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/kernel_time.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/link_description.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/sysfs.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/hardware_names.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_policy.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/text_fields.cpp
  ${PROJECT_SOURCE_DIR}/platform/common/adapter_records.cpp
  ${PROJECT_SOURCE_DIR}/platform/common/text_escape.cpp)
