# Lease-store readers against fixture trees and generated files, and the
# rule for which lease is live.
add_library(ostrel_lease_support INTERFACE)
target_include_directories(ostrel_lease_support INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ostrel_lease_support INTERFACE ostrel_leases)

find_package(Threads REQUIRED)
add_executable(ostrel_leases_test ${CMAKE_CURRENT_LIST_DIR}/leases_test.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/lease_policy_test.cpp)
target_link_libraries(ostrel_leases_test PRIVATE ostrel_leases ostrel_lease_support
                                         ostrel_test_support GTest::gtest_main
                                         Threads::Threads)
target_compile_definitions(ostrel_leases_test
  PRIVATE OSTREL_LEASE_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/leases")
gtest_discover_tests(ostrel_leases_test DISCOVERY_MODE PRE_TEST)
