# Message texts and local memory of the Linux layer, and the POSIX plumbing
# its parts share.
find_package(Threads REQUIRED)
add_executable(ostrel_system_test ${CMAKE_CURRENT_LIST_DIR}/system_test.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/posix/posix_test.cpp)
target_link_libraries(ostrel_system_test PRIVATE ostrel_system ostrel_posix ostrel_test_support
                                         GTest::gtest_main Threads::Threads)
gtest_discover_tests(ostrel_system_test DISCOVERY_MODE PRE_TEST)
