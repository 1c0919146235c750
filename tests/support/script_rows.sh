# Rows of a helper script's command-line table, each run against a virtual
# reader that must come out of it byte for byte as it went in: the same
# files, the same contents (the eMMC, the sub-CPU's flash and state, the
# journal among them) and the same `vreader state`. Sourced by the scripts'
# tests, which set vreader, script, reader and dir (a scratch directory),
# call row once a line of their table and end with rows_done.
#
#   row STATUS PATTERN ARGS...
#
# runs "$script ARGS..." and wants STATUS, and PATTERN (grep -E) on standard
# output for status 0, on standard error otherwise. No row's output may show
# a line of code (a help printed past its comment), an unset variable or a
# traceback.

rows_failed=0

reader_snapshot() {
  (cd "$reader" && find . -print | LC_ALL=C sort && find . -type f -exec cksum {} + | LC_ALL=C sort -k3)
  "$vreader" state "$reader"
}

row_fail() {
  echo "FAIL [$row_args]: $1"
  row_bad=1
  rows_failed=1
}

row() {
  want=$1
  pattern=$2
  shift 2
  row_args=$*
  reader_snapshot >"$dir/before"
  status=0
  timeout 120 "$script" "$@" >"$dir/out" 2>"$dir/err" </dev/null || status=$?
  reader_snapshot >"$dir/after"
  stream=$dir/err
  [ "$want" -ne 0 ] || stream=$dir/out
  row_bad=0
  [ "$status" -eq "$want" ] || row_fail "status $status, not $want"
  grep -Eq -- "$pattern" "$stream" || row_fail "no '$pattern' in $(basename "$stream")"
  if grep -Eq '^(set -|import |#!)|unbound variable|Traceback' "$dir/out" "$dir/err"; then
    row_fail "code, an unset variable or a traceback in the output"
  fi
  diff "$dir/before" "$dir/after" >"$dir/changes" || row_fail "the reader changed: $(head -c 600 "$dir/changes")"
  if [ "$row_bad" -ne 0 ]; then
    sed 's/^/  out: /' "$dir/out"
    sed 's/^/  err: /' "$dir/err"
  else
    echo "ok   [$row_args]"
  fi
}

rows_done() {
  [ "$rows_failed" -eq 0 ] || exit 1
}
