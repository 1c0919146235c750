// The past-log driver as the past-log tool drives it: the unlock handshake
// on /dev/melgrin, then /dev/log_past one whole entry per read.
#include "tests/support/json_line.hpp"
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/devices/past_log/past_log.hpp"
#include "vreader/model/devices/past_log/past_log_generate.hpp"

#include <set>

namespace vreader_test {
namespace {

constexpr unsigned long kFlush = 1, kChallenge = 3, kComplement = 4, kConfirm = 5;
constexpr std::uint32_t kKey = 0x5A17C3E9;
constexpr std::size_t kReadSize = 4608;

class PastLogTest : public ReaderTest {
protected:
    int control()
    {
        const int fd = sys::open("/dev/melgrin", O_RDWR);
        EXPECT_GE(fd, 0) << std::strerror(errno);
        return fd;
    }

    // One handshake step; `wrong` hands back a value off by one. Returns 0
    // or the errno.
    int step(int fd, unsigned long request, bool wrong = false)
    {
        std::uint32_t value = request == kComplement ? ~challenge_ : ~challenge_ ^ kKey;
        if (wrong)
            ++value;
        const int result = sys::ioctl(fd, request, &value);
        if (request == kChallenge && result == 0)
            challenge_ = value;
        return result == 0 ? 0 : errno;
    }

    void unlock()
    {
        const int fd = control();
        for (const unsigned long request : {kChallenge, kComplement, kConfirm})
            ASSERT_EQ(step(fd, request), 0) << request;
        sys::close(fd);
    }

    // 0 when the log node opens (and is closed again), else the errno.
    int log_open_error()
    {
        const int fd = sys::open("/dev/log_past", O_RDONLY);
        if (fd < 0)
            return errno;
        sys::close(fd);
        return 0;
    }

    std::vector<std::string> read_entries(int fd, std::size_t size = kReadSize)
    {
        std::vector<std::string> entries;
        std::vector<char> buf(size);
        for (ssize_t n; (n = sys::read(fd, buf.data(), size)) > 0;)
            entries.emplace_back(buf.data(), static_cast<std::size_t>(n));
        return entries;
    }

    void write_log(const std::string& dump) { testing_support::write_file(path_ + "/past_log.bin", dump); }
    void write_faults(const std::string& text) { testing_support::write_file(path_ + "/faults", text); }

    std::uint32_t challenge_ = 0;
};

TEST_F(PastLogTest, TheHandshakeUnlocksTheLogForTheRestOfTheRunOnly)
{
    EXPECT_EQ(log_open_error(), EACCES);
    const int fd = control();
    ASSERT_EQ(step(fd, kChallenge), 0);
    const std::uint32_t first = challenge_;
    ASSERT_EQ(step(fd, kChallenge), 0);
    EXPECT_NE(challenge_, first);
    EXPECT_EQ(step(fd, kComplement), 0);
    EXPECT_EQ(log_open_error(), EACCES);
    EXPECT_EQ(step(fd, kConfirm), 0);
    EXPECT_EQ(log_open_error(), 0);

    EXPECT_EQ(sys::ioctl(fd, 2, &challenge_), -1);
    EXPECT_EQ(errno, ENOTTY);
    EXPECT_EQ(sys::ioctl(fd, kChallenge, nullptr), -1);
    EXPECT_EQ(errno, EFAULT);
    sys::close(fd);

    const auto confirm = requests("PASTLOG_CONFIRM");
    ASSERT_EQ(confirm.size(), 1u);
    EXPECT_EQ(confirm[0].text("unlocked"), "true");
    EXPECT_EQ(requests("PASTLOG_CHALLENGE")[1].number("challenge"), static_cast<long long>(challenge_));

    next_run();
    EXPECT_EQ(log_open_error(), EACCES);
}

TEST_F(PastLogTest, AFailedStepStartsTheHandshakeOverAndLeavesTheLogLocked)
{
    struct Step {
        unsigned long request;
        bool wrong = false;
    };
    struct Case {
        const char* name;
        const char* fault;  // faults file line
        std::vector<Step> steps;
        int error;          // of the last step; the others succeed
    };
    const Case cases[] = {
        {"wrong complement", "", {{kChallenge}, {kComplement, true}}, EPERM},
        {"wrong XOR", "", {{kChallenge}, {kComplement}, {kConfirm, true}}, EPERM},
        {"complement first", "", {{kComplement}}, EINVAL},
        {"confirm too early", "", {{kChallenge}, {kConfirm}}, EINVAL},
        {"challenge fault", "PASTLOG_CHALLENGE EIO 1", {{kChallenge}}, EIO},
        {"complement fault", "melgrin:PASTLOG_COMPLEMENT EBUSY 1", {{kChallenge}, {kComplement}}, EBUSY},
        {"confirm fault", "PASTLOG_CONFIRM EIO 1", {{kChallenge}, {kComplement}, {kConfirm}}, EIO},
        {"complement rejected", "PASTLOG_COMPLEMENT reject 1", {{kChallenge}, {kComplement}}, EPERM},
        {"confirm rejected", "PASTLOG_CONFIRM reject 1", {{kChallenge}, {kComplement}, {kConfirm}}, EPERM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        next_run();
        write_faults(c.fault);
        const int fd = control();
        for (std::size_t i = 0; i < c.steps.size(); ++i)
            EXPECT_EQ(step(fd, c.steps[i].request, c.steps[i].wrong), i + 1 == c.steps.size() ? c.error : 0) << i;
        EXPECT_EQ(step(fd, kComplement), EINVAL) << "the handshake was not reset";
        sys::close(fd);
        EXPECT_EQ(log_open_error(), EACCES);
        unlock();
        EXPECT_EQ(log_open_error(), 0);
    }
}

TEST_F(PastLogTest, EachReadIsOneWholeEntryFromTheFirstOfEachOpen)
{
    unlock();
    const std::string dump = testing_support::read_file(path_ + "/past_log.bin");
    int fd = sys::open("/dev/log_past", O_RDONLY);
    const std::vector<std::string> entries = read_entries(fd);
    ASSERT_EQ(entries.size(), 300u);
    std::string joined;
    for (const std::string& entry : entries) {
        EXPECT_EQ(entry.size(), vreader::past_log::kHeaderSize + (static_cast<std::uint8_t>(entry[0]) |
                                                                   static_cast<std::uint8_t>(entry[1]) << 8));
        joined += entry;
    }
    EXPECT_EQ(joined, dump);
    char buf[kReadSize];
    EXPECT_EQ(sys::read(fd, buf, sizeof buf), 0) << "the end stays the end";
    sys::close(fd);

    // A buffer one byte short of the entry is refused, and the entry waits.
    fd = sys::open("/dev/log_past", O_RDONLY);
    EXPECT_EQ(sys::read(fd, buf, entries[0].size() - 1), -1);
    EXPECT_EQ(errno, EINVAL);
    ASSERT_EQ(sys::read(fd, buf, entries[0].size()), static_cast<ssize_t>(entries[0].size()));
    EXPECT_EQ(std::string(buf, entries[0].size()), entries[0]);
    sys::close(fd);
    const auto reads = requests("read");
    EXPECT_EQ(reads[0].number("entry"), 1);
    EXPECT_EQ(reads[0].number("size"), static_cast<long long>(entries[0].size()));
}

TEST_F(PastLogTest, EntriesPastTheToolsReadLimit)
{
    for (const std::size_t size : {std::size_t{4608}, std::size_t{4609}}) {
        next_run();
        write_log(vreader::past_log::generate_log({.count = 3, .long_entry = 2, .long_size = size}));
        unlock();
        const int fd = sys::open("/dev/log_past", O_RDONLY);
        const auto entries = read_entries(fd);
        ASSERT_EQ(entries.size(), size <= kReadSize ? 3u : 1u) << size;
        if (size > kReadSize)
            EXPECT_EQ(errno, EINVAL);
        else
            EXPECT_EQ(entries[1].size(), size);
        sys::close(fd);
    }
}

TEST_F(PastLogTest, AReadFaultInTheMiddleLosesNoEntry)
{
    unlock();
    write_faults("log_past:read EIO 1 after 50\n");
    const int fd = sys::open("/dev/log_past", O_RDONLY);
    char buf[kReadSize];
    for (int i = 0; i < 50; ++i)
        ASSERT_GT(sys::read(fd, buf, sizeof buf), 0) << i;
    EXPECT_EQ(sys::read(fd, buf, sizeof buf), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(read_entries(fd).size(), 250u);
    sys::close(fd);
}

TEST_F(PastLogTest, FlushesAreCountedAcrossRunsUnlessFaulted)
{
    const auto flushes = [&] {
        vreader::past_log::Counters counters;
        EXPECT_EQ(vreader::past_log::load_counters(path_, counters), 0);
        return counters.flushes;
    };
    int fd = control();
    EXPECT_EQ(sys::ioctl(fd, kFlush, nullptr), 0);
    sys::close(fd);
    next_run();
    write_faults("PASTLOG_FLUSH EIO 1\n");
    fd = control();
    EXPECT_EQ(sys::ioctl(fd, kFlush, nullptr), -1);
    EXPECT_EQ(sys::ioctl(fd, kFlush, nullptr), 0);
    sys::close(fd);
    EXPECT_EQ(flushes(), 2u);
    EXPECT_EQ(log_open_error(), EACCES) << "a flush unlocks nothing";
}

// What the tool's tests lean on: the generated log is fixed and holds the
// cases a log reader trips on.
TEST_F(PastLogTest, TheGeneratedLogIsFixedAndHoldsTheAwkwardCases)
{
    const std::string dump = vreader::past_log::generate_log({});
    EXPECT_EQ(testing_support::read_file(path_ + "/past_log.bin"), dump);
    std::vector<std::string_view> entries;
    ASSERT_EQ(vreader::past_log::split(dump, entries), dump.size());
    ASSERT_EQ(entries.size(), vreader::past_log::kDefaultEntries);
    std::set<int> priorities, nanoseconds;
    std::set<std::string> endings;
    std::int64_t last = 0;
    for (const std::string_view entry : entries) {
        const auto field = [&](std::size_t at) {
            std::int32_t value;
            std::memcpy(&value, entry.data() + at, 4);
            return value;
        };
        const std::int64_t time = std::int64_t{field(12)} * 1'000'000'000 + field(16);
        EXPECT_GE(time, last);
        last = time;
        nanoseconds.insert(field(16));
        priorities.insert(static_cast<std::uint8_t>(entry[20]));
        const std::string_view tag = entry.substr(21);
        const std::string_view message = tag.substr(tag.find('\0') + 1);
        ASSERT_EQ(message.back(), '\0');
        const std::string_view text = message.substr(0, message.size() - 1);
        endings.insert(text.empty() ? "empty" : text.ends_with("\n\n") ? "two" : text.ends_with('\n') ? "one" : "none");
    }
    EXPECT_EQ(priorities, (std::set<int>{0, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(endings, (std::set<std::string>{"empty", "none", "one", "two"}));
    for (const int special : {0, 999'999'999, 1'000'000})
        EXPECT_TRUE(nanoseconds.count(special)) << special;
}

}  // namespace
}  // namespace vreader_test
