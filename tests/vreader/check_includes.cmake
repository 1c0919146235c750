# Checks which headers of the virtual reader a source may include.
#
# MODE=model: the model's folders include one way, board -> devices/* ->
# core -> state and usb -> state. A device folder includes no other device
# folder unless its CMakeLists.txt declares that it reads it
# (vreader_device_reads), and the model includes nothing of the binding, the
# launcher or the PC library's virtual build.
#
# MODE=tests: the in-process model tests (tests/vreader/model) may include
# the model and the binding; the launcher's tests and the helper programs
# nothing of the virtual reader (they run it); every other test only the
# portable model (state/ and usb/), the one the Windows build has.
#
#   -DROOT=DIR          the source tree
#   -DEXCEPTIONS=A>B|.. a device folder A that may include folder B
#   -DPLANTED=F>H|..    checked as if file F (relative to the checked tree)
#                       included "H"
#   -DEXPECT=F|..       pass only when each of these planted files is caught
cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" exceptions "${EXCEPTIONS}")
string(REPLACE "|" ";" planted "${PLANTED}")
string(REPLACE "|" ";" expected "${EXPECT}")

# The folder of the model a path (relative to vreader/model) lies in.
function(model_layer path out)
  if(path MATCHES "^(devices/[^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(path MATCHES "^(state|usb|core|board)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# Empty when `file` (relative to the checked tree) may include `header`
# ("vreader/..."), else why not.
function(model_refusal file header out)
  model_layer("${file}" from)
  set(why "")
  if(from STREQUAL "")
    set(why "the file lies in none of state/, usb/, core/, devices/NAME/ or board/")
  elseif(NOT header MATCHES "^vreader/model/(.*)$")
    set(why "the model includes nothing of the binding, the launcher or the PC library's build")
  else()
    model_layer("${CMAKE_MATCH_1}" to)
    if(to STREQUAL from OR from STREQUAL "board" OR to STREQUAL "state")
    elseif(from MATCHES "^devices/" AND to STREQUAL "core")
    elseif("${from}>${to}" IN_LIST exceptions)
    elseif(from MATCHES "^devices/" AND to MATCHES "^devices/")
      set(why "a device folder includes another only where its CMakeLists.txt declares that it reads it")
    else()
      set(why "${from}/ may not include ${to}/: board -> devices -> core -> state, usb -> state")
    endif()
  endif()
  set(${out} "${why}" PARENT_SCOPE)
endfunction()

function(tests_refusal file header out)
  set(why "")
  if(file MATCHES "^vreader/model/")
    if(NOT header MATCHES "^vreader/(model|binding)/")
      set(why "the model tests reach the model and the binding only")
    endif()
  elseif(file MATCHES "^vreader/(launcher|programs)/")
    set(why "the launcher's tests and the helper programs run the virtual reader and include none of it")
  elseif(NOT header MATCHES "^vreader/model/(state|usb)/")
    set(why "outside tests/vreader/model a test reaches only the portable model, state/ and usb/")
  endif()
  set(${out} "${why}" PARENT_SCOPE)
endfunction()

if(MODE STREQUAL "model")
  set(tree "${ROOT}/vreader/model")
elseif(MODE STREQUAL "tests")
  set(tree "${ROOT}/tests")
else()
  message(FATAL_ERROR "MODE must be model or tests")
endif()

# Every include of the virtual reader, as "file>header".
set(includes "")
file(GLOB_RECURSE sources RELATIVE "${tree}" "${tree}/*.cpp" "${tree}/*.hpp")
foreach(source IN LISTS sources)
  file(STRINGS "${tree}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"vreader/")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" header "${line}")
    list(APPEND includes "${source}>${header}")
  endforeach()
endforeach()
list(APPEND includes ${planted})

set(caught "")
set(report "")
foreach(include IN LISTS includes)
  string(REGEX REPLACE ">.*$" "" file "${include}")
  string(REGEX REPLACE "^[^>]*>" "" header "${include}")
  cmake_language(CALL ${MODE}_refusal "${file}" "${header}" why)
  if(NOT why STREQUAL "")
    list(APPEND caught "${file}")
    string(APPEND report "  ${file}: \"${header}\": ${why}\n")
  endif()
endforeach()

if(expected)
  foreach(file IN LISTS expected)
    if(NOT file IN_LIST caught)
      message(FATAL_ERROR "the include check let the planted include of ${file} pass")
    endif()
  endforeach()
  message(STATUS "caught the planted includes:\n${report}")
elseif(NOT report STREQUAL "")
  message(FATAL_ERROR "includes that break the virtual reader's layout:\n${report}")
else()
  list(LENGTH includes count)
  message(STATUS "${count} includes of the virtual reader, all where the layout lets them be")
endif()
