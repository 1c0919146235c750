// Files of a given size whose content starts as zeros (memory, disk images):
// sparse where the file system allows, so a large size costs no disk.
#pragma once

#include <cstdint>
#include <string>

namespace vreader {

// Creates or truncates the file and gives it `size` zero bytes. Returns 0
// or an errno value.
int create_zero_file(const std::string& path, std::uint64_t size);

}  // namespace vreader
