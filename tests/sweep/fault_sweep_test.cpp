// Every reader program, run once cleanly to count its device requests, then
// once per request with that request failing (EIO, and "short" where it moves
// data). Whatever fails, a run ends with an exit status, says so when it did
// not do its work, reports no sanitizer finding, and leaves the eMMC outside
// the area it was asked to write as it was.
#include "tests/support/kernel_events.hpp"
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <sstream>

namespace {

using testing_support::JsonLine;
using testing_support::ProcessResult;
using testing_support::VirtualReader;
using Strings = std::vector<std::string>;

// One representative use of a program.
struct Use {
    std::string name;
    Strings command;  // PROGRAM ARGS..., or "--trace" FILE PROGRAM ARGS...
    std::string input;
    std::string area;  // the eMMC area the use writes; empty: none
    std::function<void(const VirtualReader&)> setup;
    // What the use leaves behind that a clean run's success stands for.
    std::function<std::string(const VirtualReader&)> outcome;
    std::size_t first_requests = 0;  // sweep only so many (0: all), for a long run
    // Requests whose failure the program is documented to pass over quietly.
    Strings quiet = {};
};

void set(const VirtualReader& reader, const std::string& key, const std::string& value)
{
    const ProcessResult result = reader.vreader({"set", reader.path(), key, value});
    ASSERT_EQ(result.status, 0) << key << ": " << result.err;
}

std::string dump(const VirtualReader& reader, const Strings& where)
{
    Strings arguments{"dump", reader.path()};
    arguments.insert(arguments.end(), where.begin(), where.end());
    return reader.vreader(arguments).out;
}

// The eMMC image's non-zero 4 KiB blocks, by number.
using Blocks = std::map<std::uint64_t, std::string>;

Blocks emmc_blocks(const VirtualReader& reader)
{
    Blocks blocks;
    const int fd = ::open((reader.path() + "/emmc.img").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return blocks;
    constexpr off_t kBlock = 4096;
    for (off_t at = 0;;) {
        const off_t data = ::lseek(fd, at, SEEK_DATA);
        if (data < 0)
            break;
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        for (off_t block = data / kBlock * kBlock; block < hole; block += kBlock) {
            std::string bytes(kBlock, '\0');
            if (::pread(fd, bytes.data(), kBlock, block) <= 0)
                break;
            if (bytes.find_first_not_of('\0') != std::string::npos)
                blocks[static_cast<std::uint64_t>(block / kBlock)] = bytes;
        }
        at = hole;
    }
    ::close(fd);
    return blocks;
}

// The blocks of the area named `name` in the reader's raw-data table.
std::pair<std::uint64_t, std::uint64_t> area_blocks(const VirtualReader& reader, const std::string& name)
{
    if (name.empty())
        return {0, 0};
    std::istringstream lines(
        testing_support::read_file(reader.path() + "/sys/module/rawdatatable/parameters/rawdata_param"));
    for (std::string line; std::getline(lines, line);) {
        const auto second = line.rfind(':');
        const auto first = line.rfind(':', second - 1);
        if (line.substr(0, first) == name) {
            const auto offset = std::stoull(line.substr(first + 1, second - first - 1), nullptr, 16);
            const auto size = std::stoull(line.substr(second + 1), nullptr, 16);
            return {offset / 4096, (offset + size + 4095) / 4096};
        }
    }
    ADD_FAILURE() << "no area " << name;
    return {0, 0};
}

// The first block outside [begin, end) that differs, as text; empty if none.
std::string changed_outside(const Blocks& before, const Blocks& after, std::pair<std::uint64_t, std::uint64_t> area)
{
    Blocks all = before;
    all.insert(after.begin(), after.end());
    for (const auto& [block, bytes] : all) {
        if (block >= area.first && block < area.second)
            continue;
        const auto was = before.find(block);
        const auto now = after.find(block);
        if (was == before.end() || now == after.end() || was->second != now->second) {
            std::ostringstream text;
            text << "eMMC block at 0x" << std::hex << block * 4096 << " changed";
            return text.str();
        }
    }
    return {};
}

// The requests of a run as the binding counts them: a line with "repeated":K
// stands for K more of the line before it.
struct Request {
    std::string name;
    bool failed;  // in the clean run
};

std::vector<Request> requests_of(const std::vector<JsonLine>& journal)
{
    std::vector<Request> requests;
    for (const JsonLine& line : journal) {
        const Request request{line.text("request"), line.has("result") && line.number("result") < 0};
        const long long count = line.has("repeated") ? line.number("repeated") : 1;
        for (long long i = 0; i < count; ++i)
            requests.push_back(request);
    }
    return requests;
}

struct SweepRun {
    ProcessResult result;
    std::vector<JsonLine> journal;
    Blocks before, after;
    std::pair<std::uint64_t, std::uint64_t> area;  // its blocks
    std::string outcome;
};

// A fresh reader set up for `use`, and the use run on it, with `at` set
// ("N EFFECT") unless empty.
SweepRun run_use(const Use& use, const std::string& at_number = {}, const std::string& effect = {})
{
    VirtualReader reader;
    if (use.setup)
        use.setup(reader);
    SweepRun run;
    run.before = emmc_blocks(reader);
    run.area = area_blocks(reader, use.area);
    reader.clear_journal();
    if (!at_number.empty()) {
        const ProcessResult set_at = reader.vreader({"fail", reader.path(), "--at", at_number, effect});
        EXPECT_EQ(set_at.status, 0) << set_at.err;
    }
    Strings command = use.command;
    for (std::string& word : command)
        if (word == "@card")  // the test card the setup made
            word = reader.temp_file("card.bmp");
    // A run that hangs is killed, and shows as a signal.
    Strings arguments{"timeout", "-s", "KILL", "20", VREADER_EXECUTABLE, "run", reader.path()};
    arguments.insert(arguments.end(), command.begin(), command.end());
    run.result = testing_support::run_process(arguments, {}, use.input);
    run.journal = reader.journal();
    run.after = emmc_blocks(reader);
    run.outcome = use.outcome ? use.outcome(reader) : std::string();
    return run;
}

// Lines a model adds to a program's request, and an unmapping: they stand
// for no request a fault can fail, and an "at" fault on one injects nothing.
bool takes_no_fault(const std::string& request)
{
    for (const char* name : {"munmap", "panel_request", "panel_reply", "sub_cpu_request", "sub_cpu_reply", "pc_end",
                             "modem_command", "modem_answer", "modem_echo"})
        if (request == name)
            return true;
    return false;
}

bool injected(const std::vector<JsonLine>& journal)
{
    for (const JsonLine& line : journal)
        if (line.has("injected"))
            return true;
    return false;
}

const std::vector<Use>& uses()
{
    static const std::vector<Use> table = [] {
        std::vector<Use> list;
        const auto nothing = [](const VirtualReader&) {};
        // morvane shows a test card: the panel is its outcome.
        list.push_back({"morvane file", {"morvane", "file", "GC16", "FULL", "@card"}, "", "",
                        [](const VirtualReader& r) {
                            const ProcessResult made = r.vreader({"bitmap", r.temp_file("card.bmp")});
                            ASSERT_EQ(made.status, 0) << made.err;
                        },
                        [](const VirtualReader& r) { return r.panel_image(); }, 0,
                        // An image that opens but cannot be measured or mapped
                        // leaves the picture as it was, and the screen is updated.
                        {"fstat"}});
        list.push_back({"boskel recovery", {"boskel", "recovery"}, "", "Boot Env", nothing,
                        [](const VirtualReader& r) { return dump(r, {"Boot Env", "--length", "64"}); }});
        const auto update_mode = [](const VirtualReader& r) { set(r, "subcpu.update_mode", "1"); };
        list.push_back({"tarvik register read", {"tarvik", "reg", "r", "30"}, "", "", update_mode, {}});
        list.push_back(
            {"tarvik write",
             {"tarvik", "req", "w", "73e0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "a", "b", "c", "d", "e", "f",
              "10", "11"},
             "", "", update_mode,
             [](const VirtualReader& r) { return dump(r, {"subcpu", "--offset", "0x73e0", "--length", "32"}); }});
        list.push_back({"tarvik verify", {"tarvik", "req", "v", "28"}, "", "", update_mode, {}});
        for (const Strings& tool :
             {Strings{"irtp_version"}, Strings{"irtp_status"}, Strings{"irtp_ledcheck1", "3"},
              Strings{"irtp_ledcheck2"}, Strings{"irtp_lightlevel", "1F"}, Strings{"irtp_pulse1", "1F", "0A"},
              Strings{"irtp_pulse2", "1F"}})
            list.push_back({tool.front(), tool, "", "", nothing, {}});
        // The bridge runs until the panel's port fails: here its first read,
        // as nothing comes from the panel to let reads pass.
        list.push_back({"quenlay", {"quenlay"}, "", "",
                        [](const VirtualReader& r) {
                            const ProcessResult set_fault = r.vreader({"fail", r.path(), "ttymxc1:read", "EIO"});
                            ASSERT_EQ(set_fault.status, 0) << set_fault.err;
                        },
                        {}});
        // Two touches and HOME. A touch device that fails to open is left
        // out of the inspection, its touches are lost, and HOME still ends it.
        // The refresh timer's interval is longer than the run, so that every
        // run makes the same requests.
        list.push_back({"tpinspect two points",
                        {"--trace", TPINSPECT_TRACES "/two_points.trace", "--open-wait", "5", "tpinspect", "-i",
                         "100000", "-t", "0"},
                        "", "", nothing, {}});
        const auto id = [](const VirtualReader& r) { return dump(r, {"Id Data", "--length", "0x400"}); };
        list.push_back({"devprov -wifi", {"devprov", "-wifi", "wlan0"}, "", "Id Data", nothing, id});
        list.push_back({"devprov -meid", {"devprov", "-meid", "/dev/ttyUSB0"}, "", "Id Data",
                        [](const VirtualReader& r) { set(r, "modem.meid", "a100004a7c2e91"); }, id});
        list.push_back({"devprov -set-moa", {"devprov", "-set-moa"}, "0a1b2c3d\n", "Id Data", nothing,
                        [](const VirtualReader& r) { return dump(r, {"Id Data", "--length", "0x8000"}); }});
        // The daemon handles an event that comes once it listens, then its
        // first poll that has to wait fails, as a stop makes it.
        list.push_back({"usbhotplugd event", {"usbhotplugd"}, "", "",
                        [](const VirtualReader& r) {
                            std::vector<std::string> event = {"uevent", r.path(), "--at-bind"};
                            for (const std::string& text : testing_support::mmc_block_uevent("remove", 68))
                                event.push_back(text);
                            const ProcessResult queued = r.vreader(event);
                            ASSERT_EQ(queued.status, 0) << queued.err;
                            r.fail("poll", "EIO");
                        },
                        [](const VirtualReader& r) {
                            return r.vreader({"state", r.path()}).out;
                        }});
        list.push_back({"melgrin dump", {"melgrin"}, "", "",
                        [](const VirtualReader& r) {
                            const ProcessResult made = r.vreader({"pastlog", r.path(), "--generate", "6"});
                            ASSERT_EQ(made.status, 0) << made.err;
                        },
                        {}});
        return list;
    }();
    return table;
}

class FaultSweep : public ::testing::TestWithParam<Use> {};

TEST_P(FaultSweep, EveryRequestFailingEndsCleanly)
{
    const Use& use = GetParam();
    const auto started = std::chrono::steady_clock::now();
    const SweepRun clean = run_use(use);
    const std::string clean_output = clean.result.out + clean.result.err;
    ASSERT_TRUE(clean.result.status < 128 || clean.result.status == 255) << clean_output;
    const std::vector<Request> requests = requests_of(clean.journal);
    ASSERT_FALSE(requests.empty());

    unsigned runs = 0;
    const std::size_t swept = use.first_requests != 0 ? std::min(use.first_requests, requests.size()) : requests.size();
    for (std::size_t n = 1; n <= swept; ++n) {
        for (const std::string effect : {"EIO", "short"}) {
            const std::string& request = requests[n - 1].name;
            // Half of the data: of a read or write that moves some.
            if (takes_no_fault(request) ||
                (effect == std::string("short") && ((request != "read" && request != "write") || requests[n - 1].failed)))
                continue;
            SCOPED_TRACE("request " + std::to_string(n) + " (" + request + ") " + effect);
            const SweepRun run = run_use(use, std::to_string(n), effect);
            ++runs;
            const std::string output = run.result.out + run.result.err;
            // An exit, not a signal (a signal shows as 128 + its number).
            EXPECT_TRUE(run.result.status < 128 || run.result.status == 255) << run.result.status << "\n" << output;
            for (const char* report : {"runtime error", "AddressSanitizer", "LeakSanitizer"})
                EXPECT_EQ(output.find(report), std::string::npos) << output;
            if (effect == std::string("EIO")) {
                EXPECT_TRUE(injected(run.journal)) << "the fault never fired";
            }
            EXPECT_EQ(changed_outside(run.before, run.after, run.area), "");
            // Claiming what a clean run claims means having done what it did.
            const bool quiet = std::find(use.quiet.begin(), use.quiet.end(), request) != use.quiet.end();
            if (run.result.status == 0 && output == clean_output && !quiet) {
                EXPECT_TRUE(run.outcome == clean.outcome) << "a silent success: the clean run's output, not its outcome\n"
                                                          << output;
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: %zu requests, %u faulted runs, %.1f s\n", use.name.c_str(), requests.size(), runs, seconds);
}

std::string row_name(const ::testing::TestParamInfo<Use>& info)
{
    std::string name;
    for (const char c : info.param.name)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Programs, FaultSweep, ::testing::ValuesIn(uses()), row_name);

}  // namespace
