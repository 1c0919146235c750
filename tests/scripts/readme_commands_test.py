#!/usr/bin/env python3
"""Every command in README.md's sh blocks is run by scripts/demo, by the test
command (.ci/run, scripts/test-all and scripts/check-consumers, which it
runs) or by a file under tests/; or it is one of the few EXCEPTIONS below,
commands that cannot run here, each with its reason.

    readme_commands_test.py SOURCE_DIR      the check; names each command run nowhere
    readme_commands_test.py --self-test     the matcher against a table of cases

A README command is a line of a ```sh block, lines continued with a
backslash joined, comments and blank lines left out. Commands and the files
they are looked for in are read alike, as words:
- the virtual reader's folder (/tmp/reader, $reader, $reader_path) is READER;
  `vreader run READER` is `run` (the demo's helper of that name);
- the launcher (build/PRESET/vreader/vreader) is `vreader`, and the virtual
  reader's builds of the PC programs (build/PRESET/vreader/host/NAME) are NAME;
- a variable set once to a plain value (vr=..., tool=$(realpath ...)) is
  that value; a `for NAME in WORDS` loop's body is read once per word;
- files in the demo's output folder ($out/NAME) are NAME, as in the README's
  current folder; quotes, redirections, VREADER_DIR=READER and a trailing &
  are left out; `echo` lines only print, so they run nothing.
A command separated by && or ; is each of its parts; a pipeline is one part.
A part is found where its words stand together in one line, from where a
command may start to where one may end (the end of the line, |, ||, &&, ;,
& or a closing parenthesis): `fendrac info` is not found in
`fendrac info --json`.
"""
import os
import re
import sys

# Commands that cannot run here, by their words as read (see above).
EXCEPTIONS = {
    "scripts/demo":
        "the demo itself, which the rest of this check is held against; run by hand",
    "scripts/check-static":
        "clang-tidy over vreader/ too, about nine minutes; the test command runs --shipped",
    "scripts/coverage":
        "a build of its own and every test again, by hand; over the CI's time on two cores",
    "scripts/mutate --changed main":
        "by hand on a branch; the test command runs the bounded --changed HEAD~1 form",
    "scripts/bench":
        "full-length benchmarks and the cross builds, by hand; the test command runs --short",
    "scripts/fuzz-long --runs 10000000":
        "ten million inputs a target: hours on two cores",
    "ctest --test-dir build/asan -R FaultSweep --output-on-failure":
        "part of the asan workflow, whose tests the test command runs whole",
    "FENDRAC_FAULT_SWEEP=long ctest --test-dir build/dev -R fendrac_tool.fault_sweep --output-on-failure":
        "the long sweep, by hand; the dev workflow runs its short form",
    "FENDRAC_LOAD_COMMANDS=1250 ctest --test-dir build/tsan -R LoadExports --output-on-failure":
        "the long load test under TSan, by hand; the tsan workflow runs 40 commands a thread",
    "( cd build/windows/hostlib && FENDRAC_LOAD_COMMANDS=1250 ../../../scripts/wine-run"
    " ../vreader/host/hostlib_exports_test.exe --gtest_filter=LoadExports.* )":
        "the long load test under Wine, by hand; the windows workflow runs the short one",
    "cmake -S . -B build/image -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake"
    " -DCMAKE_INSTALL_PREFIX=/usr":
        "scripts/check-consumers builds build/image with a distribution's toolchain file around this one",
    "DESTDIR=$ROOTFS cmake --install build/image":
        "needs a reader's root file system; scripts/check-consumers installs into a folder of its own",
    "fendrac --device /dev/sdc --lock --json info":
        "needs a reader's disk; the demo runs --device E: --lock --json info on the virtual reader",
    "scripts/kernel-bench":
        "the bench that ctest --preset kernel-bench (in the test command) runs",
    "scripts/kernel-bench --large":
        "the bench with a 16 MiB round trip, several minutes more, by hand",
}

# Where a command may start, and where it may end.
STARTS = {"|", "||", "&&", ";", "&", "(", "$(", "!", "if", "then", "else", "do", "while", "until",
          "exec", "time"}
ENDS = {"|", "||", "&&", ";", "&", ")"}
REDIRECTIONS = {">", ">>", "<", ">&", "<&", "&>"}
ASSIGNMENT = re.compile(r"^[A-Za-z_]\w*=")
PLAIN = re.compile(r"^[\w./:@%+,-]+$")


def logical_lines(text):
    """The lines of a file, those continued with a backslash joined."""
    lines, current = [], ""
    for line in text.split("\n"):
        if line.rstrip().endswith("\\"):
            current += line.rstrip()[:-1] + " "
            continue
        lines.append(current + line)
        current = ""
    if current:
        lines.append(current)
    return lines


def expand_loops(lines):
    """A `for NAME in WORDS; do` loop's body once per word, $NAME replaced."""
    out, i = [], 0
    while i < len(lines):
        header = re.match(r"^(\s*)for (\w+) in ([^;]+); do\s*$", lines[i])
        if not header:
            out.append(lines[i])
            i += 1
            continue
        indent, name, words = header.group(1), header.group(2), header.group(3).split()
        end = i + 1
        while end < len(lines) and not re.match(r"^" + indent + r"done\b", lines[end]):
            end += 1
        variable = re.compile(r"\$\{?" + name + r"\}?(?!\w)")
        for line in expand_loops(lines[i + 1:end]):
            out.extend([variable.sub(w, line) for w in words] if variable.search(line) else [line])
        i = end + 1
    return out


def tokens(line):
    """Shell words and operators, quotes removed; a # word starts a comment."""
    words, i, n = [], 0, len(line)
    word, in_word = "", False
    while i < n:
        c = line[i]
        if c in " \t":
            if in_word:
                words.append(word)
            word, in_word = "", False
            i += 1
        elif c == "#" and not in_word:
            break
        elif c == "'" or c == '"':
            close = line.find(c, i + 1)
            close = n if close < 0 else close
            word += line[i + 1:close]
            in_word = True
            i = close + 1
        elif c == "\\" and i + 1 < n:
            word += line[i + 1]
            in_word = True
            i += 2
        elif line.startswith("$(", i):
            if in_word:
                words.append(word)
            words.append("$(")
            word, in_word = "", False
            i += 2
        elif c in "|&;()<>":
            if in_word and not (c in "<>" and word.isdigit()):  # 2>&1: the 2 is no argument
                words.append(word)
            word, in_word = "", False
            for op in ("||", "&&", ">>", ">&", "<&", "&>", c):
                if line.startswith(op, i):
                    words.append(op)
                    i += len(op)
                    break
        else:
            word += c
            in_word = True
            i += 1
    if in_word:
        words.append(word)
    return words


def normal_word(word):
    word = re.sub(r"^build/[\w.-]+/vreader/vreader$", "vreader", word)
    word = re.sub(r"^build/[\w.-]+/vreader/host/", "", word)
    return re.sub(r"^\$\{?out\}?/", "", word)


def read_commands(text):
    """Each command line of a shell text as its words, read as described above."""
    variables = {}
    commands = []
    for line in expand_loops(logical_lines(text)):
        line = re.sub(r"/tmp/reader(?![\w.-])|\$\{?(reader_path|reader)\}?(?!\w)", "READER", line)
        for name in sorted(variables, key=len, reverse=True):
            line = re.sub(r"\$\{?" + name + r"\}?(?!\w)", lambda _: variables[name], line)
        line = re.sub(r"\$\(realpath\s+\"?([^\")\s]*)\"?\)", r"\1", line)
        words = tokens(line)
        if len(words) == 1 and ASSIGNMENT.match(words[0]):
            name, value = words[0].split("=", 1)
            if PLAIN.match(normal_word(value)):
                variables[name] = normal_word(value)
            continue
        kept = []
        for word in words:
            if kept and kept[-1] in REDIRECTIONS:
                kept.pop()
                continue
            if word != "VREADER_DIR=READER":
                kept.append(normal_word(word))
        if kept and kept[-1] in REDIRECTIONS:
            kept.pop()
        words = []
        for word in kept:
            words.append(word)
            if words[-3:] == ["vreader", "run", "READER"]:
                words[-3:] = ["run"]
        if words and words[0] != "echo":
            commands.append(words)
    return commands


def readme_commands(readme):
    """The command lines of README.md's ```sh blocks, as words."""
    blocks, inside = [], None
    for line in readme.split("\n"):
        if line.startswith("```"):
            if inside is not None:
                blocks.append("\n".join(inside))
                inside = None
            elif line.strip() == "```sh":
                inside = []
        elif inside is not None:
            inside.append(line)
    return [words for block in blocks for words in read_commands(block)]


def parts(words):
    """A command's parts: split at && || and ;, a trailing & and grouping left out."""
    out, part = [], []
    for word in words + [";"]:
        if word in ("&&", "||", ";"):
            while part and part[-1] in ("&", ")"):
                part.pop()
            while part and part[0] == "(":
                part.pop(0)
            if part:
                out.append(part)
            part = []
        else:
            part.append(word)
    return out


def found_in(part, line):
    size = len(part)
    for at in range(len(line) - size + 1):
        if line[at:at + size] != part:
            continue
        before = at
        while before > 0 and ASSIGNMENT.match(line[before - 1]):
            before -= 1
        starts = before == 0 or line[before - 1] in STARTS
        ends = at + size == len(line) or line[at + size] in ENDS
        if starts and ends:
            return True
    return False


def unrun(commands, corpus):
    """The commands (as words) of which some part is found in no line of the corpus."""
    return [c for c in commands if not all(any(found_in(p, line) for line in corpus) for p in parts(c))]


def corpus_files(source):
    paths = [os.path.join(source, p) for p in ("scripts/demo", ".ci/run", "scripts/test-all",
                                               "scripts/check-consumers")]
    for root, _, files in os.walk(os.path.join(source, "tests")):
        paths.extend(os.path.join(root, f) for f in sorted(files))
    # Not this file: its cases and exceptions are commands that it only names.
    return [p for p in paths if os.path.realpath(p) != os.path.realpath(__file__)]


def check(source):
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        commands = readme_commands(f.read())
    corpus = []
    for path in corpus_files(source):
        try:
            with open(path, encoding="utf-8") as f:
                corpus.extend(read_commands(f.read()))
        except (UnicodeDecodeError, IsADirectoryError):
            continue
    failed = False
    listed = {" ".join(c) for c in commands}
    for gone in sorted(set(EXCEPTIONS) - listed):
        print(f"FAIL exception for a command the README no longer has: {gone}")
        failed = True
    for words in unrun([c for c in commands if " ".join(c) not in EXCEPTIONS], corpus):
        print(f"FAIL run nowhere (not in scripts/demo, the test command or tests/): {' '.join(words)}")
        failed = True
    for words in [c for c in commands if " ".join(c) in EXCEPTIONS]:
        if not unrun([words], corpus):
            print(f"FAIL an exception that is run after all, take it out: {' '.join(words)}")
            failed = True
    print(f"{len(commands)} README commands, {len(EXCEPTIONS)} of them exceptions: "
          f"{'some run nowhere' if failed else 'every other one is run'}")
    return 1 if failed else 0


# The matcher: a README block, a file's text, and the commands it finds unrun.
SELF_TEST = [
    # the launcher and the reader's folder, spelled as the demo spells them
    ("vr=build/dev/vreader/vreader\n$vr state /tmp/reader | grep usb_\n",
     'vreader=build/dev/vreader/vreader\nreader=$out/reader\n"$vreader" state "$reader" | grep usb_\n', []),
    # the demo's run helper; a continued line joined on both sides
    ("build/dev/vreader/vreader run /tmp/reader morvane \\\n  patt GC16 FULL 16\n",
     "run morvane patt GC16 \\\n  FULL 16 >/dev/null\n", []),
    # a command only echoed is not run
    ("fendrac eject\n", 'echo "$ fendrac eject"\n', ["fendrac eject"]),
    # a command that goes on is another command
    ("fendrac info\n", "fendrac info --json\n", ["fendrac info"]),
    ("fendrac info\n", "fendrac --json info\n", ["fendrac info"]),
    ("fendrac info\n", 'x=$(fendrac info) || echo "status $?"\n', []),
    # words inside quotes are not a command
    ("fendrac list\n", "grep -q 'fendrac list' out\n", ["fendrac list"]),
    # each part of a && list must be run; a trailing & and comments do not count
    ("cmake --preset windows && cmake --build build/windows   # both\n",
     "cmake --preset windows >/dev/null\n", ["cmake --preset windows && cmake --build build/windows"]),
    ("vr=build/dev/vreader/vreader\n$vr run /tmp/reader quenlay &    # the bridge\n",
     'vr=build/dev/vreader/vreader\n"$vr" run "$reader" quenlay > "$out/q.out" 2>&1 &\n', []),
    # variables set to a program's real path, and files in the output folder
    ("VREADER_DIR=/tmp/reader build/dev/vreader/host/fendrac file put a.pdf /documents/a.pdf\n",
     'tool=$(realpath build/dev/vreader/host/fendrac)\n'
     '(cd "$out" && VREADER_DIR=$reader_path "$tool" file put "$out/a.pdf" /documents/a.pdf)\n', []),
    # a loop's body, once per word
    ("cmake --workflow --preset asan\ncmake --workflow --preset tsan\n",
     'for preset in dev asan; do\n  cmake --workflow --preset "$preset"\ndone\n',
     ["cmake --workflow --preset tsan"]),
]


def self_test():
    failed = 0
    for readme, text, expected in SELF_TEST:
        got = [" ".join(c) for c in unrun(read_commands(readme), read_commands(text))]
        if got != expected:
            print(f"FAIL {readme!r} against {text!r}: unrun {got}, not {expected}")
            failed = 1
    print(f"{len(SELF_TEST)} cases, {'a case failed' if failed else 'all as expected'}")
    return failed


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    if len(sys.argv) != 2:
        sys.exit("usage: readme_commands_test.py SOURCE_DIR | --self-test")
    sys.exit(check(sys.argv[1]))
