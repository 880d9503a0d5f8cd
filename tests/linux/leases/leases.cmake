# Lease-store readers against fixture trees and generated files, and the
# rule for which lease is live.
add_library(ostrel_lease_support INTERFACE)
target_include_directories(ostrel_lease_support INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ostrel_lease_support INTERFACE ostrel_leases)

find_package(Threads REQUIRED)
# One file of tests per unit of the part.
set(lease_tests lease_key_value lease_dhclient lease_dhcpcd lease_dhcpcd_control interface_names
                lease_files read_leases lease_policy)
list(TRANSFORM lease_tests REPLACE "(.+)" "${CMAKE_CURRENT_LIST_DIR}/\\1_test.cpp")
add_executable(ostrel_leases_test ${lease_tests})
target_link_libraries(ostrel_leases_test PRIVATE ostrel_leases ostrel_lease_support
                                         ostrel_test_support GTest::gtest_main
                                         Threads::Threads)
target_compile_definitions(ostrel_leases_test
  PRIVATE OSTREL_LEASE_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures/leases")
gtest_discover_tests(ostrel_leases_test DISCOVERY_MODE PRE_TEST)
