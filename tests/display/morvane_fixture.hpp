// The fixture of morvane's tests: morvane run as a process against a virtual
// reader, and what its driver saw.
#pragma once

#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvane_test {

using namespace testing_support;

constexpr int kWhite = 0;
constexpr int kBlack = 15;

class Morvane : public ::testing::Test {
protected:
    ProcessResult morvane(const std::vector<std::string>& arguments) const { return reader_.run("morvane", arguments); }

    JsonLine only_update() const
    {
        const auto updates = reader_.requests("MXCFB_SEND_UPDATE");
        EXPECT_EQ(updates.size(), 1u);
        return updates.empty() ? JsonLine("{}") : updates.back();
    }

    static void expect_region(const JsonLine& update, long long left, long long top, long long width, long long height)
    {
        EXPECT_EQ(update.number("update_region.left"), left);
        EXPECT_EQ(update.number("update_region.top"), top);
        EXPECT_EQ(update.number("update_region.width"), width);
        EXPECT_EQ(update.number("update_region.height"), height);
    }

    // Opens of a device node that succeeded.
    size_t opened() const
    {
        size_t count = 0;
        for (const JsonLine& open : reader_.requests("open"))
            count += open.number("result") >= 0;
        return count;
    }

    std::string write_image(const std::string& name, const std::string& bytes) const
    {
        const std::string path = reader_.temp_file(name);
        write_file(path, bytes);
        return path;
    }

    VirtualReader reader_;
};

}  // namespace morvane_test
