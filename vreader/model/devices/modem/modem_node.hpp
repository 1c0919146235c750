// An open description of the WAN modem's AT command port, /dev/ttyUSB0
// (character device 188:0), present when reader.conf says the reader has a
// modem.
//
// Bytes written are command text: a carriage return or a line feed ends a
// command line (empty lines are ignored), so a command may arrive in
// several writes and is answered when its line ends. With echo on, the
// bytes of each write come back at once. Answers (wan_modem) wait in the
// receive queue; a read takes at most one piece of it (the echo of a write
// or a whole answer), or one byte with delivery=bytes; poll sees the queue
// as input. With nothing queued nothing will come: a read fails with EINTR
// (EAGAIN when the port was opened non-blocking), and a poll with a timeout
// is a sleep on the program's virtual clock. Answers still queued at close
// are dropped. Line settings are kept like the other serial ports'.
#pragma once

#include "vreader/model/core/received_pieces.hpp"
#include "vreader/model/core/tty_file.hpp"
#include "vreader/model/core/watched_file.hpp"
#include "vreader/model/devices/modem/modem_content.hpp"

#include <memory>
#include <optional>

namespace vreader {

inline constexpr std::string_view kModemDevice = "ttyUSB0";
inline constexpr std::string_view kModemPath = "/dev/ttyUSB0";
inline constexpr unsigned kModemMajor = 188;
inline constexpr unsigned kModemMinor = 0;

class ModemNode final : public TtyFile {
public:
    // Journals the open; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    short poll_ready(short requested) const override;
    bool read_would_block() override;
    std::int64_t unasked_input_after() override;
    void unasked_input_arrives() override;

private:
    ModemNode(ReaderContext& context, const Node& node, int access, bool nonblocking)
        : TtyFile(context, node, access), nonblocking_(nonblocking)
    {
    }

    // Answers one command line and queues the answer.
    void command(DeviceRequest& write, const std::string& line);
    void queue(const std::string& bytes, std::size_t pieces);
    // modem.conf, read again only when it changed; nullptr when unreadable.
    const ModemContent* content();

    bool nonblocking_;
    ReceivedPieces received_;
    std::string line_;              // the command line being written
    std::uint32_t handshakes_ = 0;  // "AT" commands since the open
    WatchedFile content_file_{context_.dir.file(kModemFile)};
    std::optional<ModemContent> content_;
};

}  // namespace vreader
