// An open description of the USB gadget serial port, /dev/ttyGS0. The PC at
// the other end of the USB cable is a real pseudo-terminal: opening the port
// makes one and publishes the path of its PC end in ttyGS0.pc in the
// reader's directory (and in `vreader state`), where a person or a test
// opens it as the PC would open its COM port, for as long as the program
// holds the port: a watcher removes the file when the program is gone, a
// signal having ended it included. Bytes pass unchanged both ways. The port
// holds the PC end open itself, so the PC closing it is no hang-up, as on
// the gadget; the PC end starts raw.
#pragma once

#include "vreader/model/core/holder_watch.hpp"
#include "vreader/model/core/tty_file.hpp"

#include <memory>
#include <string>

namespace vreader {

inline constexpr std::string_view kGadgetDevice = "ttyGS0";
inline constexpr std::string_view kGadgetPcFile = "ttyGS0.pc";
inline constexpr unsigned kGadgetMajor = 244;
inline constexpr unsigned kGadgetMinor = 0;

class GadgetSerialFile final : public TtyFile {
public:
    // Journals the open; returns `fd` or -errno.
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);
    ~GadgetSerialFile() override;

    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;
    short poll_ready(short requested) const override;
    bool read_would_block() override;
    int input_fd() const override { return pty_.master.get(); }

private:
    struct Pty {
        HostFd master;  // the gadget's end
        HostFd pc_end;  // the PC's end, held open
        std::string pc_path;
        HolderWatcher watcher;  // takes ttyGS0.pc back once the program is gone
    };

    GadgetSerialFile(ReaderContext& context, const Node& node, int access, bool nonblocking, Pty pty)
        : TtyFile(context, node, access), nonblocking_(nonblocking), pty_(std::move(pty))
    {
    }
    void release() override;
    bool sets_line_hardware() const override { return false; }

    bool nonblocking_;  // opened with O_NONBLOCK: a read with nothing waiting fails with EAGAIN
    Pty pty_;
};

}  // namespace vreader
