// An open description of the touch-panel UART, /dev/ttymxc1, with the
// touch-panel controller on its other end. The controller takes a request
// only when the host has asserted its driven line since the last one (the
// request pulse, or a line left asserted), and answers it from
// touch_panel.conf. Replies wait in the receive queue, one piece a read.
#pragma once

#include "vreader/model/core/received_pieces.hpp"
#include "vreader/model/core/session.hpp"
#include "vreader/model/core/tty_file.hpp"
#include "vreader/model/core/watched_file.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_content.hpp"

#include <memory>
#include <optional>
#include <vector>

namespace vreader {

inline constexpr std::string_view kUartDevice = "ttymxc1";
inline constexpr unsigned kUartMajor = 207;
inline constexpr unsigned kUartMinor = 17;

class TouchPanelNode final : public TtyFile {
public:
    // Journals the open; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    std::int64_t ioctl(unsigned long request, void* arg) override;
    short poll_ready(short requested) const override;
    // A read with nothing queued waits, unless a fault is there to fail it.
    bool read_would_block() override;

private:
    TouchPanelNode(ReaderContext& context, const Node& node, int access, bool nonblocking)
        : TtyFile(context, node, access), nonblocking_(nonblocking)
    {
    }

    std::int64_t modem_request(std::string_view name, unsigned long number, int* bits);
    // Hands whole requests to the controller and queues its answers; with
    // no content (touch_panel.conf unreadable) they go unanswered.
    void take_requests(DeviceRequest& write, TouchPanelContent* content, bool& changed);
    // touch_panel.conf, read again only when it changed.
    const TouchPanelContent* content();
    std::uint64_t now_us() const { return context_.clock_ns / 1000; }

    bool nonblocking_;  // opened with O_NONBLOCK: a read with nothing queued fails with EAGAIN
    ReceivedPieces received_;
    std::vector<std::uint8_t> pending_;  // request bytes not yet a whole request
    bool driven_ = true;                 // the host's RTS: an open raises it
    bool pulsed_ = true;                 // asserted since the last request
    std::uint64_t rise_us_ = 0;
    std::uint64_t last_pulse_us_ = 0;
    std::optional<int> last_reported_bits_;  // TIOCMGET is journaled when it changes
    WatchedFile content_file_{context_.dir.file(kTouchPanelFile)};
    std::optional<TouchPanelContent> content_;
};

}  // namespace vreader
