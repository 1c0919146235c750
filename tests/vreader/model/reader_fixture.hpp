// A virtual reader in a temporary directory, driven in-process through the
// platform layer as a program would drive it.
#pragma once

#include "platform/sys.hpp"
#include "tests/support/json_line.hpp"
#include "tests/support/process.hpp"
#include "vreader/binding/process.hpp"
#include "vreader/model/board/create_reader.hpp"
#include "vreader/model/core/reader_dir.hpp"

#include <fcntl.h>
#include <linux/fb.h>
#include <sys/mman.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace vreader_test {

// The display programs' gray table: index 0 lightest, 15 black.
inline constexpr std::uint16_t kGrayTable[16] = {0xF79E, 0xE71C, 0xD69A, 0xC618, 0xB596, 0xA514, 0x9492, 0x8410,
                                                 0x738E, 0x630C, 0x528A, 0x4208, 0x3186, 0x2104, 0x1082, 0x0000};

// times() at a run's start, and that many ticks later.
inline clock_t ticks_after_boot(long ticks)
{
    return static_cast<clock_t>(static_cast<std::int32_t>(vreader::kTicksAtBoot + static_cast<std::uint32_t>(ticks)));
}

inline constexpr unsigned long kGetVar = 0x4600;
inline constexpr unsigned long kPutVar = 0x4601;
inline constexpr unsigned long kGetFix = 0x4602;
inline constexpr unsigned long kPan = 0x4606;
inline constexpr unsigned long kSetTemperature = 0x4004462C;
inline constexpr unsigned long kSendUpdate = 0x4044462E;
inline constexpr unsigned long kSetPwrdownDelay = 0x40044630;
inline constexpr unsigned long kSetUpdateScheme = 0x40044632;
inline constexpr unsigned long kGetPmicTemperature = 0x80044633;
inline constexpr unsigned long kSetVcom = 0x40044637;
inline constexpr unsigned long kGetVcom = 0x80044638;
inline constexpr unsigned long kGetWfVersion = 0x800A4639;
inline constexpr unsigned long kWriteWaveform = 0x4008463A;
inline constexpr unsigned long kWriteStandby = 0x4004463B;
inline constexpr unsigned long kSetPanelInitFlag = 0x4001463C;

// An update record laid out byte by byte: little-endian 32-bit fields.
struct Update {
    std::uint32_t top = 0, left = 0, width = 0, height = 0;
    std::uint32_t waveform_mode = 2, update_mode = 1, update_marker = 1;
    std::int32_t temp = 0x1000;
    std::uint32_t flags = 0;
    std::array<std::uint32_t, 8> alt{};

    std::array<std::uint8_t, 68> bytes() const
    {
        std::array<std::uint8_t, 68> out{};
        std::uint32_t fields[17] = {top,           left,        width,         height,
                                    waveform_mode, update_mode, update_marker, static_cast<std::uint32_t>(temp),
                                    flags};
        for (size_t i = 0; i < alt.size(); ++i)
            fields[9 + i] = alt[i];
        for (size_t i = 0; i < 17; ++i)
            for (size_t b = 0; b < 4; ++b)
                out[4 * i + b] = static_cast<std::uint8_t>(fields[i] >> (8 * b));
        return out;
    }
};

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override { create(vreader::ReaderConfig{}); }

    void TearDown() override
    {
        vreader::restart_virtual_process();
        ::unsetenv("VREADER_DIR");
    }

    // A fresh reader with `config`, and a fresh process on it.
    void create(const vreader::ReaderConfig& config)
    {
        config_ = config;
        path_ = dir_.file("reader");
        std::string error;
        ASSERT_TRUE(vreader::create_reader(path_, config, true, error)) << error;
        ::setenv("VREADER_DIR", path_.c_str(), 1);
        vreader::restart_virtual_process();
    }

    // The program ends and another starts on the same reader.
    void next_run() { vreader::restart_virtual_process(); }

    // The reader's directory, as the launcher opens it.
    vreader::ReaderDir reader() const
    {
        std::string error;
        return *vreader::ReaderDir::open(path_, error);
    }

    int open_fb(int flags = O_RDWR)
    {
        const int fd = sys::open("/dev/fb0", flags);
        EXPECT_GE(fd, 0) << std::strerror(errno);
        return fd;
    }

    fb_var_screeninfo var(int fd)
    {
        fb_var_screeninfo v{};
        EXPECT_EQ(sys::ioctl(fd, kGetVar, &v), 0);
        return v;
    }

    int send(int fd, const Update& update)
    {
        auto bytes = update.bytes();
        return sys::ioctl(fd, kSendUpdate, bytes.data());
    }

    // Sets the screen pixel (x, y) of the page at `yoffset` through read and
    // write on the node, with the stride the controller reports.
    void put_pixel(int fd, std::uint32_t x, std::uint32_t y, std::uint16_t value, std::uint32_t yoffset = 0)
    {
        const fb_var_screeninfo v = var(fd);
        const off_t at = static_cast<off_t>((std::uint64_t{yoffset} + y) * v.xres_virtual + x) * 2;
        const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
        ASSERT_EQ(sys::pwrite(fd, bytes, 2, at), 2);
    }

    // Fills a page of memory, pixel by pixel, from `pixel(x, y)`.
    template <class Pixel>
    void fill_page(int fd, std::uint32_t page, Pixel pixel)
    {
        const fb_var_screeninfo v = var(fd);
        std::vector<std::uint8_t> rows(std::size_t{v.xres_virtual} * v.yres * 2);
        for (std::uint32_t y = 0; y < v.yres; ++y)
            for (std::uint32_t x = 0; x < v.xres; ++x) {
                const std::uint16_t value = pixel(x, y);
                rows[2 * (std::size_t{y} * v.xres_virtual + x)] = static_cast<std::uint8_t>(value);
                rows[2 * (std::size_t{y} * v.xres_virtual + x) + 1] = static_cast<std::uint8_t>(value >> 8);
            }
        const off_t at = static_cast<off_t>(std::uint64_t{page} * v.yres * v.xres_virtual * 2);
        ASSERT_EQ(sys::pwrite(fd, rows.data(), rows.size(), at), static_cast<ssize_t>(rows.size()));
    }

    std::string panel() const { return testing_support::read_file(path_ + "/panel.gray"); }

    // The panel value at native (x, y).
    int panel_at(std::uint32_t x, std::uint32_t y) const
    {
        return static_cast<std::uint8_t>(panel().at(std::size_t{y} * config_.panel_width + x));
    }

    std::vector<std::string> journal() const
    {
        return testing_support::split_lines(testing_support::read_file(path_ + "/journal.jsonl"));
    }

    std::string state() const { return testing_support::read_file(path_ + "/epdc.state"); }

    // The journal's lines of one request.
    std::vector<testing_support::JsonLine> requests(const std::string& name) const
    {
        std::vector<testing_support::JsonLine> found;
        for (const auto& line : testing_support::parse_journal(testing_support::read_file(path_ + "/journal.jsonl")))
            if (line.text("request") == name)
                found.push_back(line);
        return found;
    }

    testing_support::TempDir dir_;
    std::string path_;
    vreader::ReaderConfig config_;
};

}  // namespace vreader_test
