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
