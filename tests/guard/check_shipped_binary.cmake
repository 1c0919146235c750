# Checks a shipped program for the reader: an ARM executable whose only
# shared libraries are the C runtime and the compiler's support library. It
# needs no C++ runtime library: one less to load at every start, which a
# factory script running the program in a loop pays each time.
#   -DREADELF=readelf -DPROGRAM=exe
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${READELF} -h -d ${PROGRAM} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${PROGRAM}")
endif()
if(NOT listing MATCHES "Machine:[ \t]+ARM\n")
  message(FATAL_ERROR "${PROGRAM} is not an ARM executable")
endif()
if(NOT listing MATCHES "hard-float ABI")
  message(FATAL_ERROR "${PROGRAM} does not use the hard-float ABI")
endif()

set(allowed libc.so.6 libm.so.6 libgcc_s.so.1 ld-linux-armhf.so.3)
string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${listing}")
foreach(entry IN LISTS needed)
  string(REGEX REPLACE "Shared library: \\[([^]]+)\\]" "\\1" library "${entry}")
  message(STATUS "needs ${library}")
  if(NOT library IN_LIST allowed)
    message(FATAL_ERROR "${PROGRAM} needs ${library}")
  endif()
endforeach()
