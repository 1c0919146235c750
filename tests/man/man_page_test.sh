#!/bin/sh
# The manual pages against the programs:
#   man_page_test.sh words NAME PAGES_DIR [PROGRAM [VREADER]]
# checks that NAME's page (NAME.1, or NAME.8 for the daemon) is there, is a
# page of that name with the usual sections, and defines every option and
# command word NAME takes in a tagged paragraph's tag or a subsection
# heading. The words are those of its usage text, asked of PROGRAM itself
# (boskel, which reads the raw-data table first, on a virtual reader made
# with VREADER), so that a new word without its paragraph fails; for a
# program without a usage text, those of the table below;
#   man_page_test.sh render PAGE...
# checks that `man --warnings -l` renders each page with nothing on
# standard error (skipped, 77, without man).
set -u

fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$1" = render ]; then
  shift
  command -v man >/dev/null 2>&1 || { echo "man is not installed: pages not rendered"; exit 77; }
  status=0
  for page in "$@"; do
    warnings=$(LC_ALL=C MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || warnings="$warnings (man failed)"
    if [ -n "$warnings" ]; then
      echo "FAIL: $page: $warnings" >&2
      status=1
    fi
  done
  exit $status
fi

[ "$1" = words ] || fail "usage: $0 words NAME PAGES_DIR [PROGRAM [VREADER]] | render PAGE..."
name=$2 pages=$3 program=${4:-} vreader=${5:-}

# How a program tells its words. ask: the arguments that print its usage
# text; pick: a sed -E script that prints the command words of that text,
# beside the options (every -x and --xx) that are taken from it unless scan
# is no (morvane has none: its "[-uV]" is a unit);
# extra: words it takes that its usage text leaves out. A program without a
# usage text has its options in words (the touch-panel tools take
# arguments only).
section=1 ask=none scan=yes pick= extra= words=
case $name in
  morvane) ask= scan=no pick='s/^ morvane ([a-z]+) .*/\1/p; s/^    ([A-Za-z0-9_-]+) +: .*/\1/p' extra='INIT 4 2' ;;
  tarvik) ask= pick='s/^ {2,4}([a-z]+)( or ([a-z]+))? .*/\1 \3/p' extra='h -h --help' ;;
  melgrin) ask=-h pick='s/^ {6}([a-z]+) .*/\1/p' extra='-h --help' ;;
  boskel) ask= pick='s/^ {4}([a-z]+) +: .*/\1/p' ;;
  fendrac) ask=--help pick='/^Commands:/,/^$/s/^  ([a-z]+( [a-z][a-z-]*)?)( .*)?$/\1/p' extra='help --' ;;
  tpinspect) words='-t -i -r -g -s -c' ;;
  devprov) words='-offset -dump -wifi -meid -psn -set-moa -get-moa' ;;
  usbhotplugd) section=8 words='-off -usb -lun0 -lun1 -lun2' ;;
  irtp_* | quenlay) ;;
  *) fail "$name: no row in $0 (a new program needs one, and a page)" ;;
esac

page=$pages/$name.$section
[ -f "$page" ] || fail "$name: no page $name.$section in $pages"
upper=$(echo "$name" | tr a-z A-Z)
grep -q "^\.TH $upper $section " "$page" || fail "$page: no .TH $upper $section line"
for heading in NAME SYNOPSIS DESCRIPTION "EXIT STATUS"; do
  grep -q "^\.SH \"*$heading\"*\$" "$page" || fail "$page: no $heading section"
done
grep -q "^$name \\\\- " "$page" || fail "$page: its NAME line is not \"$name \\- ...\""

if [ "$ask" != none ]; then
  [ -n "$program" ] || fail "$name: no program to ask for its usage text"
  if [ "$name" = boskel ]; then
    [ -n "$vreader" ] || { echo "no virtual reader in this build: boskel not asked"; exit 77; }
    reader=$(mktemp -d) || exit 1
    trap 'rm -rf "$reader"' EXIT
    "$vreader" init "$reader" >/dev/null || fail "vreader init failed"
    usage=$("$vreader" run "$reader" boskel 2>&1)
  else
    # shellcheck disable=SC2086 # ask is one word or none
    usage=$("$program" $ask 2>&1)
  fi
  commands=$(printf '%s\n' "$usage" | sed -nE "$pick")
  [ -n "$commands" ] || fail "$name: no command words found in its usage text:
$usage"
  options=
  [ "$scan" = no ] || options=$(printf '%s\n' "$usage" | grep -oE '(^|[][ |(])--?[A-Za-z][A-Za-z0-9-]*' | sed 's/^[^-]*//' | sort -u)
  words="$commands
$options
$extra"
fi

# Where the page defines its words: the tags of its tagged paragraphs (the
# line after .TP or .TQ) and its subsection headings, outside the examples,
# as a reader sees them (no font changes, plain dashes). A word named only in
# passing is not documented.
text=$(awk '/^\.SH / { examples = /EXAMPLES/ } examples { next }
  /^\.T[PQ]( |$)/ { if (getline > 0) print; next } /^\.SS / { print }' "$page" |
  sed -E 's/\\f[BIRP]//g; s/\\-/-/g; s/\\\(dq/"/g; s/\\&//g; s/\\ / /g')
missing=
has() { printf '%s\n' "$text" | grep -qE -e "(^|[^A-Za-z0-9_-])$1([^A-Za-z0-9_-]|\$)"; }
# fendrac's commands of two words ("file get") are one a line, and one word.
if [ "$name" = fendrac ]; then
  phrases=$commands
  words="$options
$extra"
else
  phrases=
fi
newline='
'
IFS=$newline
for phrase in $phrases; do
  has "$phrase" || missing="$missing '$phrase'"
done
unset IFS
for word in $words; do
  has "$word" || missing="$missing $word"
done
[ -z "$missing" ] || fail "$page does not name:$missing"
echo "$page names every word of $name:" $phrases $words
