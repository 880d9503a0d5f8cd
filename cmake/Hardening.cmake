# Release builds are hardened the way distributions build their packages:
# stack protector, fortified library calls, a position-independent
# executable with read-only relocations bound at start-up on Linux, and ASLR
# and DEP on Windows. The sanitizer and fuzz builds turn this off.
option(OSTREL_HARDEN "Build with the hardening flags distributions use" ON)
if(NOT OSTREL_HARDEN)
  return()
endif()

add_compile_options(-fstack-protector-strong)
# Fortified calls need an optimised build; a caller's own level is replaced.
add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>"
                    "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")

if(OSTREL_OS STREQUAL "linux")
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-fstack-clash-protection)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|i.86|AMD64)$")
    add_compile_options(-fcf-protection)
  endif()
  add_link_options(-Wl,-z,relro -Wl,-z,now -Wl,-z,noexecstack)
else()
  # MinGW links the guard and the checked calls from libssp, statically.
  add_link_options(-fstack-protector-strong -Wl,--dynamicbase -Wl,--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(-Wl,--high-entropy-va)
  endif()
endif()
