# The rtnetlink datagram reader, the gathering of adapter facts and the
# record writer behind it; the sources are compiled in here so that they
# carry the fuzzer's instrumentation.
set(OSTREL_NETLINK_FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
add_executable(fuzz_netlink
  ${CMAKE_CURRENT_LIST_DIR}/fuzz_netlink.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/netlink.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/gather_facts.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/link_description.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/sysfs.cpp
  ${PROJECT_SOURCE_DIR}/platform/linux/lease_policy.cpp
  ${PROJECT_SOURCE_DIR}/platform/common/adapter_records.cpp
  ${PROJECT_SOURCE_DIR}/platform/common/text_escape.cpp)
target_include_directories(fuzz_netlink PRIVATE ${PROJECT_SOURCE_DIR}/platform/linux
                                                ${PROJECT_SOURCE_DIR}/platform/common)
target_compile_options(fuzz_netlink PRIVATE ${OSTREL_NETLINK_FUZZ_FLAGS})
target_link_options(fuzz_netlink PRIVATE ${OSTREL_NETLINK_FUZZ_FLAGS})
