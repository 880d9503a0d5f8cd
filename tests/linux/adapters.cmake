# Gathering adapter facts: the snapshot and leases, the kernel's clocks, the
# link's description.
add_executable(ostrel_adapter_facts_test
  ${CMAKE_CURRENT_LIST_DIR}/gather_facts_test.cpp ${CMAKE_CURRENT_LIST_DIR}/kernel_time_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/link_description_test.cpp)
target_link_libraries(ostrel_adapter_facts_test PRIVATE ostrel_adapter_facts ostrel_test_support
                                                ostrel_lease_support ostrel_netlink_support
                                                GTest::gtest_main)
gtest_discover_tests(ostrel_adapter_facts_test DISCOVERY_MODE PRE_TEST)

# The adapter query itself against the real kernel.
add_executable(ostrel_adapter_query_test ${CMAKE_CURRENT_LIST_DIR}/adapter_query_test.cpp)
target_link_libraries(ostrel_adapter_query_test PRIVATE ostrel_adapters ostrel_netlink_support
                                                GTest::gtest_main)
gtest_discover_tests(ostrel_adapter_query_test DISCOVERY_MODE PRE_TEST)
