// The WAN modem's AT command port as a provisioning tool drives it: command
// lines written, answers read a byte at a time with a 500 ms poll, on the
// program's virtual clock.
#include "tests/support/json_line.hpp"
#include "tests/vreader/model/reader_fixture.hpp"

#include <sys/sysmacros.h>

namespace vreader_test {
namespace {

constexpr const char* kMeidLine = "0x00A100004A7C2E91\r\n";
constexpr const char* kPsnLine = "^PSN:QK1NB405174\r\n";

class ModemTest : public ReaderTest {
protected:
    // A fresh program on a modem configured with `conf` (modem.conf lines).
    int open_modem(const std::string& conf = {})
    {
        next_run();
        testing_support::write_file(path_ + "/modem.conf", conf);
        const int fd = sys::open("/dev/ttyUSB0", O_RDWR);
        EXPECT_GE(fd, 0) << std::strerror(errno);
        return fd;
    }

    // Whatever comes within 500 ms of the last byte, read `chunk` bytes at
    // a time; `reads` counts the reads that returned bytes.
    std::string receive(int fd, std::size_t chunk = 1, int* reads = nullptr)
    {
        std::string bytes;
        pollfd wait{fd, POLLIN, 0};
        while (sys::poll(&wait, 1, 500) == 1) {
            char buf[64];
            const ssize_t n = sys::read(fd, buf, std::min(chunk, sizeof buf));
            if (n <= 0)
                break;
            bytes.append(buf, static_cast<std::size_t>(n));
            if (reads != nullptr)
                ++*reads;
        }
        return bytes;
    }

    std::string exchange(int fd, const std::string& command)
    {
        const std::string line = command + "\r\n";
        EXPECT_EQ(sys::write(fd, line.data(), line.size()), static_cast<ssize_t>(line.size()));
        return receive(fd);
    }
};

TEST_F(ModemTest, AnswersEachCommandAsConfigured)
{
    const struct {
        const char* conf;
        const char* command;
        std::string answer;
    } cases[] = {
        {"", "AT", "OK\r\n"},
        {"", "AT$QCGSN", std::string(kMeidLine) + "OK\r\n"},
        {"", "at^psn", std::string(kPsnLine) + "OK\r\n"},
        {"", "ATI", "ERROR\r\n"},
        {"meid=a1000012345678\n", "AT$QCGSN", "0x00a1000012345678\r\nOK\r\n"},
        {"meid_answer=no_data\n", "AT$QCGSN", "OK\r\n"},
        {"meid_answer=error\n", "AT$QCGSN", "ERROR\r\n"},
        {"meid_answer=cme_error\n", "AT$QCGSN", "+CME ERROR: 10\r\n"},
        {"meid_answer=okay\n", "AT$QCGSN", std::string(kMeidLine) + "OKAY\r\n"},
        {"meid_answer=silent\n", "AT$QCGSN", ""},
        {"meid_answer=silent\n", "AT^PSN", std::string(kPsnLine) + "OK\r\n"},
        {"psn_answer=no_data\n", "AT^PSN", "OK\r\n"},
        {"psn=00000000000\npsn_answer=okay\n", "AT^PSN", "^PSN:00000000000\r\nOKAY\r\n"},
        {"echo=on\n", "AT", "AT\r\nOK\r\n"},
        {"blank_lines=on\n", "AT$QCGSN", "\r\n" + std::string(kMeidLine) + "\r\nOK\r\n"},
    };
    for (const auto& c : cases) {
        const int fd = open_modem(c.conf);
        EXPECT_EQ(exchange(fd, c.command), c.answer) << c.conf << c.command;
        sys::close(fd);
    }
    const auto commands = requests("modem_command");
    EXPECT_EQ(commands[1].text("text"), "AT$QCGSN");
    EXPECT_EQ(commands[1].text("answer"), "normal");
    EXPECT_EQ(commands[3].text("answer"), "unknown");
    const auto answers = requests("modem_answer");
    EXPECT_EQ(answers[1].text("text"), "0x00A100004A7C2E91");
    EXPECT_EQ(answers[2].text("text"), "OK");
}

TEST_F(ModemTest, HandshakeErrorsSplitCommandsPiecesAndSilence)
{
    // ERROR to the first two handshakes after each open.
    int fd = open_modem("handshake_errors=2\n");
    for (const char* expected : {"ERROR\r\n", "ERROR\r\n", "OK\r\n", "OK\r\n"})
        EXPECT_EQ(exchange(fd, "AT"), expected);
    sys::close(fd);
    fd = open_modem("handshake_errors=2\n");
    EXPECT_EQ(exchange(fd, "AT"), "ERROR\r\n");

    // A command in two writes is answered when its line ends; waiting for
    // an answer that does not come costs virtual time only.
    next_run();
    fd = sys::open("/dev/ttyUSB0", O_RDWR);
    EXPECT_EQ(sys::write(fd, "AT$Q", 4), 4);
    EXPECT_EQ(receive(fd), "");
    EXPECT_EQ(sys::times(nullptr), ticks_after_boot(50));
    EXPECT_EQ(sys::write(fd, "CGSN\r\n", 6), 6);
    int reads = 0;
    EXPECT_EQ(receive(fd, 64, &reads), std::string(kMeidLine) + "OK\r\n");
    EXPECT_EQ(reads, 1);  // a whole answer a read
    char byte = 0;
    EXPECT_EQ(sys::read(fd, &byte, 1), -1);
    EXPECT_EQ(errno, EINTR);
    sys::close(fd);
    // Unless the modem sends lines unasked: the read waits for the next.
    fd = open_modem("unsolicited=+CREG: 1\n");
    char line[64];
    EXPECT_EQ(sys::read(fd, line, sizeof line), 10);
    EXPECT_EQ(std::string(line, 10), "+CREG: 1\r\n");
    EXPECT_EQ(sys::times(nullptr), ticks_after_boot(10));
    sys::close(fd);

    fd = open_modem("delivery=bytes\n");
    reads = 0;
    EXPECT_EQ(sys::write(fd, "AT\r\n", 4), 4);
    EXPECT_EQ(receive(fd, 64, &reads), "OK\r\n");
    EXPECT_EQ(reads, 4);

    testing_support::write_file(path_ + "/faults", "ttyUSB0:reply split:3 1\nttyUSB0:reply silent 1 after 1\n");
    fd = open_modem();
    reads = 0;
    EXPECT_EQ(sys::write(fd, "AT^PSN\r\n", 8), 8);
    EXPECT_EQ(receive(fd, 64, &reads), std::string(kPsnLine) + "OK\r\n");
    EXPECT_EQ(reads, 3);
    EXPECT_EQ(exchange(fd, "AT"), "OK\r\n");
    EXPECT_EQ(exchange(fd, "AT"), "");  // silent
    EXPECT_EQ(requests("modem_command").back().text("faulted"), "true");

    testing_support::write_file(path_ + "/faults", "ttyUSB0:read EIO 1\n");
    EXPECT_EQ(sys::write(fd, "AT\r\n", 4), 4);
    EXPECT_EQ(sys::read(fd, &byte, 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(receive(fd), "OK\r\n");
    EXPECT_EQ(requests("read")[requests("read").size() - 5].text("injected"), "true");
    sys::close(fd);
}

TEST_F(ModemTest, TheNodeExistsOnlyOnAReaderWithAModem)
{
    struct stat st {};
    ASSERT_EQ(sys::stat("/dev/ttyUSB0", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(major(st.st_rdev), 188u);
    termios settings{};
    const int fd = sys::open("/dev/ttyUSB0", O_RDWR | O_NONBLOCK);
    EXPECT_EQ(sys::tcgetattr(fd, &settings), 0);
    char byte = 0;
    EXPECT_EQ(sys::read(fd, &byte, 1), -1);
    EXPECT_EQ(errno, EAGAIN);
    sys::close(fd);

    vreader::ReaderConfig config;
    config.modem = false;
    create(config);
    EXPECT_EQ(sys::open("/dev/ttyUSB0", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(sys::stat("/dev/ttyUSB0", &st), -1);
}

}  // namespace
}  // namespace vreader_test
