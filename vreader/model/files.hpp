// Whole-file helpers for the virtual reader's state directory. They call the
// C library directly: the models sit behind the platform layer, never on it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

// Reads the whole file into `out`. Returns 0 or an errno value.
int read_file(const std::string& path, std::string& out);

// Replaces the file's content in one step (a temporary file renamed over it),
// so nobody ever reads a half-written file. Returns 0 or an errno value.
int replace_file(const std::string& path, std::string_view data);

// Creates or truncates the file and gives it `size` zero bytes.
int create_zero_file(const std::string& path, std::uint64_t size);

bool file_exists(const std::string& path);

}  // namespace vreader
