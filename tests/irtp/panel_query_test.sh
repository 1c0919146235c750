#!/bin/sh
# The PC-side script drives quenlay through the gadget port's
# pseudo-terminal and prints the panel's version and status.
#   panel_query_test.sh VREADER SCRIPT
set -eu
vreader=$1
script=$2
dir=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$dir"' EXIT
"$vreader" init "$dir/reader" --emmc-size 16M >/dev/null
"$vreader" run "$dir/reader" quenlay >"$dir/quenlay.out" 2>&1 &
pid=$!
for _ in $(seq 300); do
  [ -s "$dir/reader/ttyGS0.pc" ] && break
  sleep 0.1
done
out=$("$script" "$(cat "$dir/reader/ttyGS0.pc")")
echo "$out"
echo "$out" | grep -q '^version: 2\.1\.263\.3$'
echo "$out" | grep -q 'resolution 600x800'

# Refused before a command is sent, with quenlay running: the reader (the
# panel's UART and the journal among it) left as it was.
. "$(dirname "$0")/../support/script_rows.sh"
reader=$dir/reader
port=$(cat "$dir/reader/ttyGS0.pc")
mkdir "$dir/ports"
: >"$dir/plain"
#   status  what it says                   command line
row 0 '^Asks the touch-panel controller'   --help
row 0 '^Asks the touch-panel controller'   -h "$port"
row 2 '^Asks the touch-panel controller'
row 2 'unknown option --baud'              --baud
row 2 'unknown option --baud'              --baud 115200 "$port"
row 2 'one port only, not also extra'      "$port" extra
row 2 'ports is a directory'               "$dir/ports"
row 2 'none: No such file'                 "$dir/none"
row 2 'plain is not a serial port'         "$dir/plain"
row 2 'null is not a serial port'          /dev/null
rows_done

# A status reply cut short is named, not a traceback.
"$vreader" fail "$reader" reply_1E len:5
if "$script" "$port" >"$dir/out" 2>&1; then
  echo "a short status reply went unnoticed" >&2
  exit 1
fi
cat "$dir/out"
grep -qx 'panel-query: the reply to command 1E has 7 bytes, fewer than 31' "$dir/out"
