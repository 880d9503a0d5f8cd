# The rtnetlink parsers, the dump reader and the dump loop on canned
# messages, and the kernel's route socket.
add_library(ostrel_netlink_support INTERFACE)
target_include_directories(ostrel_netlink_support INTERFACE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(ostrel_netlink_support INTERFACE ostrel_netlink)

add_executable(ostrel_netlink_test ${CMAKE_CURRENT_LIST_DIR}/messages_test.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/dump_reader_test.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/dump_loop_test.cpp
                                   ${CMAKE_CURRENT_LIST_DIR}/socket_test.cpp)
target_link_libraries(ostrel_netlink_test PRIVATE ostrel_netlink ostrel_netlink_support
                                          GTest::gtest_main)
gtest_discover_tests(ostrel_netlink_test DISCOVERY_MODE PRE_TEST)

# The real binary in network namespaces built for the test (root only).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
foreach(script netns_report netns_churn netns_edges)
  add_test(NAME integration.${script}
           COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/integration/${script}.py
                   $<TARGET_FILE:Ostrel>)
  set_tests_properties(integration.${script} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
endforeach()
# Its 600 runs are counted, not timed: on a busy machine they may take many
# times their usual 100 s, and the limit only catches a run that hangs.
set_tests_properties(integration.netns_churn PROPERTIES TIMEOUT 1800)

# The real binary short of descriptors, stack or address space, its socket
# calls interrupted, its lease stores hostile (root only). Address-space
# limits and a sanitizer's shadow memory do not mix.
if(NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  add_test(NAME integration.netns_limits
           COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/integration/netns_limits.py
                   $<TARGET_FILE:Ostrel>)
  set_tests_properties(integration.netns_limits PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 180)
endif()
