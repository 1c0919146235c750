#!/bin/sh
# fendrac ended from outside, on a fresh virtual reader: its output pipe
# closed halfway or before it writes, SIGINT during one long library call (a
# partition from an image; a second SIGINT there ends it at once), SIGINT, SIGTERM and SIGHUP while a put waits on
# its PC side (standard input from a FIFO, a FIFO by name) and while a get or
# a tunnel request waits on a pipe nobody reads. Each time the tool says why and exits with
# its status (128 + the signal), no half file stays on the reader, and the
# reader is told that the PC left. With EMULATOR (scripts/wine-run) the
# Windows tool: Ctrl-C (Wine's SIGINT) while a put waits on standard input
# from a FIFO and while a get waits on a FIFO nobody reads. And natively, on
# a terminal (script's), a large transfer's progress line and a long call's
# count of seconds, each closed before the outcome is said, which a pipe
# never shows.
#   tool_interrupts.sh TOOL DIR [EMULATOR]
set -u
tool=$1
dir=$2
emulator=${3-}
rm -rf "$dir"
mkdir -p "$dir"
printf '\n' >"$dir/reader.conf"
export VREADER_DIR="$dir"
cd "$dir" || exit 1

pid=
runner=
fail() {
    echo "FAIL: $*"
    cat err
    # What this script started and still runs goes too.
    [ -z "$pid" ] || kill -KILL $pid 2>/dev/null
    [ -z "$runner" ] || kill -KILL $runner 2>/dev/null
    exit 1
}
expect_err() { grep -q "$1" err || fail "'$1' not said"; }
left() { grep -q '^connected=0$' usb.conf || fail "$1: the reader still counts the PC as connected"; }
# until_said PATTERN FILE: waits (at most 20 s) until FILE has a line PATTERN.
until_said() {
    tries=0
    until grep -q "$1" "$2" 2>/dev/null; do
        tries=$((tries + 1))
        [ $tries -lt 2000 ] || fail "'$1' never in $2"
        sleep 0.01
    done
}
# ended PID: its status, or 137 once a watchdog had to kill it (and the
# tool) after 10 s; the watchdog ends with it, holding none of our output
# open.
ended() {
    (
        i=0
        while [ $i -lt 1000 ] && kill -0 "$1" 2>/dev/null; do
            sleep 0.01
            i=$((i + 1))
        done
        [ $i -lt 1000 ] || kill -KILL "$1" $pid
    ) >/dev/null 2>&1 &
    watchdog=$!
    wait "$1"
    status=$?
    wait "$watchdog"
    return $status
}

# start INPUT OUTPUT ARGUMENTS...: the tool in the background, its standard
# input and output those files (a FIFO's open waits for its other end);
# `runner` is the process to wait for. (A job in the background starts with
# SIGINT ignored, as a shell leaves it.)
start() {
    input=$1
    output=$2
    shift 2
    if [ -z "$emulator" ]; then
        env --default-signal=INT "$tool" "$@" <"$input" >"$output" 2>err &
        pid=$!
    else
        WINE_RUN_INPUT=$input WINE_RUN_OUTPUT=$output env --default-signal=INT "$emulator" "$tool" "$@" 2>err &
    fi
    runner=$!
}

# signal NAME: sends the signal to the tool that start ran. Under Wine that
# is the runner's child, named after the program once Wine runs it.
signal() {
    tries=0
    while [ -n "$emulator" ] && [ -z "$pid" ]; do
        tries=$((tries + 1))
        [ $tries -lt 3000 ] || fail "the Windows tool never started"
        pid=$(pgrep -P $runner -x "$(basename "$tool")")
        [ -n "$pid" ] || sleep 0.01
    done
    kill -"$1" $pid
}

# 4 MiB on the reader: more than a pipe holds, 1024 pieces of an image.
head -c 4194304 /dev/zero >big.bin
${emulator:+"$emulator"} "$tool" file put big.bin /documents/big.bin >/dev/null 2>err || fail "the first put"
! grep -q 'MiB' err || fail "progress shown on a file"
mkfifo pipe stalled

# put_stalls SIGNAL STATUS LOCAL: a put from LOCAL ("-": standard input from
# the FIFO) whose PC side stalls after its first piece: the signal ends the
# wait for the next one at once, though the writer keeps the FIFO open.
put_stalls() {
    if [ "$3" = - ]; then
        start pipe out file put - /documents/piped.bin
    else
        start /dev/null out file put pipe /documents/piped.bin
    fi
    exec 3>pipe
    head -c 300000 big.bin >&3
    # The first piece is on the reader; the tool waits for the next.
    until [ "$(stat -c %s storage/documents/piped.bin 2>/dev/null)" = 262144 ]; do sleep 0.01; done
    sleep 0.2
    signal "$1"
    ended $runner
    status=$?
    pid=
    runner=
    exec 3>&-
    [ $status = "$2" ] || fail "SIG$1 during a put from $3: status $status, not $2"
    expect_err "file put /documents/piped.bin: interrupted"
    [ ! -e storage/documents/piped.bin ] || fail "SIG$1 during a put from $3 left its half copy"
    left "SIG$1 during a put from $3"
}

# get_stalls SIGNAL STATUS: a get whose output nobody reads: the signal
# ends the wait on the pipe.
get_stalls() {
    start /dev/null stalled file get /documents/big.bin
    exec 4<stalled
    until_said '^connected=1$' usb.conf
    sleep 0.3
    signal "$1"
    ended $runner
    status=$?
    pid=
    runner=
    exec 4<&-
    [ $status = "$2" ] || fail "SIG$1 during a get to a stalled pipe: status $status, not $2"
    expect_err "file get /documents/big.bin: interrupted"
    left "SIG$1 during a get to a stalled pipe"
}

if [ -n "$emulator" ]; then
    put_stalls INT 130 -
    get_stalls INT 130
    echo "interrupts: every run of the Windows tool ended with the drive closed"
    exit 0
fi

# On a terminal: the bar fills to 100%, its line ends, then the outcome.
for line in "file put big.bin /documents/term.bin" "file get /documents/big.bin got.bin"; do
    script -qec "\"$tool\" $line" /dev/null >term 2>&1 || fail "$line on a terminal"
    tr '\r' '\n' <term | grep -v '^$' | tail -n 2 >last
    head -n 1 last | grep -q '^\[#\{30\}\] 100% 4.0 / 4.0 MiB$' || fail "$line on a terminal: $(cat -A term | tail -c 300)"
    # The first piece of 16 fills one of the bar's 30 places.
    tr '\r' '\n' <term | grep -q '^\[# \{29\}\]   6% 0.2 / 4.0 MiB$' || fail "$line on a terminal: the first piece's bar"
    # The third is 0.75 MiB exactly, which a divisor a little off rounds the other way.
    tr '\r' '\n' <term | grep -q '^\[#\{5\} \{25\}\]  18% 0.8 / 4.0 MiB$' || fail "$line on a terminal: the third piece's bar"
    tail -n 1 last | grep -q ': 4194304 bytes$' || fail "$line on a terminal: no outcome after the bar"
done
cmp -s big.bin got.bin || fail "the get on a terminal differs"
# Progress shows for more than 1 MiB: not for 1 MiB, but for 512 bytes more.
head -c 1048576 /dev/zero >mib.bin
head -c 1049088 /dev/zero >over.bin
for size in mib over; do
    script -qec "\"$tool\" file put $size.bin /documents/$size.bin" /dev/null >term 2>&1 || fail "$size.bin on a terminal"
    if grep -q 'MiB' term; then shown=over; else shown=mib; fi
    [ $shown = $size ] || fail "$size.bin on a terminal: progress $(grep -q 'MiB' term || echo not) shown"
done

# Standard input that cannot be read (a folder): no file on the reader.
"$tool" file put - /documents/folder.txt <. 2>err
status=$?
[ $status = 66 ] || fail "a folder as standard input: status $status, not 66"
expect_err "cannot read standard input: Is a directory"
[ ! -e storage/documents/folder.txt ] || fail "a folder as standard input: a file was left on the reader"

# SIGINT before the drive opens (the response is read from a FIFO first):
# nothing to finish, so the tool ends at once.
mkfifo response.fifo
start /dev/null out tunnel put response.fifo
exec 3>response.fifo
signal INT
ended $runner
status=$?
exec 3>&-
pid=
runner=
[ $status = 130 ] || fail "SIGINT before the drive opens: status $status, not 130"
printf 'fendrac: interrupted\n' | cmp -s - err || fail "SIGINT before the drive opens: not one whole line"

# The reader of the output goes away after 10 bytes.
{
    "$tool" file get /documents/big.bin 2>err
    echo $? >status
} | head -c 10 >/dev/null
[ "$(cat status)" = 73 ] || fail "a closed pipe: status $(cat status), not 73"
expect_err "cannot write standard output: Broken pipe"
left "a closed pipe"

# Output that nobody takes: a pipe whose reader has gone before the tool
# writes its outcome, and a closed standard output. Every command's lines
# and both forms count.
for line in "file size /documents/big.bin" "info" "--json info" "list" "--json list" "--help"; do
    rm -f closed
    # shellcheck disable=SC2086
    { until [ -e closed ]; do sleep 0.01; done; "$tool" $line 2>err; echo $? >status; } | { exec 0<&-; : >closed; }
    [ "$(cat status)" = 73 ] || fail "$line | true: status $(cat status), not 73"
    expect_err "cannot write standard output: Broken pipe"
    # shellcheck disable=SC2086
    "$tool" $line >&- 2>err
    status=$?
    [ $status = 73 ] || fail "$line >&-: status $status, not 73"
    expect_err "cannot write standard output: Bad file descriptor"
done

# SIGINT once the image is on its way: the call finishes, then the drive closes.
"$tool" update mode 1 >/dev/null 2>err || fail "update mode"
start /dev/null out partition create-image kernel 4194304 0 0 big.bin
until_said '^command=115$' usb.conf
signal INT
ended $runner
status=$?
pid=
runner=
[ $status = 0 ] || fail "SIGINT during the image: status $status, not 0"
expect_err "interrupted: finishing the current command, then closing the drive"
grep -q '^created kernel$' out || fail "the image's outcome not said"
left "SIGINT during the image"

for case in "INT 130 -" "TERM 143 -" "HUP 129 -" "TERM 143 pipe"; do
    # shellcheck disable=SC2086
    put_stalls $case
done
get_stalls TERM 143

# A signal ignored from the start stays so (nohup): SIGHUP while a put waits
# on its PC side changes nothing, and the copy ends whole.
env --ignore-signal=HUP "$tool" file put - /documents/nohup.bin <pipe >out 2>err &
pid=$!
runner=$pid
exec 3>pipe
head -c 300000 big.bin >&3
until [ "$(stat -c %s storage/documents/nohup.bin 2>/dev/null)" = 262144 ]; do sleep 0.01; done
kill -HUP $pid
sleep 0.2
exec 3>&-
ended $runner
status=$?
pid=
runner=
[ $status = 0 ] || fail "SIGHUP ignored from the start: status $status, not 0"
[ "$(stat -c %s storage/documents/nohup.bin)" = 300000 ] || fail "SIGHUP ignored from the start: the copy is not whole"

# A tunnel request of 1 MiB whose output nobody reads: the same.
mkdir -p tunnel
head -c 1048576 /dev/zero >tunnel/000001.request
start /dev/null stalled tunnel get
exec 4<stalled
until_said '^connected=1$' usb.conf
sleep 0.3
signal TERM
ended $runner
status=$?
pid=
runner=
exec 4<&-
[ $status = 143 ] || fail "SIGTERM during a tunnel request to a stalled pipe: status $status, not 143"
expect_err "tunnel: the request not written: interrupted"
left "SIGTERM during a tunnel request to a stalled pipe"

head -c 16777216 /dev/zero >image.bin
# On a terminal a long library call counts its seconds on one line, ended
# before the outcome is said (a call under a second shows no count).
script -qec "\"$tool\" partition create-image data 16777216 0 0 image.bin" /dev/null >term 2>&1 ||
    fail "a long call on a terminal"
tr '\r' '\n' <term | grep -v '^$' >last
if ! tail -n 1 last | grep -q '^created data$' ||
    sed '$d' last | grep -qv '^partition create-image data: [0-9]* s$'; then
    fail "a long call on a terminal: $(cat -A term | tail -c 300)"
fi

# A second SIGINT while the first waits for a long library call to finish
# ends the tool at once, and says what that leaves on the reader (last: the
# reader may be left mid-command).
start /dev/null out --json partition create-image rootfs 16777216 0 0 image.bin
until_said '^command=115$' usb.conf
signal INT
until_said 'finishing the current command' err
signal INT
ended $runner
status=$?
pid=
runner=
[ $status = 130 ] || fail "a second SIGINT during the image: status $status, not 130"
expect_err "interrupted again: ended at once; the reader may still count this PC as connected"
grep -qx '{"error":"interrupted again: ended at once; the reader may still count this PC as connected","code":null,"status":130}' out ||
    fail "a second SIGINT with --json: $(cat out)"
echo "interrupts: every run ended with the drive closed"
