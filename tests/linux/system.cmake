# Message texts and local memory of the Linux layer.
add_executable(ostrel_system_test ${CMAKE_CURRENT_LIST_DIR}/system_test.cpp)
target_link_libraries(ostrel_system_test PRIVATE ostrel_system GTest::gtest_main)
gtest_discover_tests(ostrel_system_test DISCOVERY_MODE PRE_TEST)
