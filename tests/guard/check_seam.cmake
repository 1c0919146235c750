# Lists the symbols each object leaves undefined (nm) and fails on every one
# that neither another of the objects defines nor the allow-list of
# allowed_symbols.cmake holds: a shipped reader program must reach devices
# only through the platform layer (ALLOWED=reader), the PC library's core
# only through its OS layer (ALLOWED=host_core). A file stream, which opens
# files inside the C++ library, is refused whatever the lists say; a number
# reader whose result depends on the width of `long` (strtol) is on none.
#
#   -DNM=nm -DOBJECTS="a.o|b.o" -DALLOWED=reader|host_core [-DPROGRAM=exe] [-DEXPECT="sym|sym"]
#
# With EXPECT the check is inverted: it passes only when every expected
# symbol (a demangled name) is reported, which proves the guard notices a
# direct call. With PROGRAM it also checks that the shipped executable
# carries none of the virtual reader's code.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/allowed_symbols.cmake)
if(NOT DEFINED seam_allowed_${ALLOWED})
  message(FATAL_ERROR "no allow-list named '${ALLOWED}'")
endif()
set(allowed ${seam_allowed_toolchain} ${seam_allowed_c} ${seam_allowed_${ALLOWED}})

# The demangled names an object defines and those it leaves undefined
# (weak references included). A Windows import ("__imp_NAME") counts as
# NAME, a 32-bit Windows API function ("NAME@28") too.
function(read_symbols object defined_out undefined_out)
  execute_process(COMMAND ${NM} -C ${object}
    OUTPUT_VARIABLE listing RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${object}: ${errors}")
  endif()
  string(REPLACE "\n" ";" lines "${listing}")
  set(defined "")
  set(undefined "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^ +[Uwv] (.+)$")
      set(name "${CMAKE_MATCH_1}")
      if(name MATCHES "^_?_imp__(.+)$")
        set(name "${CMAKE_MATCH_1}")
      endif()
      if(name MATCHES "^([A-Za-z_][A-Za-z0-9_]*)@[0-9]+$")
        set(name "${CMAKE_MATCH_1}")
      endif()
      list(APPEND undefined "${name}")
    elseif(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] (.+)$")
      list(APPEND defined "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${defined_out} "${defined}" PARENT_SCOPE)
  set(${undefined_out} "${undefined}" PARENT_SCOPE)
endfunction()

function(is_allowed name result)
  foreach(pattern IN LISTS seam_refused)
    if(name MATCHES "^(${pattern})$")
      set(${result} FALSE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  foreach(pattern IN LISTS allowed)
    if(name MATCHES "^(${pattern})$")
      set(${result} TRUE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${result} FALSE PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" objects "${OBJECTS}")
list(LENGTH objects count)
math(EXPR last "${count} - 1")
set(own "")
foreach(i RANGE ${last})
  list(GET objects ${i} object)
  read_symbols(${object} defined undefined_${i})
  list(APPEND own ${defined})
endforeach()

set(violations "")
set(report "")
foreach(i RANGE ${last})
  list(GET objects ${i} object)
  set(undefined ${undefined_${i}})
  list(REMOVE_DUPLICATES undefined)
  foreach(name IN LISTS undefined)
    if(name IN_LIST own)
      continue()
    endif()
    is_allowed("${name}" ok)
    if(NOT ok)
      list(APPEND violations "${name}")
      string(APPEND report "\n  ${name} in ${object}")
    endif()
  endforeach()
endforeach()

if(DEFINED PROGRAM)
  execute_process(COMMAND ${NM} -C ${PROGRAM} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "nm failed on ${PROGRAM}")
  endif()
  if(listing MATCHES "vreader::")
    message(FATAL_ERROR "${PROGRAM} contains virtual reader code")
  endif()
endif()

if(DEFINED EXPECT)
  string(REPLACE "|" ";" expected "${EXPECT}")
  foreach(name IN LISTS expected)
    if(NOT name IN_LIST violations)
      message(FATAL_ERROR "the guard missed a direct call to ${name}")
    endif()
  endforeach()
  message(STATUS "the guard reported every planted call")
elseif(violations)
  message(FATAL_ERROR "objects use what they must reach through their layer (${ALLOWED}):${report}")
endif()
