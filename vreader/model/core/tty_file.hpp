// What the reader's serial ports share: an open description that journals
// its open and close, keeps its line settings between opens in
// <device>.termios, and answers tcgetattr and tcsetattr from them.
#pragma once

#include "vreader/model/core/device_file.hpp"
#include "vreader/model/core/reader_context.hpp"

#include <string>
#include <string_view>

namespace vreader {

class TtyFile : public DeviceFile {
public:
    const std::string& path() const override { return path_; }
    void fill_stat(struct stat& st) const override;
    std::int64_t tcgetattr(struct termios& t) override;
    std::int64_t tcsetattr(int optional_actions, const struct termios& t) override;
    std::int64_t close() override;

protected:
    struct Node {
        std::string path;
        std::string_view device;  // kernel name: "ttymxc1"
        unsigned major;
        unsigned minor;
    };

    TtyFile(ReaderContext& context, const Node& node, int access)
        : context_(context),
          path_(node.path),
          device_(node.device),
          major_(node.major),
          minor_(node.minor),
          access_(access)
    {
    }

    // What the port does when it is closed, before the close is journaled.
    virtual void release() {}
    // Whether the port's driver takes the line's speed, character size,
    // parity, stop bits and flow control from tcsetattr. One with no line
    // of its own (the gadget serial port) keeps them, and only HUPCL, CREAD
    // and CLOCAL of c_cflag change, as the tty layer keeps them for a driver
    // that sets no termios.
    virtual bool sets_line_hardware() const { return true; }

    ReaderContext& context_;
    std::string path_;
    std::string_view device_;
    unsigned major_;
    unsigned minor_;
    int access_;
};

// Bytes as hexadecimal digits, for the journal: "EE021E00".
std::string hex_bytes(const void* bytes, std::size_t count);

}  // namespace vreader
