#!/bin/sh
# A whole sub-CPU firmware update with tarvik alone on a virtual reader: the
# sub-CPU then runs the new version. A write the flash corrupts is caught by
# the read-back, and the old firmware keeps running.
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
