#!/bin/sh
# The factory's identity step with devprov alone on a virtual reader: every
# field read back is what the virtual devices supplied; a modem that never
# answers the handshake stops the step with NG.
#   provision_test.sh VREADER SCRIPT
set -eu
vreader=$1
script=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$vreader" init "$dir/reader" --emmc-size 16M >/dev/null
"$vreader" set "$dir/reader" net.wlan0.mac 02:11:22:33:44:55 >/dev/null
"$vreader" set "$dir/reader" modem.meid A1000012345678 >/dev/null
"$vreader" set "$dir/reader" modem.psn 12345678901 >/dev/null
printf 'de ad\n' >"$dir/bad.hex"
printf 'dead\nbeef\n' >"$dir/key.hex"
"$script" "$dir/key.hex" "$vreader" run "$dir/reader" devprov | tee "$dir/out"
grep -qx 'wifi_mac_address  02 11 22 33 44 55' "$dir/out"
grep -qx 'meid              A1000012345678' "$dir/out"
grep -qx 'psn               12345678901' "$dir/out"
grep -qx 'psn_check_digit   82' "$dir/out"
grep -qx 'device key        de ad be ef' "$dir/out"

if "$script" "$dir/bad.hex" "$vreader" run "$dir/reader" devprov >"$dir/out" 2>&1; then
  echo "a key with a blank in it went through" >&2
  exit 1
fi
grep -q 'device key .*: NG' "$dir/out"
"$vreader" set "$dir/reader" modem.handshake_errors always >/dev/null
if "$script" "$dir/key.hex" "$vreader" run "$dir/reader" devprov >"$dir/out" 2>&1; then
  echo "a silent modem went unnoticed" >&2
  exit 1
fi
grep -qx 'meid (/dev/ttyUSB0): NG' "$dir/out"
