// The Linux device binding: the pass-through record as it reaches SG_IO and
// the kernel's answer as it comes back into the record, with the kernel
// call stood in for by a scripted device.
#include "hostlib/os/host_device.hpp"
#include "hostlib/os/linux_block.hpp"
#include "hostlib/os/linux_handles.hpp"
#include "hostlib/os/linux_kernel.hpp"
#include "hostlib/pass_through.hpp"
#include "tests/support/standard_input.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

using fendrac::PassThroughRecord;

struct ScriptedKernel {
    int calls = 0;
    sg_io_hdr_t seen{};
    std::vector<std::uint8_t> cdb;
    std::vector<std::uint8_t> data_out;
    std::function<int(sg_io_hdr_t&)> answer;
} g_kernel;

}  // namespace

int hostos::kernel::sg_io(int, sg_io_hdr_t& request)
{
    ++g_kernel.calls;
    g_kernel.seen = request;
    g_kernel.cdb.assign(request.cmdp, request.cmdp + request.cmd_len);
    if (request.dxfer_direction == SG_DXFER_TO_DEV) {
        const auto* bytes = static_cast<const std::uint8_t*>(request.dxferp);
        g_kernel.data_out.assign(bytes, bytes + request.dxfer_len);
    }
    return g_kernel.answer ? g_kernel.answer(request) : 0;
}

namespace {

// A command's record after its base initialisation, for one phase.
PassThroughRecord record(bool data_in, std::uint32_t length, std::uint8_t code, std::uint8_t phase)
{
    PassThroughRecord r{};
    r.header.Length = 44;
    r.header.TargetId = 1;
    r.header.CdbLength = 10;
    r.header.SenseInfoLength = 32;
    r.header.DataIn = data_in ? 1 : 0;
    r.header.DataTransferLength = length;
    r.header.TimeOutValue = 10000;
    r.header.DataBufferOffset = 80;
    r.header.SenseInfoOffset = 48;
    r.header.Cdb[0] = 0x20;
    r.header.Cdb[2] = code;
    r.header.Cdb[4] = phase;
    return r;
}

class SgIo : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_kernel = {};
        volume_ = hostos::open_volume_ansi("/dev/null");
        ASSERT_TRUE(hostos::usable(volume_));
    }
    void TearDown() override { hostos::close_volume(volume_); }

    // The library's call: the record as input (data offset plus the
    // phase's length), a 4176-byte copy as output.
    bool exchange(PassThroughRecord& in, PassThroughRecord& out, std::uint32_t& returned,
                  std::uint32_t in_size = 0)
    {
        if (in_size == 0)
            in_size = 80 + in.header.DataTransferLength;
        out = in;
        return hostos::device_io_control(volume_, hostos::kIoctlScsiPassThrough, &in, in_size, &out, sizeof out,
                                         returned);
    }

    hostos::Handle volume_ = nullptr;
};

TEST_F(SgIo, TheProtocolVersionQueryTravelsFieldByField)
{
    PassThroughRecord in = record(true, 8, 1, 1);
    in.header.Cdb[5] = 1;
    g_kernel.answer = [](sg_io_hdr_t& request) {
        std::memcpy(request.dxferp, "01000010", 8);
        request.status = 0;
        request.resid = 0;
        return 0;
    };
    PassThroughRecord out;
    std::uint32_t returned = 0;
    ASSERT_TRUE(exchange(in, out, returned));

    const sg_io_hdr_t& seen = g_kernel.seen;
    EXPECT_EQ(seen.interface_id, 'S');
    EXPECT_EQ(seen.dxfer_direction, SG_DXFER_FROM_DEV);
    EXPECT_EQ(seen.cmd_len, 10);
    EXPECT_EQ(g_kernel.cdb, (std::vector<std::uint8_t>{0x20, 0, 1, 0, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(seen.mx_sb_len, 32);
    EXPECT_EQ(seen.dxfer_len, 8u);
    EXPECT_EQ(seen.timeout, 10000u * 1000u) << "seconds become milliseconds";
    EXPECT_EQ(seen.dxferp, out.data) << "the data lands in the output record";
    EXPECT_EQ(seen.sbp, out.sense);

    EXPECT_EQ(returned, 88u);
    EXPECT_EQ(out.header.ScsiStatus, 0);
    EXPECT_EQ(out.header.DataTransferLength, 8u);
    EXPECT_EQ(std::memcmp(out.data, "01000010", 8), 0);
}

TEST_F(SgIo, TheEnvironmentMayOnlyShortenTheTimeOut)
{
    const struct {
        const char* value;  // of FENDRAC_SCSI_TIMEOUT; null: unset
        unsigned milliseconds;
    } cases[] = {{nullptr, 10000000}, {"20", 20000},      {"10000", 10000000}, {"10001", 10000000},
                 {"0", 10000000},     {"-5", 10000000},   {"20s", 10000000},   {"", 10000000},
                 {" 20", 10000000},   {"4294967316", 10000000}};
    for (const auto& c : cases) {
        if (c.value != nullptr)
            ::setenv("FENDRAC_SCSI_TIMEOUT", c.value, 1);
        PassThroughRecord in = record(true, 8, 1, 1), out;
        std::uint32_t returned = 0;
        ASSERT_TRUE(exchange(in, out, returned));
        EXPECT_EQ(g_kernel.seen.timeout, c.milliseconds) << (c.value != nullptr ? c.value : "unset");
        ::unsetenv("FENDRAC_SCSI_TIMEOUT");
    }
}

TEST_F(SgIo, ADataOutPhaseCarriesTheRecordsData)
{
    PassThroughRecord in = record(false, 268, 129, 1);
    for (std::uint32_t i = 0; i < 268; ++i)
        in.data[i] = static_cast<std::uint8_t>(i * 7);
    PassThroughRecord out;
    std::uint32_t returned = 0;
    ASSERT_TRUE(exchange(in, out, returned));
    EXPECT_EQ(g_kernel.seen.dxfer_direction, SG_DXFER_TO_DEV);
    EXPECT_EQ(g_kernel.seen.dxfer_len, 268u);
    EXPECT_EQ(g_kernel.data_out, std::vector<std::uint8_t>(in.data, in.data + 268));
    EXPECT_EQ(out.header.DataTransferLength, 268u);
    EXPECT_NE(returned, 0u) << "a data-out phase that went through returns a count";
}

TEST_F(SgIo, TheKernelsAnswerComesBackIntoTheRecord)
{
    const struct {
        const char* why;
        unsigned char status;
        int resid;
        unsigned short host, driver;
        unsigned char sense;
        bool ok;
        std::uint32_t length, returned;
        const char* said;  // on standard error, with $FENDRAC_DEBUG
    } cases[] = {
        {"whole", 0, 0, 0, 0, 0, true, 64, 144, ""},
        {"short by the residual count", 0, 3, 0, 0, 0, true, 61, 141, "resid 3 of 64, sense 0/00/00"},
        {"a residual count past the length moves nothing", 0, 100, 0, 0, 0, true, 0, 80,
         "resid 100 of 64, sense 0/00/00"},
        {"a negative residual count moves everything", 0, -5, 0, 0, 0, true, 64, 144, "resid -5 of 64, sense 0/00/00"},
        {"CHECK CONDITION with sense data", 2, 64, 0, 0x08, 18, true, 0, 80,
         "SG_IO: status 2 host 0 driver 8 resid 64 of 64, sense 2/7c/7d\n"},
        {"the adapter failed", 0, 0, 0x01, 0, 0, false, 0, 0, "status 0 host 1 driver 0 resid 0"},
        {"the kernel driver timed out", 0, 0, 0, 0x06, 0, false, 0, 0, "driver 6"},
    };
    // The library reads it once, at its first message.
    ::setenv("FENDRAC_DEBUG", "1", 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        g_kernel.answer = [&c](sg_io_hdr_t& request) {
            request.status = c.status;
            request.resid = c.resid;
            request.host_status = c.host;
            request.driver_status = c.driver;
            request.sb_len_wr = c.sense;
            for (unsigned i = 0; i < c.sense; ++i)
                request.sbp[i] = static_cast<unsigned char>(0x70 + i);
            return 0;
        };
        PassThroughRecord in = record(true, 64, 160, 3);
        PassThroughRecord out;
        std::uint32_t returned = 0;
        errno = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(exchange(in, out, returned), c.ok);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.empty(), *c.said == '\0') << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(returned, c.returned);
        if (!c.ok) {
            EXPECT_EQ(errno, EIO);
            continue;
        }
        EXPECT_EQ(out.header.ScsiStatus, c.status);
        EXPECT_EQ(out.header.DataTransferLength, c.length);
        EXPECT_EQ(out.header.SenseInfoLength, c.sense) << "the sense bytes that came back";
        EXPECT_EQ(out.sense[0], c.sense != 0 ? 0x70 : 0);
    }
}

TEST_F(SgIo, RecordsThatDoNotFitNeverReachTheKernel)
{
    const struct {
        const char* why;
        std::function<void(PassThroughRecord&)> change;
        std::uint32_t in_size;
    } cases[] = {
        {"shorter than its header", [](PassThroughRecord&) {}, 40},
        {"a wrong length field", [](PassThroughRecord& r) { r.header.Length = 40; }, 0},
        {"no command block", [](PassThroughRecord& r) { r.header.CdbLength = 0; }, 0},
        {"a command block past its field", [](PassThroughRecord& r) { r.header.CdbLength = 17; }, 0},
        {"data out past the input", [](PassThroughRecord& r) { r.header.DataIn = 0; }, 80 + 10},
        {"data in past the output", [](PassThroughRecord& r) { r.header.DataTransferLength = 4097; }, 0},
        {"sense past the output", [](PassThroughRecord& r) { r.header.SenseInfoOffset = 4170; }, 0},
        {"data of no direction", [](PassThroughRecord& r) { r.header.DataIn = 2; }, 0},
        {"an unknown direction", [](PassThroughRecord& r) { r.header.DataIn = 7; }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        PassThroughRecord in = record(true, 64, 160, 3);
        c.change(in);
        PassThroughRecord out;
        std::uint32_t returned = 99;
        errno = 0;
        EXPECT_FALSE(exchange(in, out, returned, c.in_size != 0 ? c.in_size : 80 + 64));
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(returned, 0u);
    }
    EXPECT_EQ(g_kernel.calls, 0);

    // No direction and no data does fit: a command without data.
    PassThroughRecord none = record(true, 0, 160, 3);
    none.header.DataIn = 2;
    PassThroughRecord out;
    std::uint32_t returned = 0;
    EXPECT_TRUE(exchange(none, out, returned, 80));
    EXPECT_EQ(g_kernel.seen.dxfer_direction, SG_DXFER_NONE);
}

TEST_F(SgIo, OtherRequestsAndHandlesFailCleanly)
{
    PassThroughRecord in = record(true, 8, 1, 1);
    PassThroughRecord out = in;
    std::uint32_t returned = 0;
    errno = 0;
    EXPECT_FALSE(hostos::device_io_control(volume_, 0x00070000, &in, 88, &out, sizeof out, returned));
    EXPECT_EQ(errno, ENOTTY);
    for (const hostos::Handle handle : {hostos::Handle{}, hostos::invalid_handle()}) {
        errno = 0;
        EXPECT_FALSE(hostos::device_io_control(handle, hostos::kIoctlScsiPassThrough, &in, 88, &out, sizeof out,
                                               returned));
        EXPECT_EQ(errno, EBADF);
    }
    g_kernel.answer = [](sg_io_hdr_t&) {
        errno = EACCES;
        return -1;
    };
    EXPECT_FALSE(exchange(in, out, returned));
    EXPECT_EQ(errno, EACCES);
    EXPECT_FALSE(hostos::usable(hostos::open_volume(L"/nonexistent/sdz")));
    EXPECT_FALSE(hostos::usable(hostos::broker_open(L"/dev/sdb", 1)));
}

// The node is opened for every command SG_IO carries, without waiting for
// a medium, and kept from programs the application starts. An application
// whose standard input is closed gets descriptor 0 for it.
TEST(LinuxDevice, TheNodesDescriptorAndItsFlagsEvenAsDescriptorZero)
{
    testing_support::StandardInputAside input;
    ASSERT_TRUE(input.held());
    ::close(0);
    const hostos::Handle volume = hostos::open_volume_ansi("/dev/null");
    const int fd = hostos::linux_handles::fd_of(volume);
    EXPECT_EQ(fd, 0);
    EXPECT_TRUE(hostos::usable(volume));
    EXPECT_EQ(::fcntl(fd, F_GETFL) & (O_ACCMODE | O_NONBLOCK), O_RDWR | O_NONBLOCK);
    EXPECT_EQ(::fcntl(fd, F_GETFD), FD_CLOEXEC);
    std::uint32_t returned = 0;
    errno = 0;
    EXPECT_FALSE(hostos::device_io_control(volume, 0x00070000, nullptr, 0, nullptr, 0, returned));
    EXPECT_EQ(errno, ENOTTY) << "a request the node does not know, not a bad descriptor";
    hostos::close_volume(volume);
    EXPECT_EQ(::fcntl(0, F_GETFD), -1) << "closed with the volume";
    input.restore();
}

TEST(LinuxBlock, TheScsiDisksInTheKernelsOrder)
{
    char pattern[] = "/tmp/fendrac-block-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path dir = pattern;
    for (const char* name : {"sdb", "loop0", "sdaa", "nvme0n1", "sda", "sr0", "sda1", "sd", "dm-0"})
        std::filesystem::create_directory(dir / name);
    EXPECT_EQ(hostos::linux_block::scsi_disk_nodes(dir, "/dev"),
              (std::vector<std::string>{"/dev/sda", "/dev/sdb", "/dev/sdaa"}));
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(hostos::linux_block::scsi_disk_nodes(dir, "/dev").empty()) << "no directory: no disks";
}

}  // namespace
