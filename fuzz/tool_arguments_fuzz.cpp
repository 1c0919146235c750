// fendrac's command line: the input, split at NUL bytes, is the argument
// vector; every word also goes through the clock, number and JSON text
// parsers. The JSON text must never carry a raw control byte.
#include "hosttool/arguments.hpp"
#include "hosttool/clock_record.hpp"
#include "hosttool/json_text.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> words(1, "fendrac");
    words.emplace_back();
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back() += static_cast<char>(data[i]);
    }
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const tool::Arguments parsed = tool::parse_arguments(static_cast<int>(words.size()), argv.data());
    for (const std::string& word : parsed.words) {
        if (const auto time = tool::parse_clock(word)) {
            if (tool::clock_text(*time) != word || tool::weekday(*time) < 0 || tool::weekday(*time) > 6)
                std::abort();
            (void)tool::clock_record(*time);
        }
        unsigned u;
        int i;
        (void)tool::parse_u32(word, u);
        (void)tool::parse_i32(word, i);
        for (const char c : tool::json_string(word))
            if (static_cast<unsigned char>(c) < 0x20)
                std::abort();
    }
    return 0;
}
