// The JSON of --json: one object per run, written by hand, since the tool
// depends on nothing but the library and the C++ standard library.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>

namespace tool {

// `text` as a JSON string. Bytes that are not valid UTF-8 become U+FFFD,
// so that what the reader sends never makes the output unreadable.
std::string json_string(std::string_view text);

class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view text);
    JsonObject& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
    template <typename Number>
    requires(std::is_integral_v<Number> && !std::is_same_v<Number, bool>) JsonObject& add(std::string_view key,
                                                                                          Number number)
    {
        return add_json(key, std::to_string(number));
    }
    JsonObject& add_bool(std::string_view key, bool value) { return add_json(key, value ? "true" : "false"); }
    // A value that is JSON already (an array, an object).
    JsonObject& add_json(std::string_view key, std::string_view json);
    std::string text() const { return text_ + "}"; }

private:
    void key(std::string_view name);
    std::string text_ = "{";
};

}  // namespace tool
