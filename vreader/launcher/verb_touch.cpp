// vreader touch: a finger trace played into a program that already runs.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/devices/input/input_trace.hpp"
#include "vreader/model/state/files.hpp"

#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

constexpr double kOpenSeconds = 5;

int run_touch(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    if (args.size() != 2)
        return usage_error(verb, args.size() < 2 ? "too few arguments" : "too many arguments");
    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    std::string text, error;
    // "-": the trace comes on standard input, for one-off events from a shell.
    const bool from_input = args[1] == "-";
    const std::string file = from_input ? std::string("standard input") : absolute_path(args[1]);
    if (from_input) {
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;)
            text.append(chunk, n);
        if (std::ferror(stdin))
            return failure(verb, "cannot read standard input");
    } else if (const int e = read_file(file, text)) {
        return failure(verb, file + ": " + std::strerror(e));
    }
    std::vector<TraceStep> steps;
    if (!parse_trace(text, steps, error))
        return usage_error(verb, file + ": " + error);
    // A program just started gets a moment to open its devices.
    error = play_trace(*reader, steps, -1, kOpenSeconds, [] { return false; });
    return error.empty() ? 0 : failure(verb, error);
}

}  // namespace

const Verb kTouchVerb = {
    "touch",
    "DIR TRACE",
    "play a finger trace into a running program",
    "Plays the finger trace in the file TRACE ('-': standard input) into the\n"
    "input devices of the\n"
    "virtual reader in DIR, in real time, for a program that holds them open\n"
    "(such as a 'vreader run DIR tpinspect -t 0' in another shell). One step\n"
    "a line, '#' for comments:\n\n"
    "  down X Y             a finger touches at (X, Y)\n"
    "  move X Y [N]         it moves to (X, Y) in N steps (default 1)\n"
    "  up                   it is lifted where it is\n"
    "  home [down|up]       the HOME key pressed and released (or one of them)\n"
    "  line TEXT            a line typed on the program's standard input\n"
    "                       (only with 'vreader run --trace')\n"
    "  wait MS              a pause\n"
    "  step MS              the pause after each point of a move (default 10)\n"
    "  device N             the touch device of the steps after it (default 1)\n"
    "  event N TYPE CODE VALUE   any input event into /dev/input/eventN\n"
    "  event TYPE CODE VALUE     the same into the device set by 'device'\n\n"
    "For instance the USB switch turned on, into /dev/input/event0:\n"
    "  printf 'device 0\\nevent 5 12 1\\n' | vreader touch DIR -\n\n"
    "A touch is ABS_MT_TOUCH_MAJOR (0x30, 10 at contact, 0 at lift-off), then\n"
    "the positions ABS_MT_POSITION_X (0x35) and _Y (0x36) and a sync report.\n"
    "/dev/input/event0 is the HOME key, event1 on the touch panel's devices.\n",
    run_touch,
};

}  // namespace vreader::cli
