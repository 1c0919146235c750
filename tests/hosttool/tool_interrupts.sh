#!/bin/sh
# fendrac ended from outside, on a fresh virtual reader: its output pipe
# closed halfway, SIGINT during one long library call (a partition from an
# image), SIGTERM between two pieces of a put. Each time the tool says why
# and exits with its status, and the reader is told that the PC left.
#   tool_interrupts.sh TOOL DIR
set -u
tool=$1
dir=$2
rm -rf "$dir"
mkdir -p "$dir"
printf '\n' >"$dir/reader.conf"
export VREADER_DIR="$dir"
cd "$dir" || exit 1

fail() {
    echo "FAIL: $*"
    cat err
    exit 1
}
expect_err() { grep -q "$1" err || fail "'$1' not said"; }
left() { grep -q '^connected=0$' usb.conf || fail "$1: the reader still counts the PC as connected"; }

# 4 MiB on the reader: more than a pipe holds, 1024 pieces of an image.
head -c 4194304 /dev/zero >big.bin
"$tool" file put big.bin /documents/big.bin >/dev/null 2>err || fail "the first put"

# The reader of the output goes away after 10 bytes.
{
    "$tool" file get /documents/big.bin 2>err
    echo $? >status
} | head -c 10 >/dev/null
[ "$(cat status)" = 73 ] || fail "a closed pipe: status $(cat status), not 73"
expect_err "cannot write standard output: Broken pipe"
left "a closed pipe"

# SIGINT once the image is on its way: the call finishes, then the drive closes.
"$tool" update mode 1 >/dev/null 2>err || fail "update mode"
# (A job in the background starts with SIGINT ignored, as a shell leaves it.)
env --default-signal=INT "$tool" partition create-image kernel 4194304 0 0 big.bin >out 2>err &
pid=$!
tries=0
until grep -q '^command=115$' usb.conf 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -lt 2000 ] || fail "the image never went out"
    sleep 0.01
done
kill -INT $pid
wait $pid
status=$?
[ $status = 0 ] || fail "SIGINT during the image: status $status, not 0"
expect_err "interrupted: finishing the current command, then closing the drive"
grep -q '^created kernel$' out || fail "the image's outcome not said"
left "SIGINT during the image"

# SIGTERM while a put waits for its next piece: no half copy stays.
mkfifo pipe
"$tool" file put - /documents/piped.bin <pipe >out 2>err &
pid=$!
exec 3>pipe
head -c 300000 big.bin >&3
kill -TERM $pid
exec 3>&-
wait $pid
status=$?
[ $status = 130 ] || fail "SIGTERM during a put: status $status, not 130"
expect_err "file put /documents/piped.bin: interrupted"
[ ! -e storage/documents/piped.bin ] || fail "an interrupted put left its half copy"
left "SIGTERM during a put"
echo "interrupts: every run ended with the drive closed"
