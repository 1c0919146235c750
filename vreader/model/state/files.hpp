// Whole-file helpers for the virtual reader's state directory. They call the
// C and C++ libraries directly (the models sit behind the platform layer,
// never on it), and only portable parts of them, so that the models that a
// Windows build runs can use them too.
#pragma once

#include <string>
#include <string_view>

namespace vreader {

// Reads the whole file into `out`. Returns 0 or an errno value.
int read_file(const std::string& path, std::string& out);

// Replaces the file's content in one step (a temporary file renamed over it),
// so nobody ever reads a half-written file. Returns 0 or an errno value.
int replace_file(const std::string& path, std::string_view data);

bool file_exists(const std::string& path);

}  // namespace vreader
