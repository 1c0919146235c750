# Runs the example application on a fresh virtual reader and checks that it
# went through the whole session, then again with its commands: a file to
# the reader and back, a partition from an image, a tunnel exchange and the
# eject.
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

# The commands, with the PC's files in the reader's directory (relative
# paths, so that a Windows program under the emulator finds them too).
file(WRITE ${DIR}/book.txt "Chapter 1\nIt was a dark and stormy night.\n")
string(REPEAT "0123456789abcdef" 600 image)
file(WRITE ${DIR}/image.bin "${image}")
file(WRITE ${DIR}/response.http "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
if(NOT VREADER)
  file(WRITE ${DIR}/tunnel/000001.request "GET /store/catalog HTTP/1.1\r\nHost: books.example.com\r\n\r\n")
endif()
execute_process(COMMAND ${EMULATOR} ${EXAMPLE} put book.txt /documents/book.txt get /documents/book.txt copy.txt
                  partition kernel image.bin tunnel response.http eject
                WORKING_DIRECTORY ${DIR} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
message(STATUS "${out}${err}")
foreach(expected "put book.txt -> /documents/book.txt: 42 bytes, 0" "get /documents/book.txt -> copy.txt: 42 bytes, 0"
                 "partition kernel from image.bin: update mode 0, created 0, 9600 bytes held \\(0\\), normal mode 0"
                 "tunnel request: GET /store/catalog" "tunnel response: 40 bytes, 0; next request 0 bytes"
                 "ejected")
  if(NOT out MATCHES "${expected}")
    message(FATAL_ERROR "the commands did not show '${expected}'")
  endif()
endforeach()
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the commands ended with ${status}")
endif()
file(READ ${DIR}/copy.txt copy)
file(READ ${DIR}/storage/documents/book.txt kept)
if(NOT copy STREQUAL "Chapter 1\nIt was a dark and stormy night.\n" OR NOT kept STREQUAL copy)
  message(FATAL_ERROR "the file did not come back the same")
endif()
file(READ ${DIR}/device_tree.conf tree)
if(NOT tree MATCHES "attached=0")
  message(FATAL_ERROR "the reader was not ejected")
endif()
