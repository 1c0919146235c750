// Reads the flat-and-nested JSON objects of a request journal line, enough
// for tests to look fields up by path ("update_region.width").
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

class JsonLine {
public:
    // Parses one object; throws std::runtime_error on malformed text.
    explicit JsonLine(const std::string& text);

    bool has(const std::string& path) const { return values_.count(path) != 0; }
    // The value's text: a string without quotes, a number or literal as written.
    std::string text(const std::string& path) const;
    long long number(const std::string& path) const;

private:
    std::map<std::string, std::string> values_;
};

// The journal's complete lines (a last line without its line end is left out).
std::vector<JsonLine> parse_journal(const std::string& text);

}  // namespace testing_support
