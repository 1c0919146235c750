// vreader pastlog and the past log's lines of vreader state, run as a user
// runs them.
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

namespace {

using testing_support::VirtualReader;

// Two entries as the driver serves them: header and payload.
std::string two_entries()
{
    std::string dump;
    for (const char* tag : {"init", "vold"}) {
        const std::string payload = std::string("\x04") + tag + '\0' + "hello\n" + '\0';
        dump += std::string{static_cast<char>(payload.size()), 0, 0, 0};
        dump += std::string(16, '\x01') + payload;
    }
    return dump;
}

TEST(PastLogLauncher, LoadGenerateAndClearShowInState)
{
    const VirtualReader reader;
    EXPECT_EQ(reader.state("past_log_entries"), "300");
    EXPECT_EQ(reader.state("past_log_flushes"), "0");

    struct Case {
        std::vector<std::string> options;
        std::string entries;
    };
    const std::string dump = reader.temp_file("dump.bin");
    testing_support::write_file(dump, two_entries());
    for (const Case& c : {Case{{"--load", dump}, "2"}, Case{{"--generate", "20", "--long", "5:5000"}, "20"},
                          Case{{"--clear"}, "0"}, Case{{"--generate"}, "300"}}) {
        std::vector<std::string> arguments{"pastlog", reader.path()};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const auto result = reader.vreader(arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(reader.state("past_log_entries"), c.entries) << c.options[0];
    }
    EXPECT_EQ(testing_support::read_file(reader.path() + "/past_log.bin").size(),
              std::stoul(reader.state("past_log_bytes")));
}

TEST(PastLogLauncher, ADumpEndingInsideAnEntryIsRefused)
{
    const VirtualReader reader;
    const std::string dump = reader.temp_file("cut.bin");
    testing_support::write_file(dump, two_entries() + "\x10");
    const auto result = reader.vreader({"pastlog", reader.path(), "--load", dump});
    EXPECT_EQ(result.status, 125);
    EXPECT_NE(result.err.find("ends inside entry 3"), std::string::npos) << result.err;
    EXPECT_EQ(reader.state("past_log_entries"), "300");
    EXPECT_EQ(reader.vreader({"pastlog", reader.path(), "--generate", "3", "--long", "4"}).status, 2);
}

}  // namespace
