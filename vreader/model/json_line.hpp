// One journal entry, built field by field in a fixed order:
//     {"seq":N,"request":"NAME",<fields>,"result":R[,"errno":E][,"injected":true]}
// The sequence number is only known when the line is appended, so the text
// is assembled then.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

class JsonLine {
public:
    explicit JsonLine(std::string_view request);

    // Signed types print signed, unsigned types unsigned, both in decimal.
    template <std::integral T>
    JsonLine& add(std::string_view key, T value)
    {
        if constexpr (std::is_same_v<T, bool>)
            return raw(key, value ? "true" : "false");
        else if constexpr (std::is_signed_v<T>)
            return raw(key, std::to_string(static_cast<long long>(value)));
        else
            return raw(key, std::to_string(static_cast<unsigned long long>(value)));
    }
    JsonLine& add(std::string_view key, std::string_view text);
    JsonLine& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }

    // A nested object: fields added until end_object() go inside it.
    JsonLine& begin_object(std::string_view key);
    JsonLine& end_object();

    // `error` and `injected` are written only for a negative result.
    void set_result(long long result, int error = 0, bool injected = false);

    std::string text(std::uint64_t seq) const;
    const std::string& request() const { return request_; }

private:
    JsonLine& raw(std::string_view key, std::string_view value);
    void key(std::string_view name);

    std::string request_;
    std::string body_;
    bool object_empty_ = false;
    long long result_ = 0;
    int error_ = 0;
    bool injected_ = false;
};

// The JSON string literal for `text`, quotes included.
std::string json_string(std::string_view text);

}  // namespace vreader
