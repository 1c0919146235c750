// The tool's own parsing and output: clock times, numbers, options, the
// JSON text, the reader's refusals and the PC's files.
#include "hosttool/access_hint.hpp"
#include "hosttool/arguments.hpp"
#include "hosttool/clock_record.hpp"
#include "hosttool/json_text.hpp"
#include "hosttool/local_files.hpp"
#include "hosttool/reader_answers.hpp"
#include "tests/support/child_exit.hpp"
#include "tests/support/standard_input.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <vector>

namespace {

TEST(ToolClock, DatesAndTheirWeekdays)
{
    struct Case {
        const char* text;
        int weekday;  // -1: refused
    } cases[] = {
        {"1970-01-01T00:00:00", 4}, {"2000-02-29T23:59:59", 2}, {"2024-02-29T10:00:00", 4},
        {"2026-12-08T08:00:00", 2}, {"2100-03-01T00:00:00", 1}, {"2100-02-29T00:00:00", -1},
        {"2026-02-29T00:00:00", -1}, {"2026-04-31T00:00:00", -1}, {"2026-13-01T00:00:00", -1},
        {"2026-12-08T24:00:00", -1}, {"2026-12-08 08:00:00", -1}, {"2026-12-8T08:00:00", -1},
        {"1969-12-31T23:59:59", -1}, {"2026-12-08T08:00:0x", -1}, {"", -1},
        // Each separator and each field: a wrong character, a value one past.
        {"2026/12-08T08:00:00", -1}, {"2026-12/08T08:00:00", -1}, {"2026-12-08T08-00:00", -1},
        {"2026-12-08T08:00-00", -1}, {"20:6-12-08T08:00:00", -1}, {"2026-1:-08T08:00:00", -1},
        {"2026-12-/8T08:00:00", -1}, {"2026-12-08T0:T00:00", -1}, {"2026-12-08T08:/0:00", -1},
        {"2026-00-08T08:00:00", -1}, {"2026-12-00T08:00:00", -1}, {"2026-12-32T08:00:00", -1},
        {"2026-12-08T08:60:00", -1}, {"2026-12-08T08:00:60", -1}, {"2026-12-31T23:59:59", 4},
        {"2400-03-01T00:00:00", 3},  // the first day of a 400-year era
    };
    for (const Case& c : cases) {
        const auto time = tool::parse_clock(c.text);
        ASSERT_EQ(time.has_value(), c.weekday >= 0) << c.text;
        if (time) {
            EXPECT_EQ(tool::weekday(*time), c.weekday) << c.text;
            EXPECT_EQ(tool::clock_text(*time), c.text);
        }
    }
    // Each month's last days, against the C library's calendar: a day past
    // the month's end moves mktime into the next month.
    for (const int year : {2024, 2026})
        for (int month = 1; month <= 12; ++month)
            for (int day = 28; day <= 32; ++day) {
                std::tm calendar{};
                calendar.tm_year = year - 1900;
                calendar.tm_mon = month - 1;
                calendar.tm_mday = day;
                calendar.tm_hour = 12;
                calendar.tm_isdst = -1;
                std::mktime(&calendar);
                char text[64];
                std::snprintf(text, sizeof text, "%04d-%02d-%02dT12:00:00", year, month, day);
                EXPECT_EQ(tool::parse_clock(text).has_value(), calendar.tm_mon == month - 1) << text;
            }
    // The PC's clock as the C library reads it, taken on both sides of a
    // second that may turn.
    const auto library_now = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
        return std::string(text);
    };
    const std::string before = library_now();
    const std::string ours = tool::clock_text(tool::local_now());
    EXPECT_TRUE(ours == before || ours == library_now()) << ours;

    const auto record = tool::clock_record(*tool::parse_clock("2024-02-29T10:00:00"));
    const unsigned char expected[28] = {0xE8, 7, 0, 0, 2, 0, 0, 0, 29, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4};
    EXPECT_TRUE(std::equal(record.begin(), record.end(), expected));
}

TEST(ToolArguments, NumbersAndOptions)
{
    unsigned u = 0;
    int i = 0;
    EXPECT_TRUE(tool::parse_u32("0xFFFFFFFF", u) && u == 0xFFFFFFFFu);
    EXPECT_TRUE(tool::parse_u32("0xabcdef", u) && u == 0xABCDEFu);
    EXPECT_TRUE(tool::parse_u32("0x00000000000000ff", u) && u == 0xFFu) << "sixteen digits";
    EXPECT_TRUE(tool::parse_i32("-2147483648", i) && i == INT32_MIN);
    for (const char* bad : {"", "0x", "4294967296", "-1", "12a", "0x1g", "99999999999999999999"})
        EXPECT_FALSE(tool::parse_u32(bad, u)) << bad;
    EXPECT_FALSE(tool::parse_i32("2147483648", i));

    std::vector<const char*> line = {"fendrac", "-d", "E:", "file", "get", "--json", "/a", "-", "--", "--lock"};
    auto parsed = tool::parse_arguments(static_cast<int>(line.size()), const_cast<char**>(line.data()));
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.device, "E:");
    EXPECT_TRUE(parsed.json);
    EXPECT_FALSE(parsed.lock) << "after --, a word";
    EXPECT_EQ(parsed.words, (std::vector<std::string>{"file", "get", "/a", "-", "--lock"}));

    for (std::vector<const char*> bad : {std::vector<const char*>{"fendrac", "--device"},
                                         {"fendrac", "--json=1", "info"},
                                         {"fendrac", "-x"}}) {
        parsed = tool::parse_arguments(static_cast<int>(bad.size()), const_cast<char**>(bad.data()));
        EXPECT_NE(parsed.error, "") << bad.back();
    }
    line = {"fendrac", "update", "mode", "-1", "--tag=x"};
    parsed = tool::parse_arguments(static_cast<int>(line.size()), const_cast<char**>(line.data()));
    EXPECT_EQ(parsed.words.back(), "-1");
    EXPECT_TRUE(parsed.has_tag && parsed.tag == "x");
}

TEST(ToolJson, TextIsEscapedAndAlwaysValidUtf8)
{
    struct Case {
        std::string in, out;
    } cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"\n\r\t\x01\x7f", "\"\\n\\r\\t\\u0001\\u007f\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
        {"\xff\xc3", "\"\\ufffd\\ufffd\""},
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // a surrogate
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},              // overlong
        {std::string("a\0b", 3), "\"a\\u0000b\""},
        {"\xe2\x82\xac \xf0\x9f\x98\x80", "\"\xe2\x82\xac \xf0\x9f\x98\x80\""},  // three and four bytes
        {"\xc2\xa9 \xe0\xa4\x85", "\"\xc2\xa9 \xe0\xa4\x85\""},  // the lowest leads of two and three bytes
        {"\xe0\x9f\xbf", "\"\\ufffd\\ufffd\\ufffd\""},                    // overlong
        {"\xf0\x8f\xbf\xbf", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},        // overlong
        {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},        // past U+10FFFF
        {"\xe2(\xa1", "\"\\ufffd(\\ufffd\""},                                // no continuation
        {"\xf0\x9f\x98", "\"\\ufffd\\ufffd\\ufffd\""},                    // cut short
        {"\xc1\xbf\xf5\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},        // never a lead
    };
    for (const Case& c : cases)
        EXPECT_EQ(tool::json_string(c.in), c.out) << c.in;
    tool::JsonObject object;
    object.add("n", -201).add("u", 4294967295u).add_bool("ok", true).add_json("list", "[]");
    EXPECT_EQ(object.text(), "{\"n\":-201,\"u\":4294967295,\"ok\":true,\"list\":[]}");
}

TEST(ToolReaderAnswers, APartitionSizeRefusalIsThreeEqualNegativeWords)
{
    struct Case {
        unsigned words[3];
        std::optional<int> refusal;  // none: a partition's words
    } cases[] = {
        {{0xFFFFFF29u, 0xFFFFFF29u, 0xFFFFFF29u}, -215},
        {{0xFFFFFF2Cu, 0xFFFFFF2Cu, 0xFFFFFF2Cu}, -212},
        {{0xFFFFFFFFu, 0xFFFFFFFFu, 9600}, std::nullopt},
        {{0x7FFFFFFFu, 0x7FFFFFFFu, 0x7FFFFFFFu}, std::nullopt},
        {{0, 0, 0}, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(tool::partition_size_refusal(c.words), c.refusal) << c.words[0];
}

std::string content(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(ToolLocalFiles, AFileTakesItsPlaceOnlyWhenWhole)
{
    const auto dir = std::filesystem::path(testing::TempDir()) / "tool_local_files";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "copy.bin").string();
    std::ofstream(path) << "old";
    const unsigned char bytes[] = {'n', 'e', 'w'};
    std::string error;
    {
        tool::LocalSink abandoned;
        ASSERT_TRUE(abandoned.open(path, error) && abandoned.write(bytes, error)) << error;
        // Beside it while it is written: a name of twelve random hexadecimal digits.
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "copy.bin" || std::regex_match(name, std::regex(R"(copy\.bin\.fendrac-[0-9a-f]{12})")))
                << name;
        }
    }
    EXPECT_EQ(content(path), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1) << "the partial file stayed";
    tool::LocalSink whole;
    ASSERT_TRUE(whole.open(path, error) && whole.write(bytes, error) && whole.commit(error)) << error;
    EXPECT_EQ(content(path), "new");
    EXPECT_FALSE(tool::LocalSink().open((dir / "none" / "x").string(), error));
    EXPECT_EQ(error, "No such file or directory");

    tool::LocalSource source;
    ASSERT_TRUE(source.open(path, error));
    EXPECT_EQ(source.size().value_or(-1), 3);

    // Standard input from a file read partway: what remains of it.
    testing_support::StandardInputAside input;
    const int file = ::open(path.c_str(), O_RDONLY);
    ASSERT_TRUE(input.held() && file >= 0 && ::lseek(file, 1, SEEK_SET) == 1);
    ::dup2(file, 0);
    ::close(file);
    tool::LocalSource rest;
    const bool opened = rest.open("-", error);
    const auto remaining = rest.size();
    input.restore();
    EXPECT_TRUE(opened);
    EXPECT_EQ(remaining.value_or(-1), 2);

    // A new file has the mode any new file has; a device is written in place.
    const std::string made = (dir / "made.bin").string();
    tool::LocalSink fresh;
    ASSERT_TRUE(fresh.open(made, error) && fresh.write(bytes, error) && fresh.commit(error)) << error;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    struct stat st {};
    ASSERT_EQ(::stat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask);
    tool::LocalSink device;
    EXPECT_TRUE(device.open("/dev/null", error) && device.write(bytes, error) && device.commit(error)) << error;
}

// What is in `dir`, by name, and which names are links.
std::vector<std::string> listing(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string() + (entry.is_symlink() ? "@" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ToolLocalFiles, APartialFileIsNewAndOfItsOwnWhateverIsPlantedBesideIt)
{
    const auto dir = std::filesystem::path(testing::TempDir()) / "tool_partial_files";
    struct Case {
        const char* planted;  // a link made beside LOCAL before the copy, to victim.txt
        bool local_exists;    // LOCAL is a plain file of mode 0640 before the copy
    } cases[] = {
        {nullptr, false},
        {nullptr, true},
        {"out.bin.fendrac-part", false},
        {"out.bin.fendrac-part", true},
    };
    const unsigned char bytes[] = {'n', 'e', 'w'};
    for (const Case& c : cases) {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        const std::string local = (dir / "out.bin").string();
        std::ofstream(dir / "victim.txt") << "victim";
        std::vector<std::string> expected = {"out.bin", "victim.txt"};
        if (c.planted) {
            std::filesystem::create_symlink("victim.txt", dir / c.planted);
            expected.push_back(std::string(c.planted) + "@");
        }
        if (c.local_exists) {
            std::ofstream(local) << "old";
            ::chmod(local.c_str(), 0640);
        }
        std::sort(expected.begin(), expected.end());
        std::string error;
        tool::LocalSink sink;
        ASSERT_TRUE(sink.open(local, error) && sink.write(bytes, error) && sink.commit(error)) << error;
        const std::string what = std::string(c.planted ? c.planted : "nothing") + (c.local_exists ? ", old" : "");
        EXPECT_EQ(content(dir / "victim.txt"), "victim") << what;
        EXPECT_EQ(content(local), "new") << what;
        EXPECT_EQ(listing(dir), expected) << what;
        if (c.local_exists) {
            struct stat status{};
            ::stat(local.c_str(), &status);
            EXPECT_EQ(status.st_mode & 07777, 0640u) << what;
        }
    }

    // A link to nothing at LOCAL is written through to nothing.
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink("victim.txt", dir / "out.bin");
    std::string refused;
    EXPECT_FALSE(tool::LocalSink().open((dir / "out.bin").string(), refused));
    EXPECT_EQ(refused, "No such file or directory");
    EXPECT_EQ(listing(dir), std::vector<std::string>{"out.bin@"});

    // Two copies to one file at once: each whole in its own partial file,
    // the one that ends last in place, nothing left beside it.
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string local = (dir / "out.bin").string();
    const unsigned char other[] = {'o', 't', 'h', 'e', 'r'};
    std::string error;
    tool::LocalSink first, second;
    ASSERT_TRUE(first.open(local, error) && second.open(local, error)) << error;
    ASSERT_TRUE(first.write(bytes, error) && second.write(other, error) && first.write(bytes, error)) << error;
    ASSERT_TRUE(first.commit(error)) << error;
    EXPECT_EQ(content(local), "newnew");
    ASSERT_TRUE(second.commit(error)) << error;
    EXPECT_EQ(content(local), "other");
    EXPECT_EQ(listing(dir), std::vector<std::string>{"out.bin"});
}

TEST(ToolLocalFiles, ASmallFileOutsideItsLimitIsRefusedInOneForm)
{
    const auto dir = std::filesystem::path(testing::TempDir()) / "tool_small_files";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const tool::SizeLimit extra{128, true, "an extra block"};
    const tool::SizeLimit response{100, false, "a response"};
    const tool::SizeLimit large{200000, false, "a response"};
    struct Case {
        std::size_t size;
        bool piped;  // read through a pipe, its size unknown beforehand
        const tool::SizeLimit& limit;
        const char* refusal;  // after the name; empty: read whole
    } cases[] = {
        {128, false, extra, ""},
        {128, true, extra, ""},
        {129, false, extra, " has 129 bytes; an extra block has exactly 128"},
        {100000, false, extra, " has 100000 bytes; an extra block has exactly 128"},
        {127, false, extra, " has 127 bytes; an extra block has exactly 128"},
        {0, false, extra, " has 0 bytes; an extra block has exactly 128"},
        {129, true, extra, " has more than 128 bytes; an extra block has exactly 128"},
        {100000, true, extra, " has more than 128 bytes; an extra block has exactly 128"},
        {127, true, extra, " has 127 bytes; an extra block has exactly 128"},
        {100, false, response, ""},
        {0, true, response, ""},
        {101, false, response, " has 101 bytes; a response has at most 100"},
        {101, true, response, " has more than 100 bytes; a response has at most 100"},
        {100000, false, large, ""},  // more than one piece
    };
    for (const Case& c : cases) {
        std::string path = (dir / "block.bin").string();
        const std::string bytes(c.size, 'x');
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        int pipe_ends[2] = {-1, -1};
        if (c.piped) {
            ASSERT_EQ(::pipe(pipe_ends), 0);
            // A pipe holds 64 KiB; the reader stops after the limit anyway.
            const std::size_t fits = std::min<std::size_t>(c.size, 65536);
            ASSERT_EQ(::write(pipe_ends[1], bytes.data(), fits), static_cast<ssize_t>(fits));
            ::close(pipe_ends[1]);
            path = "/dev/fd/" + std::to_string(pipe_ends[0]);
        }
        std::vector<unsigned char> read;
        std::string message;
        const bool whole = tool::read_whole(path, c.limit, read, message);
        EXPECT_EQ(whole ? "" : message, *c.refusal ? path + c.refusal : "") << c.size << (c.piped ? " piped" : "");
        if (whole) {
            EXPECT_EQ(read.size(), c.size);
        }
        if (c.piped)
            ::close(pipe_ends[0]);
    }
}

// A disk's block node passes the reader's commands only with CAP_SYS_RAWIO:
// a process without it gets the hint; a missing node, or a process that has
// it, gets none.
TEST(ToolAccessHint, ABlockNodeWithoutRawIoNamesTheCapability)
{
    const auto dir = std::filesystem::path(testing::TempDir()) / "tool_access_hint";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string disk = (dir / "sdz").string();
    if (::geteuid() != 0 || ::mknod(disk.c_str(), S_IFBLK | 0666, makedev(7, 0)) != 0)
        GTEST_SKIP() << "making a block node needs root";
    EXPECT_EQ(tool::access_hint(disk), "");
    EXPECT_EQ(tool::access_hint((dir / "missing").string()), "");
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        // Root without CAP_SYS_RAWIO alone: what the hint is about.
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        const bool dropped = ::syscall(SYS_capget, &header, data) == 0 &&
                             (data[0].effective &= ~(1u << CAP_SYS_RAWIO), ::syscall(SYS_capset, &header, data) == 0);
        const std::string hint = dropped ? tool::access_hint(disk) : "capset failed";
        testing_support::end_child(::write(ends[1], hint.data(), hint.size()) == static_cast<ssize_t>(hint.size()) ? 0 : 1);
    }
    ::close(ends[1]);
    std::string hint;
    char buffer[256];
    for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;)
        hint.append(buffer, static_cast<std::size_t>(got));
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(hint, ": the kernel passes the reader's commands through a disk node only with CAP_SYS_RAWIO (run as root)");
}

}  // namespace
