// The reader as a PC sees it over USB, in `vreader state` and `vreader
// set`: usb.conf (volumes, identity, lock, what the vendor commands keep),
// the update partitions, the HTTP tunnel, and the PC's device tree.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <string>
#include <string_view>

namespace vreader::cli {

void print_usb(const ReaderDir& reader);

// Replaces one key of usb.conf (`usb.KEY`) or of device_tree.conf
// (`tree.KEY`), refusing what the reader cannot read. Empty, or why not.
std::string set_usb_key(const ReaderDir& reader, std::string_view key, std::string_view value);
std::string set_device_tree_key(const ReaderDir& reader, std::string_view key, std::string_view value);

}  // namespace vreader::cli
