# The version record walker on the compiled record and on damaged ones, the
# ELF and .res readers on damaged copies of the executable, and the banner
# of the real executable under the names it may be invoked by.
add_executable(ostrel_version_test
  ${CMAKE_CURRENT_LIST_DIR}/version_record_test.cpp ${CMAKE_CURRENT_LIST_DIR}/version_info_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/executable_search_test.cpp ${CMAKE_CURRENT_LIST_DIR}/elf_section_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resource_walk_test.cpp ${CMAKE_CURRENT_LIST_DIR}/byte_reader_test.cpp)
target_link_libraries(ostrel_version_test PRIVATE ostrel_version ostrel_test_support
                                          GTest::gtest_main)
target_compile_definitions(ostrel_version_test PRIVATE
  OSTREL_RES_FILE="${OSTREL_RES_FILE}" OSTREL_EXE="$<TARGET_FILE:Ostrel>"
  OSTREL_OBJCOPY="${CMAKE_OBJCOPY}")
add_dependencies(ostrel_version_test ostrel_res Ostrel)
ostrel_embed_version(ostrel_version_test)
gtest_discover_tests(ostrel_version_test DISCOVERY_MODE PRE_TEST)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME integration.version_banner
  COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/integration/version_banner.py
    $<TARGET_FILE:Ostrel>)
set_tests_properties(integration.version_banner PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 60)
