#!/bin/sh
# The factory's identity step with devprov alone on a virtual reader: every
# field read back is what the virtual devices supplied; a modem that never
# answers the handshake stops the step with NG. A wrong command line or key
# file (a key with a blank in it among them) is refused before devprov runs.
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


# Refused before devprov runs, the reader left as it was.
. "$(dirname "$0")/../support/script_rows.sh"
reader=$dir/reader
devprov="$vreader run $reader devprov"
mkdir "$dir/keys"
: >"$dir/empty.hex"
printf 'dea\n' >"$dir/odd.hex"
printf 'de\004ad\n' >"$dir/eot.hex"
#   status  what it says                  command line
row 0 '^The factory.s identity step'      --help $devprov
row 0 '^The factory.s identity step'      -h "$dir/key.hex" $devprov
row 2 '^The factory.s identity step'
row 2 '--wifi needs a value'              --wifi
row 2 '--modem needs a value'             "--modem"
row 2 '--wifi needs a value'              --wifi --modem /dev/ttyUSB1 "$dir/key.hex" $devprov
row 2 '--modem needs a value'             --modem "" "$dir/key.hex" $devprov
row 2 'unknown option --serial'           --serial 1 "$dir/key.hex" $devprov
row 2 'keys is a directory'               "$dir/keys" $devprov
row 2 'none.hex: no such file'            --wifi wlan1 "$dir/none.hex" $devprov
row 2 'holds no key'                      "$dir/empty.hex" $devprov
row 2 'bad.hex is not hex text'           "$dir/bad.hex" $devprov
row 2 'eot.hex is not hex text'           "$dir/eot.hex" $devprov
row 2 'odd number of hex digits'          "$dir/odd.hex" $devprov
row 2 'cannot run no-such-devprov'        "$dir/key.hex" no-such-devprov
rows_done

"$vreader" set "$dir/reader" modem.handshake_errors always >/dev/null
if "$script" "$dir/key.hex" "$vreader" run "$dir/reader" devprov >"$dir/out" 2>&1; then
  echo "a silent modem went unnoticed" >&2
  exit 1
fi
grep -qx 'meid (/dev/ttyUSB0): NG' "$dir/out"
