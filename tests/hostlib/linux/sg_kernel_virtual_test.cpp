// The virtual reader's SG_IO as the Linux kernel answers it, with a scripted
// reader behind it: a HARDWARE ERROR is sent again unseen, as the USB
// storage driver has the SCSI layer do, and an open node whose device has
// gone fails with ENODEV.
#include "hostlib/os/linux_kernel.hpp"
#include "vreader/model/usb/usb_storage.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Answers each exchange with the next sense key of its script (0: GOOD),
// the last one for ever; has no volume when `gone`.
class ScriptedReader final : public vreader::UsbStorage {
public:
    std::vector<std::uint8_t> keys{0};
    bool gone = false;
    int exchanges = 0;

    std::optional<int> volume(char) override { return gone ? std::nullopt : std::optional<int>(0); }
    vreader::ScsiReply exchange(int, const vreader::ScsiRequest& request) override
    {
        const std::uint8_t key = keys[std::min<std::size_t>(exchanges++, keys.size() - 1)];
        vreader::ScsiReply reply;
        reply.transfer_length = request.transfer_length;
        if (key != 0) {
            reply.status = 2;
            reply.sense[0] = 0x70;
            reply.sense[2] = key;
            reply.transfer_length = 0;
        }
        return reply;
    }
} g_reader;

}  // namespace

// What the virtual SG_IO takes from the virtual library's reader link.
namespace hostos::virtual_reader {
std::mutex& lock();
vreader::UsbStorage* storage();

std::mutex& lock()
{
    static std::mutex held;
    return held;
}
vreader::UsbStorage* storage() { return &g_reader; }
}  // namespace hostos::virtual_reader

namespace {

int exchange(sg_io_hdr_t& request)
{
    char node[] = "/tmp/sg-kernel-XXXXXX";
    const int fd = ::mkstemp(node);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "E", 1), 1);
    unsigned char cdb[10] = {0x20, 0, 0x82, 0, 3};
    static unsigned char data[16], sense[32];
    request = {};
    request.interface_id = 'S';
    request.dxfer_direction = SG_DXFER_TO_DEV;
    request.cmd_len = sizeof cdb;
    request.cmdp = cdb;
    request.dxfer_len = sizeof data;
    request.dxferp = data;
    request.mx_sb_len = sizeof sense;
    request.sbp = sense;
    const int result = hostos::kernel::sg_io(fd, request);
    const int error = errno;
    ::close(fd);
    ::unlink(node);
    errno = error;
    return result;
}

TEST(SgKernelVirtual, AHardwareErrorIsSentAgainUnseenAndOtherErrorsAreNot)
{
    const struct {
        const char* why;
        std::vector<std::uint8_t> keys;
        int exchanges;
        unsigned char status;
    } cases[] = {
        {"good at once", {0}, 1, 0},
        {"a hardware error, then good", {4, 4, 0}, 3, 0},
        {"a medium error is the caller's", {3, 0}, 1, 2},
        {"an aborted command is the caller's", {0x0b, 0}, 1, 2},
        {"a hardware error for ever ends with it", {4}, 17, 2},
    };
    for (const auto& c : cases) {
        g_reader.keys = c.keys;
        g_reader.exchanges = 0;
        sg_io_hdr_t request;
        ASSERT_EQ(exchange(request), 0) << c.why;
        EXPECT_EQ(g_reader.exchanges, c.exchanges) << c.why;
        EXPECT_EQ(request.status, c.status) << c.why;
    }
}

TEST(SgKernelVirtual, ADeviceGoneUnderAnOpenNodeIsNoDevice)
{
    g_reader.gone = true;
    sg_io_hdr_t request;
    EXPECT_EQ(exchange(request), -1);
    EXPECT_EQ(errno, ENODEV);
    g_reader.gone = false;
}

}  // namespace
