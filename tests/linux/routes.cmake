# Default routes of the real kernel as gateways (root only).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME integration.netns_routes
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/integration/netns_routes.py
                 $<TARGET_FILE:Ostrel>)
set_tests_properties(integration.netns_routes PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
