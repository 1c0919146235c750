# Runs the example application on a fresh virtual reader and checks that it
# went through the whole session.
#   cmake -DEXAMPLE=... -DDIR=... [-DVREADER=launcher] [-DEMULATOR=a|b|c] -P run_example.cmake
# EMULATOR ('|'-separated) runs the target's programs on this machine.
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
file(REMOVE_RECURSE ${DIR})
if(VREADER)
  execute_process(COMMAND ${EMULATOR} ${VREADER} init ${DIR} RESULT_VARIABLE failed OUTPUT_QUIET)
  if(failed)
    message(FATAL_ERROR "vreader init failed")
  endif()
else()
  # A reader with no more than its USB side, which the model fills in.
  file(WRITE ${DIR}/reader.conf "\n")
endif()
set(ENV{VREADER_DIR} ${DIR})
execute_process(COMMAND ${EMULATOR} ${EXAMPLE} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
message(STATUS "${out}${err}")
foreach(expected "E: QLX-K1 \\(revision 2081\\), built-in storage" "protocol version 01000010"
                 "device type QLX-K1, 1 property entry" "clock set: 0" "closed")
  if(NOT out MATCHES "${expected}")
    message(FATAL_ERROR "the session did not show '${expected}'")
  endif()
endforeach()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the example ended with ${status}")
endif()
file(READ ${DIR}/usb.conf conf)
if(NOT conf MATCHES "clock=[0-9A-F]")
  message(FATAL_ERROR "the reader kept no clock")
endif()
