# The same commit built in two folders gives byte-identical executables and
# packages: no build path in the debug information or in __FILE__, no link
# time in the PE header, and archive times taken from SOURCE_DATE_EPOCH
# (cmake/Version.cmake sets it from the commit).
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
if(OSTREL_OS STREQUAL "windows")
  # A link time would differ between builds, and the PE checksum with it.
  add_link_options(-Wl,--no-insert-timestamp)
endif()
