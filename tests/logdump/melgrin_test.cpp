// melgrin run as a process on the virtual reader: its words, dump files in
// and out, the text lines, and the retries.
#include "tests/support/virtual_reader.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

using namespace testing_support;

namespace {

struct Entry {
    unsigned priority;
    std::string tag;
    std::string message;
    std::int32_t nanoseconds = 5000000;
    std::int32_t seconds = 1700000000;  // 2023-11-14 22:13:20 UTC
};

void put16(std::string& out, unsigned value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}
void put32(std::string& out, std::int32_t value)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF);
}

// Entries back to back as the driver hands them out; `length` overrides the
// payload length field when not negative.
std::string dump(const std::vector<Entry>& entries, int length = -1)
{
    std::string out;
    for (const Entry& e : entries) {
        const std::string payload = std::string(1, static_cast<char>(e.priority)) + e.tag + '\0' + e.message + '\0';
        put16(out, length >= 0 ? static_cast<unsigned>(length) : static_cast<unsigned>(payload.size()));
        put16(out, 0);
        put32(out, 321);
        put32(out, 322);
        put32(out, e.seconds);
        put32(out, e.nanoseconds);
        out += payload;
    }
    return out;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class Melgrin : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("TZ", "UTC", 1); }

    ProcessResult melgrin(const std::vector<std::string>& words) const { return reader_.run("melgrin", words); }
    std::string file(const std::string& name, const std::string& bytes) const
    {
        const std::string path = reader_.temp_file(name);
        write_file(path, bytes);
        return path;
    }
    std::size_t pauses() const { return reader_.requests("nanosleep").size(); }

    VirtualReader reader_{{"--emmc-size", "16M"}};
};

const std::vector<Entry> kLog = {
    {4, "init", "starting\n", 999999999},    // one trailing line feed dropped
    {9, "vold", "two\n\n", 1000000},         // of two, one kept
    {6, "kernel", ""},
    {0, "", "no tag"},
    {2, "V", "v"}, {3, "D", "d"}, {5, "W", "w"}, {7, "F", "f"}, {8, "S", "s"},
};
const std::string kLines = "2023-11-14 22:13:20.999 I init (321:322) starting\n"
                           "2023-11-14 22:13:20.001 ? vold (321:322) two\n\n"
                           "2023-11-14 22:13:20.005 E kernel (321:322) \n"
                           "2023-11-14 22:13:20.005 ?  (321:322) no tag\n"
                           "2023-11-14 22:13:20.005 V V (321:322) v\n"
                           "2023-11-14 22:13:20.005 D D (321:322) d\n"
                           "2023-11-14 22:13:20.005 W W (321:322) w\n"
                           "2023-11-14 22:13:20.005 F F (321:322) f\n"
                           "2023-11-14 22:13:20.005 S S (321:322) s\n";

TEST_F(Melgrin, WordsUsageAndUsageErrors)
{
    ProcessResult result = melgrin({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "melgrin [options]\n"
                          "\n"
                          "  When you do not appoint an option, execute a out of the log.\n"
                          "\n"
                          "  [options]\n"
                          "    [flush | out | bin]\n"
                          "      flush     : Write in all the log on the memory.\n"
                          "      out       : Output all the old text log.\n"
                          "      bin       : Output all the old binary log (logger entry format).\n"
                          "                  Appoint a -o option.\n"
                          "\n"
                          "    [-o -i]\n"
                          "      -o <file> : Output file.\n"
                          "      -i <file> : Input file (binary log fomrat).\n");
    EXPECT_EQ(melgrin({"-h"}).err, result.err);

    const struct {
        std::vector<std::string> words;
        std::string err;
    } wrong[] = {
        {{"dump"}, "unknown option : 'dump'\n"},
        {{"ou"}, "unknown option : 'ou'\n"},
        {{"out", "-o"}, "-o option error\n"},
        {{"-i"}, "-i option error\n"},
        {{"bin"}, "When you appoint a bin option, appoint the -o option.\n"},
        {{"bin", "-i", "x"}, "When you appoint a bin option, appoint the -o option.\n"},
    };
    for (const auto& c : wrong) {
        result = melgrin(c.words);
        EXPECT_EQ(result.status, 1) << c.err;
        EXPECT_EQ(result.err, c.err);
    }
    EXPECT_EQ(pauses(), 0u) << "usage errors are not retried";
}

TEST_F(Melgrin, ADumpFileAsText)
{
    const std::string log = file("log.bin", dump(kLog));
    ProcessResult result = melgrin({"-i", log});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, kLines);
    EXPECT_EQ(melgrin({"output", "-i", log}).out, kLines) << "words are prefix-matched";
    EXPECT_EQ(melgrin({"bin", "out", "-i", log}).out, kLines) << "the last of out and bin wins";
    EXPECT_EQ(pauses(), 0u);
    EXPECT_EQ(reader_.requests("sync").size(), 9u);
}

TEST_F(Melgrin, BrokenDumpsAreRetriedAndFail)
{
    const struct {
        const char* why;
        std::string bytes;
        std::string out;  // once per attempt
    } cases[] = {
        {"one byte into the next header", dump(kLog) + "\x05", kLines},
        {"a length past the read limit", dump({{4, "t", "m"}}, 4600), ""},
        {"cut inside an entry", dump(kLog).substr(0, dump(kLog).size() - 3),
         kLines.substr(0, kLines.rfind("2023"))},
    };
    for (const auto& c : cases) {
        reader_.clear_journal();
        const std::string log = file("broken.bin", c.bytes);
        const ProcessResult result = melgrin({"-i", log});
        EXPECT_EQ(result.status, 1) << c.why;
        EXPECT_EQ(result.out, c.out + c.out + c.out) << c.why;
        EXPECT_EQ(result.err, "cannot read : " + log + "\ncannot read : " + log + "\ncannot read : " + log + "\n")
            << c.why;
        EXPECT_EQ(pauses(), 3u) << c.why;
    }

    // A dump that cannot be opened: each attempt still ends with the clean-up.
    reader_.clear_journal();
    const std::string missing = reader_.temp_file("missing.bin");
    const ProcessResult result = melgrin({"-i", missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "cannot open : " + missing + "\ncannot open : " + missing + "\ncannot open : " + missing + "\n");
    EXPECT_EQ(reader_.requests("sync").size(), 9u);
}

TEST_F(Melgrin, TheLongestEntryTheReadLimitTakes)
{
    // A payload of 4588 bytes: with its header, 2 bytes under the limit.
    const std::string message(4584, 'm');
    const ProcessResult result = melgrin({"-i", file("longest.bin", dump({{4, "t", message}}))});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "2023-11-14 22:13:20.005 I t (321:322) " + message + "\n");
}

TEST_F(Melgrin, EntriesShorterThanTheirStrings)
{
    // Payloads cut before the strings' terminators: what is there is shown,
    // and nothing past the payload is read.
    std::string bytes;
    const std::string full = std::string("\x04tag\0message\0", 13);
    for (const std::size_t length : {1u, 3u, 6u}) {
        put16(bytes, static_cast<unsigned>(length));
        put16(bytes, 0);
        put32(bytes, 321);
        put32(bytes, 322);
        put32(bytes, 1700000000);
        put32(bytes, 5000000);
        bytes += full.substr(0, length);
    }
    const ProcessResult result = melgrin({"-i", file("short.bin", bytes)});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "2023-11-14 22:13:20.005 I  (321:322) \n"
                          "2023-11-14 22:13:20.005 I ta (321:322) \n"
                          "2023-11-14 22:13:20.005 I tag (321:322) m\n");
}

TEST_F(Melgrin, BinaryOutputAndItsSize)
{
    // A dump file is written again by each attempt; under 4096 bytes it
    // counts as failed.
    const std::string small = file("small.bin", dump(kLog));
    const std::string out = reader_.temp_file("out.bin");
    ProcessResult result = melgrin({"bin", "-o", out, "-i", small});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(pauses(), 3u);
    EXPECT_EQ(read_file(out), dump(kLog));
    struct stat made {};
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ASSERT_EQ(::stat(out.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0664 & ~mask) << "a new dump: 0664 less the umask";

    std::vector<Entry> many(60, Entry{4, "tag", std::string(80, 'x')});
    const std::string big = file("big.bin", dump(many));
    reader_.clear_journal();
    result = melgrin({"binary", "-o", out, "-i", big});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(pauses(), 0u);
    EXPECT_EQ(read_file(out), dump(many));

    const std::string text = reader_.temp_file("out.txt");
    EXPECT_EQ(melgrin({"-o", text, "-i", big}).status, 0);
    EXPECT_EQ(read_file(text), melgrin({"-i", out}).out);

    // Exactly 4096 bytes is enough.
    const std::string exact = dump({{4, "t", std::string(4072, 'x')}});
    ASSERT_EQ(exact.size(), 4096u);
    EXPECT_EQ(melgrin({"bin", "-o", out, "-i", file("exact.bin", exact)}).status, 0);
}

TEST_F(Melgrin, OutputThatCannotBeWrittenIsAFailedAttempt)
{
    const std::string big = file("big.bin", dump(std::vector<Entry>(60, Entry{4, "tag", std::string(80, 'x')})));
    const std::string out = reader_.temp_file("out.txt");
    const struct {
        const char* why;
        std::string setup;
        std::vector<std::string> words;
        std::string message;
    } cases[] = {
        {"standard output on a full device", "exec >/dev/full", {"-i", big}, "cannot write : stdout\n"},
        // 4096 bytes is as large as a file may grow: the file system is full.
        {"a text file on a full file system", "trap '' XFSZ && ulimit -f 8", {"-i", big, "-o", out},
         "cannot write : " + out + "\n"},
    };
    // A close that fails loses what it had yet to write: a node whose close
    // the reader fails stands in for a full network or quota-bound disk.
    reader_.fail("ttyGS0:close", "EIO", "always");
    const ProcessResult closed = reader_.run("melgrin", {"bin", "-o", "/dev/ttyGS0", "-i", big});
    EXPECT_EQ(closed.status, 1);
    EXPECT_EQ(closed.err, "cannot write : /dev/ttyGS0\ncannot write : /dev/ttyGS0\ncannot write : /dev/ttyGS0\n");
    for (const auto& c : cases) {
        // qemu-user forwards the file-size signal to the program as it
        // came, its host's ignoring of it notwithstanding.
        if (c.setup.find("ulimit -f") != std::string::npos && !emulator_prefix().empty())
            continue;
#ifdef READER_COVERAGE_BUILD
        // A program built for coverage writes its counters at exit, under
        // the same limit: they would be cut short and spoil later runs'.
        if (c.setup.find("ulimit -f") != std::string::npos)
            continue;
#endif
        reader_.clear_journal();
        const ProcessResult result = reader_.run_after(c.setup, "melgrin", c.words);
        EXPECT_EQ(result.status, 1) << c.why;
        EXPECT_EQ(result.err, c.message + c.message + c.message) << c.why;
        EXPECT_EQ(pauses(), 3u) << c.why;
    }
}

TEST_F(Melgrin, ADumpIsNeverItsOwnOutput)
{
    const std::string bytes = dump(std::vector<Entry>(60, Entry{4, "tag", std::string(80, 'x')}));
    const std::string input = file("log.bin", bytes);
    const std::string link = reader_.temp_file("link.bin");
    ASSERT_EQ(::symlink(input.c_str(), link.c_str()), 0);
    const struct {
        std::vector<std::string> words;
        std::string output;
    } cases[] = {{{"-i", input, "-o", input}, input}, {{"bin", "-o", link, "-i", input}, link}};
    for (const auto& c : cases) {
        const ProcessResult result = melgrin(c.words);
        EXPECT_EQ(result.status, 1) << c.output;
        EXPECT_EQ(result.err, "input and output are the same file : " + c.output + "\n");
        EXPECT_EQ(read_file(input), bytes) << c.output;
    }
}

}  // namespace
