# The version record and icon of driver/Ostrel.rc, as filled in by CMake,
# compiled by windres into a .res image (kept in the build tree: the tests
# read it with the Linux reader too) and from that into an object the linker
# places in .rsrc.
# Called from the directory that defines the target, which must own the
# commands that produce its sources.
function(ostrel_link_resources target)
  set(res ${CMAKE_BINARY_DIR}/Ostrel.res)
  set(object ${CMAKE_BINARY_DIR}/Ostrel.res.obj)
  add_custom_command(
    OUTPUT ${res}
    COMMAND ${CMAKE_RC_COMPILER} -I ${CMAKE_SOURCE_DIR}/driver
            -i ${OSTREL_RC_FILE} -O res -o ${res}
    DEPENDS ${OSTREL_RC_FILE} ${CMAKE_SOURCE_DIR}/driver/Ostrel.ico
    COMMENT "Compiling the version record")
  add_custom_command(
    OUTPUT ${object}
    COMMAND ${CMAKE_RC_COMPILER} -i ${res} -O coff -o ${object}
    DEPENDS ${res})
  target_sources(${target} PRIVATE ${object})
endfunction()
