// Finger traces: a small text that the virtual reader turns into the input
// events a touch panel, the HOME key and a keyboard would make, with their
// timing. One step a line ('#' starts a comment):
//
//     down X Y        a finger touches at (X, Y)
//     move X Y [N]    it moves to (X, Y) in N steps (default 1)
//     up              it is lifted where it is
//     home            the HOME key pressed and released ("home down",
//                     "home up" for one of the two)
//     line TEXT       TEXT and a line end typed on standard input
//     wait MS         a pause
//     step MS         the pause after each point of a move (default 10)
//     device N        the touch device the steps after it use (default 1)
//     event N TYPE CODE VALUE   any event into /dev/input/eventN
//     event TYPE CODE VALUE     the same into the device set by "device"
//
// A touch is touch major (0x30) with a value of 10 at contact and 0 at
// lift-off, then the positions 0x35 (x) and 0x36 (y); each group of events
// ends with a synchronisation report.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

struct TraceStep {
    enum class Kind { Event, Line, Wait } kind = Kind::Event;
    unsigned device = 0;
    std::uint16_t type = 0;
    std::uint16_t code = 0;
    std::int32_t value = 0;
    std::string text;  // Line
    unsigned ms = 0;   // Wait
};

// false with "line N: why" in `error`.
bool parse_trace(std::string_view text, std::vector<TraceStep>& out, std::string& error);

bool trace_has_lines(const std::vector<TraceStep>& steps);

// Plays the steps into the reader's input devices in real time, writing the
// typed lines to `line_fd`. It waits (up to `open_seconds` in all) until a
// program holds each device it needs; the events of a device still unheld
// are dropped and the rest played. Empty, or what went wrong (the dropped
// devices too). `stop` is asked between steps.
std::string play_trace(const ReaderDir& dir, const std::vector<TraceStep>& steps, int line_fd, double open_seconds,
                       const std::function<bool()>& stop);

}  // namespace vreader
