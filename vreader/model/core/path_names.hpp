// Path names as the kernel resolves them: relative to the current
// directory, "." and ".." taken by name, repeated slashes dropped. Links are
// not followed: the virtual reader's paths are names, not host files.
#pragma once

#include <string>
#include <string_view>

namespace vreader {

// "/a//b/./c/../d" -> "/a/b/d"; "/" stays "/".
std::string normal_path(std::string_view absolute);

// `path` made absolute against the current directory and normalised; empty
// when it is empty or the current directory cannot be learnt.
std::string absolute_normal_path(std::string_view path);

// Whether `path` (normalised) is `top` or lies under it.
bool path_within(std::string_view path, std::string_view top);

}  // namespace vreader
