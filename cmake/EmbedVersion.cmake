# Compiles the filled-in driver/Ostrel.rc with llvm-rc and embeds the .res
# image in an ELF section that the Linux version functions read back from the
# file.
# Sets OSTREL_RES_FILE (the compiled .res) and the target ostrel_res.
find_program(OSTREL_LLVM_RC NAMES llvm-rc llvm-rc-14 REQUIRED)
enable_language(ASM)

set(OSTREL_RES_FILE ${CMAKE_BINARY_DIR}/Ostrel.res)
# The script has no preprocessor lines: without the preprocessor the output
# is the same whether clang is installed or not. llvm-rc 14 takes only
# -no-preprocess for that; it ignores -no-cpp and warns when clang is missing.
# llvm-rc reads any argument that starts with "/" as an option, so an absolute
# path such as /check/... turns into the /C option and its value. Paths are
# therefore given relative to the folder the command runs in.
file(RELATIVE_PATH OSTREL_RES_ARG ${CMAKE_SOURCE_DIR}/driver ${OSTREL_RES_FILE})
file(RELATIVE_PATH OSTREL_RC_ARG ${CMAKE_SOURCE_DIR}/driver ${OSTREL_RC_FILE})
add_custom_command(
  OUTPUT ${OSTREL_RES_FILE}
  COMMAND ${OSTREL_LLVM_RC} -no-preprocess -FO ${OSTREL_RES_ARG} ${OSTREL_RC_ARG}
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/driver
  DEPENDS ${OSTREL_RC_FILE} ${CMAKE_SOURCE_DIR}/driver/Ostrel.ico
  COMMENT "Compiling the version record")
add_custom_target(ostrel_res DEPENDS ${OSTREL_RES_FILE})

set(OSTREL_RES_ASM ${CMAKE_BINARY_DIR}/ostrel_resources.S)
file(CONFIGURE OUTPUT ${OSTREL_RES_ASM} CONTENT
".section .ostrel_resources,\"a\"
.p2align 2
.incbin \"${OSTREL_RES_FILE}\"
.section .note.GNU-stack,\"\",@progbits
")
set_source_files_properties(${OSTREL_RES_ASM} PROPERTIES OBJECT_DEPENDS ${OSTREL_RES_FILE})

# Adds the embedded record to an executable target.
function(ostrel_embed_version target)
  target_sources(${target} PRIVATE ${OSTREL_RES_ASM})
  add_dependencies(${target} ostrel_res)
endfunction()
