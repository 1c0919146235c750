// Every reader program started with its standard input, output or error
// closed, as a careless script or a daemon's parent may start it. Each run
// opens a device and then reads or prints: no device may be given the
// closed descriptor (the program would print into it or read its input
// from it), the eMMC stays as it was outside the area the program was asked
// to write, and the run ends with a status. And each started with its
// standard output on a full device: a result that cannot be printed is the
// program's failure, said on standard error.
#include "tests/support/kernel_events.hpp"
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <functional>
#include <sstream>
#include <string_view>

namespace {

using testing_support::JsonLine;
using testing_support::ProcessResult;
using testing_support::VirtualReader;
using Strings = std::vector<std::string>;

struct Use {
    Strings command;  // PROGRAM ARGS...
    std::string input;
    std::string area;  // the eMMC area the use writes; empty: none
    std::function<void(const VirtualReader&)> setup;
    int full_output_status = -1;  // with standard output full; -1: prints no result
};

void PrintTo(const Use& use, std::ostream* out) { *out << ::testing::PrintToString(use.command); }

void launch(const VirtualReader& reader, const Strings& arguments)
{
    const ProcessResult result = reader.vreader(arguments);
    ASSERT_EQ(result.status, 0) << result.err;
}

const std::vector<Use>& uses()
{
    static const std::vector<Use> table = [] {
        const auto nothing = [](const VirtualReader&) {};
        std::vector<Use> list = {
            {{"morvane", "getinfo"}, "", "", nothing, ENOSPC},
            // Standard input ending ends the inspection.
            {{"tpinspect", "-t", "0"}, "", "", nothing},
            {{"tarvik", "reg", "r", "30"}, "", "", nothing, 1},
            {{"boskel", "recovery"}, "", "Boot Env", nothing, 1},
            {{"devprov", "-set-moa"}, "0a1b2c3d\n", "Id Data", nothing, 255},
            {{"devprov", "-dump", "psn"}, "", "", nothing, 255},
            // Printing the key the run before stored.
            {{"devprov", "-get-moa"}, "", "",
             [](const VirtualReader& r) {
                 ASSERT_EQ(r.run("devprov", {"-set-moa"}, std::string(600, '5') + "\n").status, 0);
             },
             255},
            // The daemon handles an event that comes once it listens, then
            // stops as its poll fails.
            {{"usbhotplugd"}, "", "",
             [](const VirtualReader& r) {
                 Strings event = {"uevent", r.path(), "--at-bind"};
                 for (const std::string& text : testing_support::mmc_block_uevent("remove", 68))
                     event.push_back(text);
                 launch(r, event);
                 r.fail("poll", "EIO");
             }},
            {{"melgrin"}, "", "", [](const VirtualReader& r) { launch(r, {"pastlog", r.path(), "--generate", "6"}); }, 1},
            // The bridge runs until the panel's port fails: its first read,
            // as nothing comes from the panel to let reads pass.
            {{"quenlay"}, "", "", [](const VirtualReader& r) { launch(r, {"fail", r.path(), "ttymxc1:read", "EIO"}); }},
        };
        for (const Strings& tool :
             {Strings{"irtp_version"}, Strings{"irtp_status"}, Strings{"irtp_ledcheck1", "3"},
              Strings{"irtp_ledcheck2"}, Strings{"irtp_lightlevel", "1F"}, Strings{"irtp_pulse1", "1F", "0A"},
              Strings{"irtp_pulse2", "1F"}})
            list.push_back({tool, "", "", nothing, 1});
        return list;
    }();
    return table;
}

// The byte range of the area named `name` in the reader's raw-data table.
std::pair<std::size_t, std::size_t> area_range(const VirtualReader& reader, const std::string& name)
{
    std::istringstream lines(
        testing_support::read_file(reader.path() + "/sys/module/rawdatatable/parameters/rawdata_param"));
    for (std::string line; !name.empty() && std::getline(lines, line);) {
        const auto second = line.rfind(':');
        const auto first = line.rfind(':', second - 1);
        if (line.substr(0, first) == name) {
            const auto offset = std::stoull(line.substr(first + 1, second - first - 1), nullptr, 16);
            return {offset, offset + std::stoull(line.substr(second + 1), nullptr, 16)};
        }
    }
    EXPECT_TRUE(name.empty()) << "no area " << name;
    return {0, 0};
}

// Where the eMMC changed outside [range.first, range.second), as text.
std::string changed_outside(const std::string& before, const std::string& after,
                            std::pair<std::size_t, std::size_t> range)
{
    if (before.size() != after.size() || before.size() < range.second)
        return "the eMMC's size changed";
    const std::string_view was(before), now(after);
    if (was.substr(0, range.first) != now.substr(0, range.first))
        return "the eMMC changed before the area";
    if (was.substr(range.second) != now.substr(range.second))
        return "the eMMC changed after the area";
    return {};
}

ProcessResult run_redirected(const VirtualReader& reader, const Use& use, const std::string& redirection)
{
    // The shell redirects and starts the launcher, which the program
    // replaces; a run that hangs is killed and shows as a signal.
    Strings command{"timeout", "-s", "KILL", "30", "/bin/sh", "-c", "exec \"$@\" " + redirection, "sh"};
    for (const std::string& word : testing_support::emulator_prefix())
        command.push_back(word);
    for (const std::string& word : {std::string(VREADER_EXECUTABLE), std::string("run"), reader.path()})
        command.push_back(word);
    command.insert(command.end(), use.command.begin(), use.command.end());
    return testing_support::run_process(command, {{"VREADER_EMULATOR", READER_TEST_EMULATOR}}, use.input);
}

class ClosedStdio : public ::testing::TestWithParam<Use> {};

TEST_P(ClosedStdio, NoDeviceTakesAClosedStandardDescriptor)
{
    const Use& use = GetParam();
    for (int closed = 0; closed <= 2; ++closed) {
        SCOPED_TRACE("descriptor " + std::to_string(closed) + " closed");
        const VirtualReader reader({"--emmc-size", "16M"});
        use.setup(reader);
        const std::string emmc = reader.path() + "/emmc.img";
        const std::string before = testing_support::read_file(emmc);
        reader.clear_journal();

        const char* closing[] = {"0<&-", "1>&-", "2>&-"};
        const ProcessResult result = run_redirected(reader, use, closing[closed]);
        // An exit (255 is -1), not a signal (128 + its number).
        EXPECT_TRUE(result.status < 128 || result.status == 255) << result.status << result.out << result.err;
        for (const JsonLine& line : reader.journal()) {
            const std::string request = line.text("request");
            if (request != "open" && request != "socket")
                continue;
            const long long fd = line.number("result");
            EXPECT_FALSE(fd >= 0 && fd <= 2)
                << request << " " << (line.has("path") ? line.text("path") : "") << " got descriptor " << fd;
        }
        EXPECT_EQ(changed_outside(before, testing_support::read_file(emmc), area_range(reader, use.area)), "");
    }
}

TEST_P(ClosedStdio, AResultThatCannotBePrintedIsAFailure)
{
    const Use& use = GetParam();
    if (use.full_output_status < 0)
        GTEST_SKIP() << "prints no result";
    const VirtualReader reader({"--emmc-size", "16M"});
    use.setup(reader);
    const ProcessResult result = run_redirected(reader, use, ">/dev/full");
    EXPECT_EQ(result.status, use.full_output_status) << result.err;
    EXPECT_NE(result.err, "");
}

std::string row_name(const ::testing::TestParamInfo<Use>& info)
{
    std::string name;
    for (const std::string& word : info.param.command) {
        name += name.empty() ? "" : "_";
        for (const char c : word)
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Programs, ClosedStdio, ::testing::ValuesIn(uses()), row_name);

}  // namespace
