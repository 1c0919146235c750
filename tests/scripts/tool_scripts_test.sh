#!/bin/sh
# The project's scripts that build, install, test or start Wine: --help prints
# the comment at the top and nothing of the code; a wrong command line is a
# usage error. Neither runs a command or leaves a file: each script runs from
# a copy of scripts/ in a scratch tree, with cmake, ctest, apt, dpkg, sudo,
# Wine and qemu replaced by stand-ins that log a call.
#   tool_scripts_test.sh SCRIPTS_DIR
set -eu
scripts=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/tree" "$dir/bin"
cp -R "$scripts" "$dir/tree/scripts"
for tool in cmake ctest apt-get apt-cache sudo dpkg dpkg-query dpkg-deb wine wineboot wineserver \
  qemu-system-arm; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/acted"\n' "$tool" "$dir" >"$dir/bin/$tool"
  chmod +x "$dir/bin/$tool"
done
PATH=$dir/bin:$PATH
: >"$dir/acted"
(cd "$dir/tree" && find . -print | LC_ALL=C sort) >"$dir/files"

failed=0
check() {
  name=$1 want=$2 pattern=$3
  shift 3
  bad=
  status=0
  (cd "$dir/tree" && timeout 60 scripts/"$name" "$@") >"$dir/out" 2>"$dir/err" </dev/null || status=$?
  stream=$dir/err
  [ "$want" -ne 0 ] || stream=$dir/out
  [ "$status" -eq "$want" ] || bad="$bad; status $status, not $want"
  grep -Eq -- "$pattern" "$stream" || bad="$bad; no '$pattern' in $(basename "$stream")"
  ! grep -Eq '^(set -|import |#!)|unbound variable|Traceback' "$dir/out" "$dir/err" ||
    bad="$bad; code, an unset variable or a traceback in the output"
  [ ! -s "$dir/acted" ] || bad="$bad; ran $(head -n 3 "$dir/acted" | tr '\n' ';')"
  (cd "$dir/tree" && find . -print | LC_ALL=C sort) | cmp -s - "$dir/files" || bad="$bad; left files"
  if [ -n "$bad" ]; then
    echo "FAIL [$name $*]$bad"
    sed 's/^/  out: /' "$dir/out"
    sed 's/^/  err: /' "$dir/err"
    failed=1
    # The next row starts from the same tree.
    rm -rf "$dir/tree" && mkdir "$dir/tree" && cp -R "$scripts" "$dir/tree/scripts"
    : >"$dir/acted"
  else
    echo "ok   [$name $*]"
  fi
}

#     script         status  what it says                     command line
check demo                0  '^Builds the virtual reader'     --help
check demo                0  '^Builds the virtual reader'     -h
check demo                2  'unknown option --fast'          --fast
check demo                2  'one output directory'           out1 out2
check kernel-bench        0  '^The kernel bench'              --help
check kernel-bench       64  'unknown argument --bogus'       --bogus
check kernel-bench       64  '--kernel needs a value'         --kernel
check kernel-bench       64  '--build-dir needs a value'      --build-dir --kernel 6.1.0-57-armmp
check fuzz-long           0  '^scripts/fuzz-long MINUTES'     --help
check fuzz-long           2  '^usage: scripts/fuzz-long'      --runs
check fuzz-long           2  'unknown option --bogus'         1 --bogus
check check-packages      0  '^Checks the packages'           --help
check check-packages      2  'unknown argument --all'         --all
check check-consumers     0  '^Builds and uses the project'   --help
check check-consumers     2  'unknown argument --all'         --all
check install-deps        0  '^Installs what the build'       -h
check install-deps        2  'unknown argument --yes'         --yes
check test-all            0  '^Builds and runs every test'    --help
check test-all            2  'unknown argument --quick'       --quick
check wine-run            0  '^Runs a Windows test program'   --help
check wine-run            2  'no program'
check wine-run            2  'unknown option --debug'         --debug program.exe
check bench               0  '^Builds the benchmarks'         --help
check check-static        0  '^Static analysis of the shipped' --help
check check-static        2  'unknown argument --fix'         --fix
check coverage            0  '^Measures how much'             --help
check coverage            2  'unknown argument --html'        --html
check bench               1  '^usage: scripts/bench'          --long
check mutate              0  '^Mutation testing of the shipped' --help
check mutate              2  'unknown argument --bogus'       --bogus
check mutate              2  'is not a folder of shipped'     --folder tests
check mutate              2  'invalid int value'              --limit x
exit $failed
