// The PC's side of a transfer: a file, or standard input or output for "-"
// (in binary mode, so that Windows changes no line ends).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tool {

bool is_standard_stream(const std::string& path);
// The whole file; nothing when it cannot be read or is 2 GiB or more.
std::optional<std::vector<unsigned char>> read_local(const std::string& path);
// Writes the bytes (replacing the file); false when not all were written.
bool write_local(const std::string& path, std::span<const unsigned char> bytes);
// The file's size, when it is a file that can be read and under 2 GiB.
std::optional<long long> local_size(const std::string& path);

}  // namespace tool
