// An open description of the touch-panel UART, /dev/ttymxc1, with the
// touch-panel controller on its other end. The port keeps its line settings
// between opens; the controller takes a request only when the host has
// asserted its driven line since the last one (the request pulse), and
// answers it from touch_panel.conf. Replies wait in the receive queue, one
// piece a read.
#pragma once

#include "vreader/model/device_file.hpp"
#include "vreader/model/reader_context.hpp"
#include "vreader/model/touch_panel_content.hpp"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vreader {

inline constexpr std::string_view kUartDevice = "ttymxc1";
inline constexpr unsigned kUartMajor = 207;
inline constexpr unsigned kUartMinor = 17;

class UartFile final : public DeviceFile {
public:
    // Journals the open; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    const std::string& path() const override { return path_; }
    void fill_stat(struct stat& st) const override;

    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    std::int64_t ioctl(unsigned long request, void* arg) override;
    std::int64_t tcgetattr(struct termios& t) override;
    std::int64_t tcsetattr(int optional_actions, const struct termios& t) override;
    short poll_ready(short requested) const override;
    std::int64_t close() override;

private:
    UartFile(ReaderContext& context, std::string path, int access) : context_(context), path_(std::move(path)), access_(access) {}

    std::int64_t modem_request(std::string_view name, unsigned long request, int* bits);
    // Hands whole requests to the controller and queues its answers.
    void take_requests(Session& session, bool& content_changed, TouchPanelContent& content);
    std::uint64_t now_us() const { return context_.clock_ns / 1000; }

    ReaderContext& context_;
    std::string path_;
    int access_;
    std::deque<std::vector<std::uint8_t>> received_;  // pieces, one a read
    std::vector<std::uint8_t> pending_;               // request bytes not yet a whole request
    bool driven_ = true;                              // the host's RTS: an open raises it
    bool pulsed_ = true;                              // asserted since the last request
    std::uint64_t rise_us_ = 0;
    std::uint64_t last_pulse_us_ = 0;
    std::optional<int> last_reported_bits_;  // TIOCMGET is journaled when it changes
};

}  // namespace vreader
