// Symbolic errno names, for the fault list and the launcher.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vreader {

// "EIO" -> 5; also accepts a plain number 1..4095.
std::optional<int> parse_errno(std::string_view text);

// 5 -> "EIO"; a number without a known name is written in decimal.
std::string errno_name(int error);

// The names parse_errno knows, separated by spaces.
std::string known_errno_names();

}  // namespace vreader
