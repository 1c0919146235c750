// The key=value text format of the state directory's files, and the number
// parsing shared by those files and the launcher.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

struct KeyValue {
    std::string key;
    std::string value;
};

// Parses "key=value" lines. Blank lines and lines starting with '#' are
// skipped; spaces around keys and values are dropped. Returns false and names
// the offending line in `error` when a line has no '='.
bool parse_key_values(std::string_view text, std::vector<KeyValue>& out, std::string& error);

// The value of the first entry named `key`, if any.
const std::string* find_value(const std::vector<KeyValue>& entries, std::string_view key);

// Unsigned decimal, or hexadecimal with a "0x" prefix, at most `max`.
std::optional<std::uint64_t> parse_unsigned(std::string_view text, std::uint64_t max = UINT64_MAX);

// Signed decimal within [min, max].
std::optional<std::int64_t> parse_signed(std::string_view text, std::int64_t min, std::int64_t max);

}  // namespace vreader
