# What `cmake --install` puts in place and what cpack packs: on Linux a
# Debian package and a tarball, on Windows a zip with a short text and the
# licence beside Ostrel.exe. Installs strip the executable unless told
# otherwise (CMAKE_INSTALL_DO_STRIP=0).
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(CODE "if(NOT DEFINED CMAKE_INSTALL_DO_STRIP)\n  set(CMAKE_INSTALL_DO_STRIP 1)\nendif()")
install(TARGETS Ostrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zuvi Software")
set(CPACK_PACKAGE_CONTACT "Ostrel developers <ostrel@zuvi.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dump every member of every network adapter record")
set(CPACK_PACKAGE_DESCRIPTION
    "Ostrel writes every member of each IP_ADAPTER_INFO record of the machine's
network adapters: numbers in hexadecimal and decimal, the hardware address
byte by byte, each address list node by node, the gateways, the DHCP server
and the lease times, in one fixed layout on Linux and on Windows.")
set(CPACK_PACKAGE_HOMEPAGE_URL ${PROJECT_HOMEPAGE_URL})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Archives would otherwise record the user who ran cpack.
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
  # Debian keeps man pages and changelogs compressed, without a time in the
  # gzip header.
  find_program(OSTREL_GZIP gzip REQUIRED)
  set(doc ${PROJECT_BINARY_DIR}/doc)
  file(MAKE_DIRECTORY ${doc})
  string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  file(CONFIGURE OUTPUT ${doc}/changelog CONTENT
       "ostrel (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- ${CPACK_PACKAGE_CONTACT}  ${changelog_date}
")
  foreach(file ${OSTREL_MAN_PAGE} ${doc}/changelog)
    get_filename_component(name ${file} NAME)
    execute_process(COMMAND ${OSTREL_GZIP} -9 -n -c ${file} OUTPUT_FILE ${doc}/${name}.gz
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  install(FILES ${doc}/Ostrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${doc}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
  # The package is ostrel: the command and its man page answer to that name
  # too. The banner still finds the version record through the link.
  set(links ${PROJECT_BINARY_DIR}/links)
  file(MAKE_DIRECTORY ${links})
  file(CREATE_LINK Ostrel ${links}/ostrel SYMBOLIC)
  file(CREATE_LINK Ostrel.1.gz ${links}/ostrel.1.gz SYMBOLIC)
  install(FILES ${links}/ostrel DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${links}/ostrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_PACKAGE_FILE_NAME "Ostrel-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
  set(CPACK_DEBIAN_PACKAGE_NAME ostrel)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # udev supplies the hardware database and libudev, loaded at run time,
  # that name physical devices; without them descriptions are driver names.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS udev)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
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
