// The USB side of the reader's kernel in `vreader state` and `vreader set`:
// the mass-storage gadget's LUNs, the loaded USB modules and the nodes
// programs made under /tmp/lun*.
#pragma once

#include "vreader/model/core/reader_dir.hpp"

#include <string>
#include <string_view>

namespace vreader::cli {

void print_gadget(const ReaderDir& reader);

// Whether `key` is one of set_gadget_state's.
bool is_gadget_key(std::string_view key);

// Changes one key, under the reader's lock. Empty, or why not.
std::string set_gadget_state(const ReaderDir& reader, std::string_view key, std::string_view value);

}  // namespace vreader::cli
