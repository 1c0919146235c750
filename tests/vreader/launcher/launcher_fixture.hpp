// The vreader launcher's tests' fixture: the launcher run as a user runs it,
// on a reader in a temporary directory.
#pragma once

#include "tests/support/process.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace launcher_test {

using testing_support::ProcessResult;

class LauncherTest : public ::testing::Test {
protected:
    ProcessResult vreader(const std::vector<std::string>& arguments,
                          std::map<std::string, std::string> environment = {}, const std::string& input = {}) const
    {
        std::vector<std::string> command = testing_support::emulator_prefix();
        command.push_back(VREADER_EXECUTABLE);
        command.insert(command.end(), arguments.begin(), arguments.end());
        environment.emplace("VREADER_EMULATOR", READER_TEST_EMULATOR);
        return testing_support::run_process(command, environment, input);
    }

    // A reader created through the launcher.
    std::string reader(const std::vector<std::string>& options = {}) const
    {
        std::vector<std::string> arguments{"init", reader_};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const ProcessResult result = vreader(arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        return reader_;
    }

    testing_support::TempDir dir_;
    std::string reader_ = dir_.file("reader");
};

}  // namespace launcher_test
