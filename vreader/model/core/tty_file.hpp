// What the reader's serial ports share: an open description that journals
// its open and close, keeps its line settings between opens in
// <device>.termios, and answers tcgetattr and tcsetattr from them.
#pragma once

#include "vreader/model/core/node_file.hpp"

#include <string>
#include <string_view>

namespace vreader {

class TtyFile : public NodeFile {
public:
    void fill_stat(struct stat& st) const override;
    std::int64_t tcgetattr(struct termios& t) override;
    std::int64_t tcsetattr(int optional_actions, const struct termios& t) override;

protected:
    struct Node {
        std::string path;
        std::string_view device;  // kernel name: "ttymxc1"
        unsigned major;
        unsigned minor;
    };

    TtyFile(ReaderContext& context, const Node& node, int access)
        : NodeFile(context, node.path, node.device, access), major_(node.major), minor_(node.minor)
    {
    }

    // Whether the port's driver takes the line's speed, character size,
    // parity, stop bits and flow control from tcsetattr. One with no line
    // of its own (the gadget serial port) keeps them, and only HUPCL, CREAD
    // and CLOCAL of c_cflag change, as the tty layer keeps them for a driver
    // that sets no termios.
    virtual bool sets_line_hardware() const { return true; }

    unsigned major_;
    unsigned minor_;
};

// Bytes as hexadecimal digits, for the journal: "EE021E00".
std::string hex_bytes(const void* bytes, std::size_t count);

}  // namespace vreader
