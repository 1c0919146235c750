#include "vreader/model/devices/input/input_trace.hpp"

#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/devices/input/input_device.hpp"
#include "vreader/model/devices/input/input_record.hpp"
#include "vreader/model/state/key_value.hpp"

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

namespace vreader {
namespace {

constexpr std::int32_t kContact = 10;
constexpr std::uint16_t kKeyHome = KEY_HOME;

class Builder {
public:
    explicit Builder(std::vector<TraceStep>& out) : out_(out) {}

    void event(unsigned to, std::uint16_t type, std::uint16_t code, std::int32_t value)
    {
        out_.push_back({TraceStep::Kind::Event, to, type, code, value, {}, 0});
    }
    void sync(unsigned to) { event(to, EV_SYN, SYN_REPORT, 0); }
    void wait(unsigned ms)
    {
        if (ms != 0)
            out_.push_back({TraceStep::Kind::Wait, 0, 0, 0, 0, {}, ms});
    }
    void touch(std::int32_t major, std::int32_t at_x, std::int32_t at_y)
    {
        if (major >= 0)
            event(device, EV_ABS, ABS_MT_TOUCH_MAJOR, major);
        event(device, EV_ABS, ABS_MT_POSITION_X, at_x);
        event(device, EV_ABS, ABS_MT_POSITION_Y, at_y);
        sync(device);
        x = at_x;
        y = at_y;
    }
    void key(std::int32_t value)
    {
        event(0, EV_KEY, kKeyHome, value);
        sync(0);
    }

    unsigned device = 1;
    unsigned step_ms = 10;
    std::int32_t x = 0;
    std::int32_t y = 0;

private:
    std::vector<TraceStep>& out_;
};

std::optional<std::int64_t> number(std::istringstream& words, std::int64_t min, std::int64_t max)
{
    std::string word;
    if (!(words >> word))
        return std::nullopt;
    if (word.starts_with("0x"))
        return parse_unsigned(word, static_cast<std::uint64_t>(max));
    return parse_signed(word, min, max);
}

}  // namespace

bool parse_trace(std::string_view text, std::vector<TraceStep>& out, std::string& error)
{
    out.clear();
    Builder build(out);
    std::istringstream lines{std::string(text)};
    int line_number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++line_number;
        if (const auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string verb;
        if (!(words >> verb))
            continue;
        bool ok = true;
        std::string rest;
        if (verb == "down" || verb == "move") {
            const auto x = number(words, INT32_MIN, INT32_MAX);
            const auto y = number(words, INT32_MIN, INT32_MAX);
            const auto steps = verb == "move" ? number(words, 1, 100000).value_or(1) : 1;
            ok = x && y;
            if (ok && verb == "down") {
                build.touch(kContact, static_cast<std::int32_t>(*x), static_cast<std::int32_t>(*y));
            } else if (ok) {
                const std::int32_t from_x = build.x;
                const std::int32_t from_y = build.y;
                for (std::int64_t i = 1; i <= steps; ++i) {
                    build.touch(-1, static_cast<std::int32_t>(from_x + (*x - from_x) * i / steps),
                                static_cast<std::int32_t>(from_y + (*y - from_y) * i / steps));
                    build.wait(build.step_ms);
                }
            }
        } else if (verb == "up") {
            build.touch(0, build.x, build.y);
        } else if (verb == "home") {
            std::string which;
            words >> which;
            ok = which.empty() || which == "down" || which == "up";
            if (which != "up")
                build.key(1);
            if (which != "down")
                build.key(0);
        } else if (verb == "line") {
            std::getline(words >> std::ws, rest);
            out.push_back({TraceStep::Kind::Line, 0, 0, 0, 0, rest + "\n", 0});
        } else if (verb == "wait" || verb == "step") {
            const auto ms = number(words, 0, 3600000);
            ok = ms.has_value();
            if (ok && verb == "wait")
                build.wait(static_cast<unsigned>(*ms));
            else if (ok)
                build.step_ms = static_cast<unsigned>(*ms);
        } else if (verb == "device") {
            const auto device = number(words, 0, 64);
            ok = device.has_value();
            build.device = static_cast<unsigned>(device.value_or(1));
        } else if (verb == "event") {
            // event [N] TYPE CODE VALUE: without N, into the device of the
            // steps before it.
            std::vector<std::optional<std::int64_t>> values;
            for (std::string word; values.size() < 4 && words >> word;) {
                std::istringstream one(word);
                values.push_back(number(one, INT32_MIN, INT32_MAX));
            }
            const bool numbers = std::all_of(values.begin(), values.end(), [](const auto& v) { return v.has_value(); });
            if (values.size() == 3)
                values.insert(values.begin(), std::int64_t{build.device});
            const auto within = [&](std::size_t i, std::int64_t max) { return *values[i] >= 0 && *values[i] <= max; };
            ok = numbers && values.size() == 4 && within(0, 64) && within(1, 0xFFFF) && within(2, 0xFFFF);
            if (ok)
                build.event(static_cast<unsigned>(*values[0]), static_cast<std::uint16_t>(*values[1]),
                            static_cast<std::uint16_t>(*values[2]), static_cast<std::int32_t>(*values[3]));
        } else {
            ok = false;
        }
        if (!ok || (verb != "line" && words >> rest)) {
            error = "line " + std::to_string(line_number) + " is not a trace step: " + line;
            return false;
        }
    }
    return true;
}

bool trace_has_lines(const std::vector<TraceStep>& steps)
{
    for (const TraceStep& step : steps)
        if (step.kind == TraceStep::Kind::Line)
            return true;
    return false;
}

namespace {

// Waits (up to 10 s) until the program has read every record written so
// far. A program looks at its standard input and the key device before the
// touch devices, so a line or a HOME press must not overtake touches that
// are still queued: an operator's finger is never that fast.
void wait_until_read(const std::map<unsigned, HostFd>& pipes, const std::function<bool()>& stop)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        bool queued = false;
        for (const auto& [device, fd] : pipes) {
            int unread = 0;
            if (::ioctl(fd.get(), FIONREAD, &unread) == 0 && unread > 0)
                queued = true;
        }
        if (!queued || stop() || std::chrono::steady_clock::now() >= give_up)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

std::string play_trace(const ReaderDir& dir, const std::vector<TraceStep>& steps, int line_fd, double open_seconds,
                       const std::function<bool()>& stop)
{
    // A device's pipe opens for writing only while a program reads it. A
    // device no program opens in time keeps no descriptor: its events are
    // dropped, as the kernel drops the events of an input device nobody
    // reads, and the rest of the trace still plays (a HOME press can end the
    // program).
    std::map<unsigned, HostFd> pipes;
    // Each device's records as the program holding it reads them.
    std::map<unsigned, std::size_t> record_sizes;
    std::string unread;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(open_seconds);
    std::set<unsigned> waiting;
    for (const TraceStep& step : steps) {
        if (step.kind != TraceStep::Kind::Event)
            continue;
        if (step.device > dir.config().touch_devices)
            return "the reader has no /dev/input/event" + std::to_string(step.device);
        waiting.insert(step.device);
    }
    // Every device is waited for at once: one that never opens does not
    // hold up the others.
    while (!waiting.empty()) {
        for (auto device = waiting.begin(); device != waiting.end();) {
            const std::string pipe = dir.file(input_pipe(*device));
            HostFd fd(::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
            if (!fd.valid() && errno != ENXIO)
                return "cannot open " + pipe + ": " + std::strerror(errno);
            if (!fd.valid()) {
                ++device;
                continue;
            }
            // Full pipes wait for the program to read, as a queue would.
            ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
            pipes[*device] = std::move(fd);
            record_sizes[*device] = program_input_record_size(dir, *device);
            device = waiting.erase(device);
        }
        if (waiting.empty())
            break;
        if (stop())
            return "no program reads /dev/input/event" + std::to_string(*waiting.begin());
        if (std::chrono::steady_clock::now() >= deadline) {
            for (const unsigned device : waiting) {
                unread += (unread.empty() ? "" : ", ") + std::string("/dev/input/event") + std::to_string(device);
                pipes[device].reset();
            }
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string error;
    unsigned last_device = 0;
    for (std::size_t index = 0; index < steps.size(); ++index) {
        const TraceStep& step = steps[index];
        if (stop())
            break;
        const bool to_key = step.kind == TraceStep::Kind::Event && step.device == 0 && last_device != 0;
        if (step.kind == TraceStep::Kind::Line || to_key)
            wait_until_read(pipes, stop);
        if (step.kind == TraceStep::Kind::Event)
            last_device = step.device;
        if (step.kind == TraceStep::Kind::Wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
        } else if (step.kind == TraceStep::Kind::Line) {
            if (line_fd < 0 || ::write(line_fd, step.text.data(), step.text.size()) < 0) {
                error = line_fd < 0 ? "typed lines can only be played into a program 'vreader run' starts"
                                    : std::string("cannot type a line: ") + std::strerror(errno);
                break;
            }
        } else if (pipes[step.device].valid()) {
            // The input core hands a reader a packet whole, up to its
            // SYN_REPORT: a program that stops at one event of a packet
            // (tpinspect closes the key device at the release) must find
            // the rest already queued, never a write into a closed pipe.
            std::vector<std::uint8_t> packet;
            timeval now{};
            ::gettimeofday(&now, nullptr);
            for (;; ++index) {
                const TraceStep& part = steps[index];
                append_input_record(packet, {now.tv_sec, now.tv_usec, part.type, part.code, part.value},
                                    record_sizes[step.device]);
                const bool ends = part.type == EV_SYN || index + 1 == steps.size() ||
                                  steps[index + 1].kind != TraceStep::Kind::Event ||
                                  steps[index + 1].device != step.device;
                if (ends)
                    break;
            }
            const auto bytes = static_cast<ssize_t>(packet.size());
            if (::write(pipes[step.device].get(), packet.data(), static_cast<size_t>(bytes)) != bytes) {
                error = "the program stopped reading /dev/input/event" + std::to_string(step.device);
                break;
            }
        }
    }
    // The trace is played when the program has taken the last of it: a
    // caller that ends the program's input next must not overtake it.
    if (error.empty())
        wait_until_read(pipes, stop);
    if (error.empty() && !unread.empty())
        error = "no program read " + unread + ": its events were dropped";
    return error;
}

}  // namespace vreader
