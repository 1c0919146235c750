#include "vreader/model/json_line.hpp"

#include <cstdio>

namespace vreader {

std::string json_string(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

JsonLine::JsonLine(std::string_view request) : request_(request) {}

void JsonLine::key(std::string_view name)
{
    if (!object_empty_)
        body_ += ',';
    object_empty_ = false;
    body_ += json_string(name);
    body_ += ':';
}

JsonLine& JsonLine::raw(std::string_view name, std::string_view value)
{
    key(name);
    body_ += value;
    return *this;
}

JsonLine& JsonLine::add(std::string_view name, std::string_view text) { return raw(name, json_string(text)); }

JsonLine& JsonLine::begin_object(std::string_view name)
{
    key(name);
    body_ += '{';
    object_empty_ = true;
    return *this;
}

JsonLine& JsonLine::end_object()
{
    body_ += '}';
    object_empty_ = false;
    return *this;
}

void JsonLine::set_result(long long result, int error, bool injected)
{
    result_ = result;
    error_ = error;
    injected_ = injected;
}

std::string JsonLine::text(std::uint64_t seq) const
{
    std::string out = "{\"seq\":" + std::to_string(seq) + ",\"request\":" + json_string(request_) + body_ +
                      ",\"result\":" + std::to_string(result_);
    if (result_ < 0) {
        out += ",\"errno\":" + std::to_string(error_);
        if (injected_)
            out += ",\"injected\":true";
    }
    return out + "}";
}

}  // namespace vreader
