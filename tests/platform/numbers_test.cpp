// Numbers read as the reader's 32-bit C library reads them, in every build.
#include "platform/numbers.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

TEST(ReaderNumbers, AtoiSaturatesAtTheInt32Range)
{
    const struct {
        const char* text;
        std::int32_t value;
    } cases[] = {
        {"0", 0},
        {"  \t42xyz", 42},
        {"+7", 7},
        {"-15", -15},
        {"word", 0},
        {"", 0},
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"3000000000", INT32_MAX},
        {"99999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"-2147483649", INT32_MIN},
        {"- 5", 0},
        {"0x10", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sys::atoi(c.text), c.value) << '"' << c.text << '"';
}

TEST(ReaderNumbers, StrtoulReadsBasesPrefixesAndLimitsAsA32BitLibrary)
{
    const struct {
        const char* text;
        int base;
        std::uint32_t value;
        std::size_t used;  // characters consumed
        bool range_error;
    } cases[] = {
        {"0x1F:rest", 0, 0x1F, 4, false},
        {"0X1f", 16, 0x1F, 4, false},
        {"1F", 16, 0x1F, 2, false},
        {"0xAz", 0, 0xA, 3, false},
        {"zZ", 36, 1295, 2, false},
        {"017", 0, 15, 3, false},
        {"19", 0, 19, 2, false},
        {" 12 ", 10, 12, 3, false},
        {"0x", 16, 0, 1, false},
        {"0xg", 0, 0, 1, false},
        {"zz", 16, 0, 0, false},
        {"", 0, 0, 0, false},
        {"-1", 10, 0xFFFFFFFF, 2, false},
        {"-0x10", 0, 0xFFFFFFF0, 5, false},
        {"0xFFFFFFFF", 0, 0xFFFFFFFF, 10, false},
        {"0x100000000", 0, 0xFFFFFFFF, 11, true},
        {"0x0000000000100000", 16, 0x100000, 18, false},
        {"4294967296", 10, 0xFFFFFFFF, 10, true},
        {"-4294967296", 10, 0xFFFFFFFF, 11, true},
    };
    for (const auto& c : cases) {
        const char* end = nullptr;
        errno = 0;
        EXPECT_EQ(sys::strtoul(c.text, &end, c.base), c.value) << '"' << c.text << '"';
        EXPECT_EQ(static_cast<std::size_t>(end - c.text), c.used) << '"' << c.text << '"';
        EXPECT_EQ(errno == ERANGE, c.range_error) << '"' << c.text << '"';
    }
}

TEST(ReaderNumbers, StrtolSaturatesAtTheInt32Range)
{
    const struct {
        const char* text;
        int base;
        std::int32_t value;
        bool range_error;
    } cases[] = {{"7fffffff", 16, INT32_MAX, false}, {"80000000", 16, INT32_MAX, true},
                 {"ffffffff", 16, INT32_MAX, true},  {"-80000000", 16, INT32_MIN, false},
                 {"-80000001", 16, INT32_MIN, true}, {"0x1000", 16, 0x1000, false},
                 {"73ff", 16, 0x73FF, false},        {"28", 10, 28, false},
                 {"-3", 10, -3, false}};
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(sys::strtol(c.text, nullptr, c.base), c.value) << c.text;
        EXPECT_EQ(errno == ERANGE, c.range_error) << c.text;
    }
}

// Where `long` is 32 bits, as on the reader, the C library itself is the
// reference: each reader must give its value, its end and its range error.
TEST(ReaderNumbers, MatchTheCLibraryWhereLongIs32Bits)
{
    if (sizeof(long) != 4)
        GTEST_SKIP() << "the C library here has a 64-bit long";
    const struct {
        const char* text;
        int base;
    } cases[] = {
        {"2147483647", 10},  {"2147483648", 10}, {"-2147483648", 10},   {"-2147483649", 10}, {"4294967295", 10},
        {"4294967296", 0},   {"0xffffffff", 0},  {"-0x80000000", 0},    {"-0xffffffff", 0},  {"0x", 16},
        {"0xg", 0},          {"  +017", 0},      {"-1", 16},            {"zz", 36},          {"\v\f12", 10},
        {"7ffff000", 16},    {"100000000", 16},  {"99999999999999999999", 10}, {"", 10},     {"-", 10},
        {"0x7fffffff0", 16}, {"08", 0},          {"1e3", 10},           {"+-1", 10},         {"ZZZZZZZ", 36},
    };
    for (const auto& c : cases) {
        char* expected_end = nullptr;
        const char* end = nullptr;
        errno = 0;
        const long expected_long = std::strtol(c.text, &expected_end, c.base);
        const bool expected_range = errno == ERANGE;
        errno = 0;
        EXPECT_EQ(sys::strtol(c.text, &end, c.base), expected_long) << '"' << c.text << '"';
        EXPECT_EQ(end, expected_end) << '"' << c.text << '"';
        EXPECT_EQ(errno == ERANGE, expected_range) << '"' << c.text << '"';

        errno = 0;
        const unsigned long expected_unsigned = std::strtoul(c.text, &expected_end, c.base);
        const bool expected_unsigned_range = errno == ERANGE;
        errno = 0;
        EXPECT_EQ(sys::strtoul(c.text, &end, c.base), expected_unsigned) << '"' << c.text << '"';
        EXPECT_EQ(end, expected_end) << '"' << c.text << '"';
        EXPECT_EQ(errno == ERANGE, expected_unsigned_range) << '"' << c.text << '"';

        if (c.base == 10) {
            EXPECT_EQ(sys::atoi(c.text), std::atoi(c.text)) << '"' << c.text << '"';
        }
    }
}

}  // namespace
