# fendrac as a user runs it, against a fresh virtual reader: every command's
# output and status, --json read back, 4 MiB and 16 KiB to the reader and back,
# a copy beside links planted at names a partial file once had, the
# reader's failure codes, transfers that fail halfway, output that cannot
# be written, PC files and words outside their limits, several readers,
# bad arguments, and the eject.
#   cmake -DTOOL=... -DDIR=... [-DEMULATOR=a|b] -P tool_session.cmake
# EMULATOR ('|'-separated) runs a Windows build under Wine.
string(REPLACE "|" ";" EMULATOR "${EMULATOR}")
file(REMOVE_RECURSE ${DIR})
# A reader with no more than its USB side, which the model fills in.
file(WRITE ${DIR}/reader.conf "\n")
set(ENV{VREADER_DIR} ${DIR})

# tool(STATUS ARGUMENTS...): runs it in DIR, its standard input the file
# `input` names (else none), its standard output the file `output` names
# (else `out`); its errors in `err`.
function(tool expected)
  set(stdin /dev/null)
  if(input)
    set(stdin ${input})
  endif()
  set(ENV{WINE_RUN_INPUT} ${stdin})
  set(stdout OUTPUT_VARIABLE o)
  set(ENV{WINE_RUN_OUTPUT} "${output}")
  if(output)
    set(stdout OUTPUT_FILE ${output})
  endif()
  execute_process(COMMAND ${EMULATOR} ${TOOL} ${ARGN} WORKING_DIRECTORY ${DIR} INPUT_FILE ${stdin}
                  ${stdout} ERROR_VARIABLE e RESULT_VARIABLE status)
  if(NOT status STREQUAL "${expected}")
    message(FATAL_ERROR "fendrac ${ARGN}: status ${status}, not ${expected}\n${o}${e}")
  endif()
  set(out "${o}" PARENT_SCOPE)
  set(err "${e}" PARENT_SCOPE)
endfunction()

function(expect text pattern)
  if(NOT "${text}" MATCHES "${pattern}")
    message(FATAL_ERROR "'${pattern}' not in:\n${text}")
  endif()
endfunction()

# json_is(JSON KEY... VALUE): the member at that path has that value.
function(json_is json)
  set(path ${ARGN})
  list(POP_BACK path expected)
  string(JSON value ERROR_VARIABLE bad GET "${json}" ${path})
  if(bad OR NOT value STREQUAL "${expected}")
    message(FATAL_ERROR "${path}: '${value}', not '${expected}' ${bad}\n${json}")
  endif()
endfunction()

# replace(FILE PATTERN TEXT): the reader's settings changed, as a person would.
function(replace file pattern text)
  file(READ ${DIR}/${file} content)
  string(REGEX REPLACE "${pattern}" "${text}" content "${content}")
  file(WRITE ${DIR}/${file} "${content}")
endfunction()

# The volumes and the reader's information.
tool(0 list)
expect("${out}" "E: +ZEPA +QLX-K1 +2081 built-in storage\nF: +ZEPA +QLX-K1 +2081 SD card\nG: [^\n]+memory stick")
tool(0 --json list)
json_is("${out}" volumes 0 device "E:")
json_is("${out}" volumes 1 kind "SD card")
json_is("${out}" volumes 2 product "QLX-K1")
tool(0 info)
expect("${out}" "device +E:\nreader +ZEPA QLX-K1 2081, built-in storage\nprotocol +01000010\ndevice type +QLX-K1\nproperties +1 entry\nmedia state +0000000000000000\nfree space +1073741824 bytes")
tool(0 info --json)
json_is("${out}" protocol_version "01000010")
json_is("${out}" property_entries 1)
json_is("${out}" free_space 1073741824)
json_is("${out}" media_state "0000000000000000")

# Clock, notices, the reader's lock.
tool(0 time set 2024-02-29T10:00:00)
expect("${out}" "clock set to 2024-02-29T10:00:00")
file(READ ${DIR}/usb.conf conf)
expect("${conf}" "clock=E8 07 00 00 02 00 00 00 1D 00 00 00 0A 00 00 00 00 00 00 00 00 00 00 00 04 00 00 00")
tool(0 --json time set)
json_is("${out}" device "E:")
tool(0 notify begin)
file(READ ${DIR}/usb.conf conf)
expect("${conf}" "notice=1\n")
tool(0 notify end)
file(READ ${DIR}/usb.conf conf)
expect("${conf}" "notice=0\n")
replace(usb.conf "locked=0" "locked=1")
tool(5 unlock 9999)
expect("${err}" "unlock: the reader stays locked: failed with -5")
tool(0 unlock 0000)
expect("${out}" "unlocked")

# 4 MiB and 16 KiB to the reader and back, the last piece a short one, then a
# shorter file over it.
string(REPEAT "0123456789abcdef" 1024 kib)
string(REPEAT "${kib}" 64 quarter)
file(WRITE ${DIR}/big.bin "${quarter}${quarter}${quarter}${quarter}${kib}")
tool(0 file put big.bin /documents/big.bin)
expect("${out}" "big.bin -> /documents/big.bin: 4210688 bytes")
tool(0 --json file get /documents/big.bin copy.bin)
json_is("${out}" bytes 4210688)
file(SHA256 ${DIR}/big.bin sent)
file(SHA256 ${DIR}/copy.bin received)
if(NOT sent STREQUAL received)
  message(FATAL_ERROR "the large file did not come back the same")
endif()
file(WRITE ${DIR}/small.txt "Chapter 1\n")
tool(0 file put small.txt /documents/big.bin)
tool(0 file size /documents/big.bin)
expect("${out}" "^10\n$")
tool(0 file get /documents/big.bin)
expect("${out}" "^Chapter 1\n$")
set(input ${DIR}/image.bin)
string(REPEAT "0123456789abcdef" 600 image)
file(WRITE ${input} "${image}")
tool(0 file put - /documents/piped.bin)
expect("${out}" "standard input -> /documents/piped.bin: 9600 bytes")
unset(input)
tool(0 file rm /documents/big.bin)
tool(125 --json file size /documents/big.bin)
json_is("${out}" code -201)

# partials(NAME): the files a copy to NAME left beside it, in `partials`.
function(partials name)
  file(GLOB found LIST_DIRECTORIES true ${DIR}/${name}.fendrac-*)
  set(partials "${found}" PARENT_SCOPE)
endfunction()

# A link planted where a copy's partial file once went is neither followed
# nor taken for LOCAL; the copy is whole and nothing else stays.
file(WRITE ${DIR}/victim.txt "the victim\n")
file(CREATE_LINK victim.txt ${DIR}/out.bin.fendrac-part SYMBOLIC)
tool(0 file get /documents/piped.bin out.bin)
file(READ ${DIR}/victim.txt victim)
file(SHA256 ${DIR}/out.bin received)
file(SHA256 ${DIR}/image.bin sent)
if(IS_SYMLINK ${DIR}/out.bin OR NOT received STREQUAL sent OR NOT victim STREQUAL "the victim\n")
  message(FATAL_ERROR "a get followed the planted link: out.bin a link or not whole, or the victim written")
endif()
partials(out.bin)
if(NOT partials STREQUAL "${DIR}/out.bin.fendrac-part")
  message(FATAL_ERROR "beside out.bin: ${partials}")
endif()
file(REMOVE ${DIR}/out.bin.fendrac-part ${DIR}/out.bin ${DIR}/victim.txt)

# An update partition from an image, and the tunnel.
tool(0 update mode 1)
tool(0 partition create-image kernel 9600 0 0 image.bin --tag kernel-1)
tool(0 --json partition size kernel)
json_is("${out}" third 9600)
json_is("${out}" first 9600)
tool(0 partition rm kernel)
tool(0 --json partition create words 1 2 3)
json_is("${out}" first 1)
json_is("${out}" second 2)
json_is("${out}" third 3)
file(READ ${DIR}/partitions/words.conf conf)
expect("${conf}" "\nfirst=1\nsecond=2\nthird=3\n")
tool(0 partition size words)
expect("${out}" "^1 2 0\n$")
tool(0 partition rm words)
tool(0 partition create-image untagged 9600 0 0 image.bin)
file(READ ${DIR}/partitions/untagged.conf conf)
expect("${conf}" "\ntag=\n")
tool(0 update mode 0)
set(sent "GET /store/catalog HTTP/1.1\r\nHost: books.example.com\r\n\r\n")
file(WRITE ${DIR}/tunnel/000001.request "${sent}")
tool(0 tunnel get request.http)
expect("${out}" "^the request -> request.http: 56 bytes\n$")
file(WRITE ${DIR}/sent.http "${sent}")
file(SHA256 ${DIR}/sent.http sent)
file(SHA256 ${DIR}/request.http request)
if(NOT request STREQUAL sent)
  message(FATAL_ERROR "the tunnel's request did not come out as the reader prepared it")
endif()
file(WRITE ${DIR}/response.http "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
tool(0 --json tunnel put response.http next.http)
expect("${out}" "^{\"device\":\"E:\",\"bytes\":40,\"next_request\":false,")
json_is("${out}" next_bytes 0)
tool(0 tunnel put response.http next.http)
expect("${out}" "^response.http -> the reader: 40 bytes; no next request waiting on the reader\n$")
tool(0 tunnel get none.http)
expect("${out}" "^no request waiting on the reader\n$")
tool(0 --json tunnel get none.http)
expect("${out}" "\"request\":false,\"file\":\"none.http\",\"bytes\":0}")
tool(0 tunnel get)
expect("${err}" "no request waiting")
if(EXISTS ${DIR}/none.http OR EXISTS ${DIR}/next.http)
  message(FATAL_ERROR "a file was written for a request that was not there")
endif()
# A request goes nowhere it cannot be written: it stays on the reader.
set(request "GET /store/catalog HTTP/1.1\r\nHost: books.example.com\r\n\r\n")
file(WRITE ${DIR}/tunnel/000002.request "${request}")
tool(73 tunnel get missing/request.http)
tool(0 tunnel get request.http)
expect("${out}" "^the request -> request.http: 56 bytes\n$")
if(NOT EMULATOR)
  # The request through an HTTP client and back, as one pipeline.
  file(WRITE ${DIR}/tunnel/000003.request "${request}")
  execute_process(COMMAND ${TOOL} tunnel get
                  COMMAND sh -c "cat >/dev/null && printf 'HTTP/1.1 204 No Content\\r\\n\\r\\n'"
                  COMMAND ${TOOL} tunnel put - WORKING_DIRECTORY ${DIR} RESULTS_VARIABLE statuses
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  expect("${statuses};${err}" "^0;0;0;fendrac: no next request waiting on the reader\n$")
endif()

# The reader's failure codes, as the reader gave them (CODE|MESSAGE|COMMAND
# LINES...: status 125, the last line's JSON), the device first.
file(WRITE ${DIR}/small.txt "Chapter 1\n")
foreach(case "-201|file get /documents/none.bin|file get /documents/none.bin none.bin"
             "-203|file put /rt/../x.bin|file put small.txt /rt/../x.bin"
             "-205|file put /documents|file put small.txt /documents"
             "-212|partition size nosuch|partition size nosuch"
             "-215|partition size nosuch|update mode 1|partition size nosuch")
  string(REPLACE "|" ";" case "${case}")
  list(POP_FRONT case code what)
  list(POP_BACK case failing)
  foreach(line IN LISTS case)
    separate_arguments(line UNIX_COMMAND "${line}")
    tool(0 ${line})
  endforeach()
  separate_arguments(failing UNIX_COMMAND "${failing}")
  tool(125 --json ${failing})
  expect("${out}" "^{\"device\":\"E:\",\"error\":\"${what}: failed with ${code}\",\"code\":${code},")
endforeach()
tool(0 --json update mode 0)
expect("${out}" "^{\"device\":\"E:\",\"mode\":0}")
partials(none.bin)
if(EXISTS ${DIR}/none.bin OR partials)
  message(FATAL_ERROR "a get that failed left a file")
endif()

# Transfers that fail halfway: a get leaves the PC's file as it was; a put
# leaves no half copy and says that the old one is gone; a reader whose
# connect fails does not open.
file(WRITE ${DIR}/keep.txt "the PC's copy\n")
file(WRITE ${DIR}/faults "usb:scsi_81 EIO 10 after 2\n")
tool(2 file get /documents/piped.bin keep.txt)
file(READ ${DIR}/keep.txt kept)
partials(keep.txt)
if(NOT kept STREQUAL "the PC's copy\n" OR partials)
  message(FATAL_ERROR "a failed get changed the PC's file: ${kept}")
endif()
file(WRITE ${DIR}/faults "usb:scsi_82 EIO 10 after 2\n")
tool(2 file put small.txt /documents/piped.bin)
expect("${err}" "file put /documents/piped.bin: failed with -2; the old copy on the reader was deleted")
tool(125 file size /documents/piped.bin)
file(WRITE ${DIR}/faults "usb:scsi_03 EIO 10\n")
tool(69 info)
expect("${err}" "^fendrac: the reader at E: does not open\n$")
file(WRITE ${DIR}/faults "")

# PC files that cannot be read: the system's reason, and a file too large
# for the reader's 32-bit positions refused before anything is read.
tool(66 file put missing.bin /documents/missing.bin)
expect("${err}" "cannot read missing.bin: ")
execute_process(COMMAND truncate -s 3G ${DIR}/huge.bin COMMAND_ERROR_IS_FATAL ANY)
tool(66 file put huge.bin /documents/huge.bin)
expect("${err}" "huge.bin has 3221225472 bytes; a file on the reader has at most 2147483647\n")
tool(66 partition create-image huge 1 0 0 huge.bin)
expect("${err}" "huge.bin has 3221225472 bytes; an image has at most 2147483647\n")
file(REMOVE ${DIR}/huge.bin)

# The extra block: 128 bytes exactly, one message and one status for any
# other size, the file refused before the drive opens.
foreach(case "100000|66|extra.bin has 100000 bytes; an extra block has exactly 128\n"
             "129|66|extra.bin has 129 bytes; an extra block has exactly 128\n"
             "127|66|extra.bin has 127 bytes; an extra block has exactly 128\n"
             "128|0|^created extra\n$")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 size)
  list(GET case 1 status)
  list(GET case 2 said)
  string(REPEAT "x" ${size} block)
  file(WRITE ${DIR}/extra.bin "${block}")
  tool(0 update mode 1)
  tool(${status} partition create-image extra 9600 0 0 image.bin --extra extra.bin)
  expect("${err}${out}" "${said}")
endforeach()
tool(0 partition rm extra)
tool(0 update mode 0)

# Standard output that cannot take the outcome (a full disk): every command,
# in both forms, does its work, then says so and exits with 73.
file(WRITE ${DIR}/response.http "HTTP/1.1 200 OK\r\n\r\n")
set(lines "list" "info" "time set 2024-02-29T10:00:00" "unlock 0000" "notify begin"
          "file put small.txt /documents/full.txt" "file size /documents/full.txt"
          "file get /documents/full.txt full.txt" "file rm /documents/full.txt" "update mode 1"
          "partition create full 1 2 3" "partition size full" "partition rm full"
          "partition create-image full 9600 0 0 image.bin" "partition rm full" "update mode 0"
          "tunnel get request.http" "tunnel put response.http next.http" "--help" "file --help" "file get --help")
if(EMULATOR)
  # Every command's output takes one path: under Wine a few show it.
  set(lines "list" "info" "file put small.txt /documents/full.txt" "tunnel get request.http" "--help")
endif()
set(output /dev/full)
foreach(form "" "--json")
  file(WRITE ${DIR}/tunnel/000010.request "GET /full HTTP/1.1\r\n\r\n")
  foreach(line IN LISTS lines)
    separate_arguments(line UNIX_COMMAND "${line}")
    tool(73 ${form} ${line})
    expect("${err}" "^fendrac: cannot write standard output: [^\n]+\n$")
  endforeach()
endforeach()
# Bytes on standard output: a file, a tunnel request.
unset(output)
tool(0 file put small.txt /documents/full.txt)
file(WRITE ${DIR}/tunnel/000011.request "GET /full HTTP/1.1\r\n\r\n")
set(output /dev/full)
foreach(line "file;get;/documents/full.txt" "tunnel;get")
  tool(73 ${line})
  expect("${err}" "^fendrac: cannot write standard output: ")
endforeach()
unset(output)

# Words longer than the reader takes: one form of message for every limit.
string(REPEAT "d" 256 long_path)
string(REPEAT "p" 32 long_name)
foreach(case "file;size;/${long_path}|a reader path has 1 to 255 bytes, not 257"
             "file;get;/${long_path}|a reader path has 1 to 255 bytes, not 257"
             "file;put;small.txt;/${long_path}|a reader path has 1 to 255 bytes, not 257"
             "file;rm;/${long_path}|a reader path has 1 to 255 bytes, not 257"
             "partition;rm;${long_name}|a partition name has 1 to 31 bytes, not 32"
             "partition;create;${long_name};1;0;0|a partition name has 1 to 31 bytes, not 32"
             "partition;create-image;${long_name};1;0;0;image.bin|a partition name has 1 to 31 bytes, not 32"
             "partition;size;${long_name}|a partition name has 1 to 31 bytes, not 32"
             "partition;create-image;k;1;0;0;image.bin;--tag;12345678901234567|a tag has at most 16 bytes, not 17"
             "partition;create-image;k;1;0;0;${long_path}|an image path has at most 255 bytes, not 256"
             "unlock;12345678|an unlock code has at most 7 bytes, not 8")
  string(REPLACE "|" ";" case "${case}")
  list(POP_BACK case said)
  tool(64 ${case})
  expect("${err}" "^fendrac: ${said} \\(fendrac --help\\)\n$")
endforeach()
# The longest a reader path may be reaches the reader, which knows no such file.
string(REPEAT "d" 254 longest_path)
tool(125 --json file size /${longest_path})
json_is("${out}" code -201)
# So do the longest partition name and tag: the reader, in normal mode,
# refuses them; the longest image name reaches the PC's file system.
string(REPEAT "p" 31 longest_name)
tool(125 --json partition size ${longest_name})
json_is("${out}" code -212)
tool(125 partition create-image k 1 0 0 image.bin --tag 1234567890123456)
tool(0 unlock 1234567)
string(REPEAT "i" 255 longest_image)
tool(66 partition create-image k 1 0 0 ${longest_image})

# Bad arguments: status 64 and a message, before any drive opens.
foreach(line "bogus" "file" "file get" "--frob;info" "time;set;2026-02-29T00:00:00" "partition;create;k;1;2;x"
             "--tag;x;info" "unlock;12345678" "update;mode;many" "file;size" "partition;create-image;k;1;0;x;image.bin"
             "partition;create-image;k;1;0;0;-" "notify;middle" "--json;tunnel;get" "--json;tunnel;put;small.txt")
  tool(64 ${line})
  expect("${err}" "^fendrac: [^\n]*\\(fendrac --help\\)\n")
endforeach()
# A group without its command: its commands listed for a person, only the
# message beside JSON.
tool(64 file)
expect("${err}" "needs a subcommand \\(fendrac --help\\)\n  file size REMOTE")
tool(64 --json file)
expect("${err}" "^fendrac: file needs a subcommand \\(fendrac --help\\)\n$")
tool(64 --json file get /documents/book.txt)
json_is("${out}" status 64)
string(JSON type TYPE "${out}" code)
if(NOT type STREQUAL "NULL")
  message(FATAL_ERROR "the tool's own failure has a code: ${out}")
endif()
tool(64)
expect("${err}" "^usage: fendrac .*\nfendrac: a command is needed \\(fendrac --help\\)\n$")
tool(0 file get --help)
expect("${out}" "usage: fendrac \\[OPTIONS\\] file get REMOTE \\[LOCAL\\]\n\ncopy a file of the reader to the PC.\nWrites the file to LOCAL")
tool(0 --help)
expect("${out}" "Commands:")

# Several readers: none is chosen, each is named.
replace(usb.conf "volumes=[^\n]*" "volumes=E:emb, F:ext,sd, H:emb,")
tool(69 info)
expect("${err}" "several readers found \\(E:, H:\\): choose one with --device")
tool(0 --device H: --json info)
json_is("${out}" device "H:")
tool(69 --device K: info)
replace(usb.conf "volumes=[^\n]*" "volumes=E:emb, F:ext,sd,")

# An eject the PC vetoes fails, and the reader stays.
file(WRITE ${DIR}/device_tree.conf "eject=veto\n")
tool(1 eject)
expect("${err}" "eject: failed; the reader is connected again")
file(REMOVE ${DIR}/device_tree.conf)
# The eject: the reader goes, and no reader is found after it.
tool(0 --lock eject)
expect("${out}" "ejected E:")
file(READ ${DIR}/device_tree.conf tree)
expect("${tree}" "attached=0")
tool(69 info)
expect("${err}" "no reader found")
# Without a reader every command that needs one says so.
foreach(line "time;set" "unlock;1234" "notify;begin" "file;size;/a" "file;get;/a;got.bin" "file;put;small.txt;/a"
             "file;rm;/a" "update;mode;1" "partition;create;k;1;0;0" "partition;create-image;k;1;0;0;image.bin"
             "partition;size;k" "partition;rm;k" "tunnel;get" "tunnel;put;small.txt" "eject")
  tool(69 ${line})
  expect("${err}" "no reader found")
endforeach()
tool(0 --version)
expect("${out}" "^fendrac [0-9]")
tool(0 help file)
expect("${out}" "file get REMOTE")
