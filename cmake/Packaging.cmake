# What `cmake --install` puts in place and what cpack packs: on Linux a
# tarball, on Windows a zip with a short text and the licence beside
# Ostrel.exe. Installs keep the debug information (a distribution's tools
# strip it into a package of its own); the archives made here are stripped.
# The Debian package is built from debian/ with dpkg-buildpackage.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS Ostrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zuvi Software")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dump every member of every network adapter record")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Archives would otherwise record the user who ran cpack
# (cmake/ZeroOwner.cmake looks for python3 again when cpack runs).
find_program(CPACK_OSTREL_PYTHON NAMES python3)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/ZeroOwner.cmake)
# cpack runs later, in its own process: it takes the build's date with it.
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackDate.cmake)
file(CONFIGURE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT
     "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${OSTREL_SOURCE_DATE_EPOCH})
endif()
")

if(OSTREL_OS STREQUAL "linux")
  install(FILES ${OSTREL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # The package is ostrel: the command and its man page answer to that name
  # too. The banner still finds the version record through the link.
  set(links ${PROJECT_BINARY_DIR}/links)
  file(MAKE_DIRECTORY ${links})
  file(CREATE_LINK Ostrel ${links}/ostrel SYMBOLIC)
  file(CREATE_LINK Ostrel.1 ${links}/ostrel.1 SYMBOLIC)
  install(FILES ${links}/ostrel DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${links}/ostrel.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME "Ostrel-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
else()
  set(text ${PROJECT_BINARY_DIR}/text)
  configure_file(doc/README-windows.txt ${text}/README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE ${text}/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${text}/README.txt ${text}/LICENSE.txt DESTINATION ${CMAKE_INSTALL_BINDIR})

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Ostrel-${PROJECT_VERSION}-win32")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
include(CPack)
