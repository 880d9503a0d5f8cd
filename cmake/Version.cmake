# The project version is the only place the version is written. From it come
# the version record's texts and numbers (driver/Ostrel.rc, filled in here),
# the man page's footer and the package names. The record's product version
# trails the file version by one build, as it always has.
set(OSTREL_PRODUCT_VERSION
    ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.1)

# Builds of one commit carry the same dates: the commit's time, unless the
# caller already chose one.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE OSTREL_SOURCE_DATE_EPOCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT OSTREL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    # A tree without history: the date of this version.
    set(OSTREL_SOURCE_DATE_EPOCH 1796601600)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${OSTREL_SOURCE_DATE_EPOCH})
endif()
set(OSTREL_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})

function(ostrel_version_forms version list_var text_var)
  string(REPLACE "." "," list "${version}")
  string(REPLACE "." ", " text "${version}")
  set(${list_var} "${list}" PARENT_SCOPE)
  set(${text_var} "${text}" PARENT_SCOPE)
endfunction()
ostrel_version_forms(${PROJECT_VERSION} OSTREL_FILE_VERSION_LIST OSTREL_FILE_VERSION_TEXT)
ostrel_version_forms(${OSTREL_PRODUCT_VERSION} OSTREL_PRODUCT_VERSION_LIST
                     OSTREL_PRODUCT_VERSION_TEXT)

# Both resource compilers read this copy; the icon stays in driver/.
set(OSTREL_RC_FILE ${PROJECT_BINARY_DIR}/Ostrel.rc)
configure_file(${PROJECT_SOURCE_DIR}/driver/Ostrel.rc ${OSTREL_RC_FILE} @ONLY)

string(TIMESTAMP OSTREL_MAN_DATE "%B %Y" UTC)
set(OSTREL_MAN_PAGE ${PROJECT_BINARY_DIR}/Ostrel.1)
configure_file(${PROJECT_SOURCE_DIR}/doc/Ostrel.1 ${OSTREL_MAN_PAGE} @ONLY)
