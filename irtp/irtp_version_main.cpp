// irtp_version: the touch-panel controller's firmware version. The driven
// line is asserted for the request and left asserted; the reply is taken
// from one single read.
#include "irtp/irtp_link.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "platform/standard_output.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr std::uint8_t ir_ver_chk_req = protocol::touch_panel::kVersion;
constexpr std::uint8_t kVersionLen = 9;
constexpr int kAttempts = 3;

unsigned le16(const std::uint8_t* p) { return p[0] | unsigned{p[1]} << 8; }

}  // namespace

namespace {

int run()
{
    const sys::UniqueFd port(sys::open(irtp::IR_DEVICE, O_RDWR | O_SYNC));
    if (!port.valid()) {
        std::printf("NG");
        return 0;
    }
    const int fd = port.get();
    irtp::setline(fd, CS8, B115200);
    irtp::cts_off(fd);
    for (int attempt = 0;;) {
        irtp::cts_on(fd);
        sys::usleep(50);
        const ssize_t sent = sys::write(fd, &ir_ver_chk_req, 1);
        ++attempt;
        if (sent < 0)
            std::printf("send error %d\n", errno);
        sys::usleep(50);
        std::uint8_t reply[irtp::kSetupBuffer] = {};
        // A request that did not go out is a failed attempt: nothing to read.
        const ssize_t got = sent == 1 ? irtp::read_waiting(fd, reply, sizeof reply) : 0;
        if (got < 0) {
            const int error = errno;
            std::printf("NG");
            std::printf("read error(%d)\n", error);
            return 1;
        }
        // The whole reply must be in this one read: a header alone would
        // print the cleared bytes as the version.
        if (got >= kVersionLen + 2 && reply[0] == irtp::kLeadByte && reply[1] == kVersionLen &&
            reply[2] == ir_ver_chk_req) {
            std::printf("Major version : 0x%04X\n", le16(reply + 3));
            std::printf("Minor version : 0x%04X\n", le16(reply + 5));
            std::printf("Build version : 0x%04X\n", le16(reply + 7));
            std::printf("Revision      : 0x%04X\n", le16(reply + 9));
            return 0;
        }
        if (attempt >= kAttempts) {
            std::printf("NG");
            std::printf("retry over:packet %x,%x,%x\n", reply[0], reply[1], reply[2]);
            return 1;
        }
    }
}

}  // namespace

int main() { return sys::with_standard_output(run(), 1); }
