#!/bin/sh
# A whole sub-CPU firmware update with tarvik alone on a virtual reader: the
# sub-CPU then runs the new version. A write the flash corrupts is caught by
# the read-back, and the old firmware keeps running; a read-back that fails
# is named.
#   subcpu_update_test.sh VREADER SCRIPT
set -eu
vreader=$1
script=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# Version record 2026-12-07 #42, then 2000 bytes of firmware.
printf '\007\352\014\007\000\000\000\052' >"$dir/fw.bin"
yes 'firmware' | head -c 2000 >>"$dir/fw.bin"

"$vreader" init "$dir/reader" --emmc-size 16M >/dev/null
"$script" "$dir/fw.bin" "$vreader" run "$dir/reader" tarvik | tee "$dir/out"
tail -n 1 "$dir/out" | grep -qx 'MCU Version : 20261207_42 : OK'
"$vreader" state "$dir/reader" | grep -qx 'subcpu_version_mcu=20261207_42'

"$vreader" init "$dir/corrupt" --emmc-size 16M >/dev/null
"$vreader" fail "$dir/corrupt" sub_cpu:flash corrupt 1 --after 40
if "$script" "$dir/fw.bin" "$vreader" run "$dir/corrupt" tarvik >"$dir/out" 2>&1; then
  echo "a corrupted write went unnoticed" >&2
  exit 1
fi
grep -q 'the read-back differs from the image at 0x1280' "$dir/out"
"$vreader" state "$dir/corrupt" | grep -qx 'subcpu_version_mcu=20190521_1234'

# A read-back that fails: tarvik's output and the failed step are shown.
"$vreader" init "$dir/unread" --emmc-size 16M >/dev/null
"$vreader" fail "$dir/unread" reply_F4 code:0xF3
if "$script" "$dir/fw.bin" "$vreader" run "$dir/unread" tarvik >"$dir/out" 2>&1; then
  echo "a failed read-back went unnoticed" >&2
  exit 1
fi
grep -q '^recv data error' "$dir/out"
grep -qx "subcpu-update: 'tarvik req r 1000 400' failed" "$dir/out"

# The help is the comment at the top, without a line of the code.
if "$script" >"$dir/help" 2>&1; then exit 1; fi
head -n 1 "$dir/help" | grep -q '^Updates the sub-CPU'
if grep -q 'set -' "$dir/help"; then
  echo "the help shows code" >&2
  exit 1
fi

# Command lines and images refused before the first request, the sub-CPU
# and the rest of the reader left as they were.
. "$(dirname "$0")/../support/script_rows.sh"
reader=$dir/reader
tarvik="$vreader run $reader tarvik"
mkdir "$dir/images"
mkfifo "$dir/pipe"
: >"$dir/empty.bin"
head -c 25601 /dev/zero >"$dir/big.bin"
#   status  what it says                      command line
row 0 '^Updates the sub-CPU'                  --help $tarvik
row 0 '^Updates the sub-CPU'                  -h $tarvik
row 2 '^Updates the sub-CPU'
row 2 'unknown option --force'                --force "$dir/fw.bin" $tarvik
row 2 'images is a directory'                 "$dir/images" $tarvik
row 2 'none.bin: no such file'                "$dir/none.bin" $tarvik
row 2 'pipe is not a regular file'            "$dir/pipe" $tarvik
row 2 'has 0 bytes'                           "$dir/empty.bin" $tarvik
row 2 'has 25601 bytes'                       "$dir/big.bin" $tarvik
row 2 'cannot run no-such-tarvik'             "$dir/fw.bin" no-such-tarvik
rows_done
