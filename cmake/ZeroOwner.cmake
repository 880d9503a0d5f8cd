# Run by cpack after it has made the packages (CPACK_POST_BUILD_SCRIPTS):
# the tarball and the zip get owner and group 0 instead of the user who ran
# cpack. python3 may have come after the build was configured (scripts/run.sh
# does not need it): it is looked for again here.
if(NOT CPACK_OSTREL_PYTHON)
  find_program(CPACK_OSTREL_PYTHON NAMES python3)
endif()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(package MATCHES "\\.(tar\\.gz|zip)$")
    if(NOT CPACK_OSTREL_PYTHON)
      message(FATAL_ERROR "cpack needs python3 to record owner 0 in ${package}: apt-get install python3")
    endif()
    execute_process(COMMAND ${CPACK_OSTREL_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/zero_owner.py
                            ${package} COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
