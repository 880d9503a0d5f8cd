# Real DHCP clients against a real dnsmasq, each in namespaces of its own
# (root only).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME integration.dhcp_clients
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/integration/dhcp_clients.py
                 $<TARGET_FILE:Ostrel>)
set_tests_properties(integration.dhcp_clients PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 420)

# The helpers those clients run through, inside a chroot as a packager's
# build root has it: they keep its root, or the tests skip.
add_test(NAME integration.netns_chroot
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/integration/netns_chroot.py)
set_tests_properties(integration.netns_chroot PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)

# ConnMan's service settings in a mount namespace of the test's own (no
# ConnMan runs).
add_test(NAME integration.netns_connman
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/integration/netns_connman.py
                 $<TARGET_FILE:Ostrel>)
set_tests_properties(integration.netns_connman PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
