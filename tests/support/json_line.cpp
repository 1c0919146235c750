#include "tests/support/json_line.hpp"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace testing_support {
namespace {

// Flattens nested objects into "outer.inner" paths.
void flatten(const nlohmann::json& object, const std::string& prefix, std::map<std::string, std::string>& values)
{
    for (const auto& [key, value] : object.items()) {
        const std::string path = prefix.empty() ? key : prefix + "." + key;
        if (value.is_object())
            flatten(value, path, values);
        else
            values[path] = value.is_string() ? value.get<std::string>() : value.dump();
    }
}

}  // namespace

JsonLine::JsonLine(const std::string& text)
{
    const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    if (!parsed.is_object())
        throw std::runtime_error("not a JSON object: " + text);
    flatten(parsed, "", values_);
}

std::string JsonLine::text(const std::string& path) const
{
    const auto found = values_.find(path);
    if (found == values_.end())
        throw std::runtime_error("no field " + path);
    return found->second;
}

long long JsonLine::number(const std::string& path) const { return std::stoll(text(path)); }

std::vector<JsonLine> parse_journal(const std::string& text)
{
    std::vector<JsonLine> lines;
    size_t start = 0;
    while (start < text.size()) {
        // A last line without its line end is still being written by a
        // program that runs while the test reads: it is not a line yet.
        const size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break;
        if (end > start)
            lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace testing_support
