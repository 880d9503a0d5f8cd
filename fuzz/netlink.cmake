# The rtnetlink datagram reader, message by message.
set(netlink_reader
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/attributes.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/messages.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/nexthops.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/dump_reader.cpp)
# The reader, the gathering of adapter facts and the record writer behind
# it.
ostrel_fuzz_target(fuzz_netlink
  FOLDERS linux linux/netlink linux/leases linux/posix linux/include common
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_netlink.cpp
  ${netlink_reader}
  ${PROJECT_SOURCE_DIR}/platform/linux/gather_facts.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/kernel_time.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/link_description.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/sysfs.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/hardware_names.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/lease_policy.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/leases/text_fields.cpp
  ${PROJECT_SOURCE_DIR}/platform/common/adapter_records.cpp
  ${PROJECT_SOURCE_DIR}/platform/common/text_escape.cpp)
# The dump loop over a channel of the input's datagrams: the sender filter,
# the peek that sizes the buffer, and the redone dumps.
ostrel_fuzz_target(fuzz_dump_loop
  FOLDERS linux linux/netlink linux/posix linux/include common
  SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_dump_loop.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink/dump_loop.cpp
  ${netlink_reader})
