// The line settings a serial port keeps between opens, as the kernel keeps
// them: <name>.termios in the reader's directory (key=value), written when a
// program applies settings, read back by tcgetattr and shown by `vreader
// state` in words.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <termios.h>

#include <string>
#include <string_view>

namespace vreader {

// A port's termios file name: "ttymxc1.termios".
std::string termios_file(std::string_view device);

// A new port's settings, as the serial core, the USB serial layer and the
// gadget serial driver start their ports: 9600 baud, CS8, CREAD, HUPCL,
// CLOCAL (no modem control), cooked and echoing.
struct termios default_termios();

std::string format_termios(const struct termios& t);
bool parse_termios(std::string_view text, struct termios& out, std::string& error);

// The port's kept settings; a missing file means the defaults.
bool load_termios(const ReaderDir& dir, std::string_view device, struct termios& out, std::string& error);
int save_termios(const ReaderDir& dir, std::string_view device, const struct termios& t);

// "115200 CS8 CREAD HUPCL CLOCAL iflag=IGNBRK|IGNPAR oflag=0 lflag=0 vmin=1 vtime=0"
std::string describe_termios(const struct termios& t);
// The speed in baud that the c_cflag speed bits select, as the kernel reads them.
unsigned baud_of(const struct termios& t);

}  // namespace vreader
