// One journal entry, built field by field in a fixed order:
//     {"seq":N,"request":"NAME",<fields>,"result":R[,"errno":E][,"injected":true]}
// The sequence number is only known when the line is appended, so the JSON
// text is made then. The fields are kept plainly here, so that only the
// writer needs the JSON library.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

class JsonLine {
public:
    explicit JsonLine(std::string_view request);

    // Signed types print signed, unsigned types unsigned, both in decimal.
    template <std::integral T>
    JsonLine& add(std::string_view key, T value)
    {
        if constexpr (std::is_same_v<T, bool>)
            return push({Kind::Bool, std::string(key), value ? 1 : 0, 0, {}});
        else if constexpr (std::is_signed_v<T>)
            return push({Kind::Signed, std::string(key), static_cast<long long>(value), 0, {}});
        else
            return push({Kind::Unsigned, std::string(key), 0, static_cast<unsigned long long>(value), {}});
    }
    JsonLine& add(std::string_view key, std::string_view text);
    JsonLine& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }

    // A nested object: fields added until end_object() go inside it.
    JsonLine& begin_object(std::string_view key);
    JsonLine& end_object();

    // `error` and `injected` are written only for a negative result.
    void set_result(long long result, int error = 0, bool injected = false);

    // The line's JSON text, without a line end.
    std::string text(std::uint64_t seq) const;
    const std::string& request() const { return request_; }

    // A line that may stand for a run of identical ones (a sleep in a
    // polling loop): the journal writes the first and then the count.
    JsonLine& foldable()
    {
        foldable_ = true;
        return *this;
    }
    bool is_foldable() const { return foldable_; }
    bool operator==(const JsonLine&) const = default;

private:
    enum class Kind { Signed, Unsigned, Bool, Text, Begin, End };
    struct Field {
        Kind kind;
        std::string key;
        long long signed_value;
        unsigned long long unsigned_value;
        std::string text;
        bool operator==(const Field&) const = default;
    };
    JsonLine& push(Field field);

    std::string request_;
    std::vector<Field> fields_;
    long long result_ = 0;
    int error_ = 0;
    bool injected_ = false;
    bool foldable_ = false;
};

}  // namespace vreader
