# Builds are hardened the way distributions build their packages: stack
# protector, fortified library calls, a position-independent executable with
# read-only relocations bound at start-up on Linux, and ASLR and DEP on
# Windows. A builder's own choice of any of these (a distribution's flags in
# CFLAGS, CXXFLAGS and LDFLAGS) stands; the project adds only what the
# builder left open. The sanitizer and fuzz builds turn this off.
# Sets OSTREL_FORTIFIED: whether the build asks for fortified calls, which the
# hardening test expects to find.
option(OSTREL_HARDEN "Build with the hardening flags distributions use" ON)
set(OSTREL_FORTIFIED OFF)
if(NOT OSTREL_HARDEN)
  return()
endif()

string(TOUPPER "${CMAKE_BUILD_TYPE}" build_type)
set(compile_flags "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${build_type}}")
set(link_flags "${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${build_type}}")

# Adds a compile or link option unless the builder's flags already decide
# the property that the pattern names.
function(ostrel_harden kind pattern)
  if(NOT "${${kind}_flags}" MATCHES "${pattern}")
    if(kind STREQUAL "compile")
      add_compile_options(${ARGN})
    else()
      add_link_options(${ARGN})
    endif()
  endif()
endfunction()

ostrel_harden(compile "-f(no-)?stack-protector" -fstack-protector-strong)

# Fortified calls work only in an optimised build: at -O0 (or no -O at all)
# there are none to ask for, and glibc warns when asked.
set(optimised OFF)
string(REGEX MATCHALL "(^| )-O[^ ]*" levels "${compile_flags}")
list(POP_BACK levels level)
if(level MATCHES "-O" AND NOT level MATCHES "-O0$")
  set(optimised ON)
endif()
string(REGEX MATCHALL "(^| )-[DU] *_FORTIFY_SOURCE(=[0-9]*)?" fortify_flags "${compile_flags}")
list(POP_BACK fortify_flags fortify)
if(fortify MATCHES "FORTIFY")
  # The builder's last word on it.
  if(optimised AND fortify MATCHES "-D *_FORTIFY_SOURCE(=[1-9]|$)")
    set(OSTREL_FORTIFIED ON)
  endif()
elseif(optimised)
  add_compile_options(-D_FORTIFY_SOURCE=2)
  set(OSTREL_FORTIFIED ON)
endif()

if(OSTREL_OS STREQUAL "linux")
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  ostrel_harden(compile "-f(no-)?stack-clash-protection" -fstack-clash-protection)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|i.86|AMD64)$")
    ostrel_harden(compile "-f(no-)?cf-protection" -fcf-protection)
  endif()
  ostrel_harden(link "-z,(no)?relro" -Wl,-z,relro)
  ostrel_harden(link "-z,(now|lazy)" -Wl,-z,now)
  ostrel_harden(link "-z,(no)?execstack" -Wl,-z,noexecstack)
else()
  # MinGW links the guard and the checked calls from libssp, statically.
  ostrel_harden(link "-f(no-)?stack-protector" -fstack-protector-strong)
  ostrel_harden(link "--(disable-)?dynamicbase" -Wl,--dynamicbase)
  ostrel_harden(link "--(disable-)?nxcompat" -Wl,--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    ostrel_harden(link "--(disable-)?high-entropy-va" -Wl,--high-entropy-va)
  endif()
endif()
