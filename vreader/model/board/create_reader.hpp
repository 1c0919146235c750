// Creating a virtual reader: every device's files, laid out as a new
// reader has them.
//
//
//     reader.conf    how the reader was built (key=value)
//     epdc.state     what the display controller keeps (key=value)
//     fb0.mem        framebuffer memory, smem_len bytes
//     panel.gray     what the panel shows: 8-bit gray, native orientation
//     standby.raw    the standby screen, RGB565, when one was written
//     emmc.img       the eMMC's content, a sparse file
//     touch_panel.conf  what the touch-panel controller answers and keeps
//     ttymxc1.termios   the panel UART's line settings, once a program set them
//     ttyGS0.termios    the same for the USB gadget serial port
//     ttyGS0.pc         the path of the PC's end, while the gadget port is open
//     subcpu.*          the sub-CPU's state, flash clusters and update record
//     usb.conf          the reader as a PC sees it over USB: its volumes,
//                       lock, protocol version and what its vendor commands
//                       keep and answer
//     modem.conf        what the WAN modem answers, and how
//     ttyUSB0.termios   the modem port's line settings, once a program set them
//     net.conf          the network interfaces: their addresses, and when
//                       each appears
//     input/eventN      named pipes: the input event devices' sources
//     input/eventN.record  the record size of the program that holds it
//     faults         injected faults
//     faults.wake    named pipe: wakes a program's waiting poll when faults change
//     uevent/        the kernel's uevent messages waiting for a program
//     journal.jsonl  every device request, one JSON object per line
//     lock           taken (flock) around every change of the above
#pragma once

#include "vreader/model/core/reader_config.hpp"

#include <string>

namespace vreader {

// Creates a virtual reader in `path` (made with its parents if needed): white
// panel, zeroed framebuffer memory, default controller state, an eMMC with
// the default raw areas, empty journal, no faults. An existing reader is
// reset only when `force` is set, and then everything in it goes first: the
// result is what a new directory gets. A non-empty directory that is not a
// reader is never touched.
bool create_reader(const std::string& path, const ReaderConfig& config, bool force, std::string& error);

}  // namespace vreader
