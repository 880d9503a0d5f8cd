# Run as a script (cmake -P) over SOURCES, the tool's and the layers' own
# files: a quoted include that climbs out of its folder fails, and STAMP
# is touched when none does.
set(climbing)
foreach(source IN LISTS SOURCES)
  file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\./")
  foreach(line IN LISTS lines)
    list(APPEND climbing "${source}: ${line}")
  endforeach()
endforeach()
if(climbing)
  list(JOIN climbing "\n  " text)
  message(FATAL_ERROR "A part reaches another by linking it, not by a path "
                      "out of its folder:\n  ${text}")
endif()
file(TOUCH ${STAMP})
