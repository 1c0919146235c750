# fendrac on the Linux library itself, with no reader attached: a node that
# is no SCSI device, the listing, and the application lock held by another
# process (flock(1) holds STATE3 while the tool runs).
#   cmake -DTOOL=... -DDIR=... -P linux_library.cmake
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
set(ENV{FENDRAC_LOCK_DIR} ${DIR})

function(tool expected)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  if(NOT status STREQUAL "${expected}")
    message(FATAL_ERROR "${ARGN}: status ${status}, not ${expected}\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

tool(69 ${TOOL} --json -d /dev/null info)
string(JSON error GET "${out}" error)
if(NOT error STREQUAL "no volume answers at /dev/null")
  message(FATAL_ERROR "${out}")
endif()
tool(0 ${TOOL} list)
foreach(n 1 2 3)
  if(NOT EXISTS ${DIR}/ZEPA_EBOOK_QLX_STATE${n}.lock)
    message(FATAL_ERROR "the tool made no lock file STATE${n}")
  endif()
endforeach()
tool(75 flock ${DIR}/ZEPA_EBOOK_QLX_STATE3.lock ${TOOL} --lock info)
tool(69 ${TOOL} --lock info)

# Named mutexes that cannot be made: with --lock a setup error with the
# system's reason (never "held elsewhere", which a factory's retry loop
# would wait on for ever); without it a warning, and the command goes on.
set(ENV{FENDRAC_LOCK_DIR} ${DIR}/missing)
execute_process(COMMAND ${TOOL} --lock info ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 78 OR NOT err MATCHES "^fendrac: cannot create the library's named mutexes \\(its lock files, FENDRAC_LOCK_DIR is ${DIR}/missing\\): No such file or directory; --lock needs them\n$")
  message(FATAL_ERROR "--lock without its mutexes: status ${status}\n${err}")
endif()
execute_process(COMMAND ${TOOL} -d /dev/null info ERROR_VARIABLE err RESULT_VARIABLE status)
if(NOT status EQUAL 69 OR NOT err MATCHES "^fendrac: warning: cannot create the library's named mutexes [^\n]*\nfendrac: no volume answers")
  message(FATAL_ERROR "a command without its mutexes: status ${status}\n${err}")
endif()
