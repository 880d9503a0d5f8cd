# Lease-store readers against fixture trees and generated files.
find_package(Threads REQUIRED)
add_executable(ostrel_leases_test ${CMAKE_CURRENT_LIST_DIR}/leases_test.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/lease_policy_test.cpp)
# ostrel_core: the report's lease-time text, the inverse of dhclient's dates.
target_link_libraries(ostrel_leases_test PRIVATE ostrel_adapter_facts ostrel_core GTest::gtest_main
                                         Threads::Threads)
target_compile_definitions(ostrel_leases_test
  PRIVATE OSTREL_LEASE_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/leases")
gtest_discover_tests(ostrel_leases_test DISCOVERY_MODE PRE_TEST)
