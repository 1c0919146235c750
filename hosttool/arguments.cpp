#include "hosttool/arguments.hpp"

#include <cctype>
#include <string_view>

namespace tool {
namespace {

bool is_word(std::string_view text)
{
    return text.size() < 2 || text[0] != '-' || std::isdigit(static_cast<unsigned char>(text[1]));
}

}  // namespace

Arguments parse_arguments(int argc, char** argv)
{
    Arguments parsed;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_end || is_word(arg)) {
            parsed.words.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            options_end = true;
            continue;
        }
        // --name=value is the same as --name value.
        std::string_view name = arg;
        std::string_view inline_value;
        bool has_inline = false;
        if (const auto equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
            name = arg.substr(0, equals);
            inline_value = arg.substr(equals + 1);
            has_inline = true;
        }
        auto value = [&](std::string& into) {
            if (has_inline) {
                into = inline_value;
                return true;
            }
            if (i + 1 >= argc) {
                parsed.error = std::string(name) + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        if ((name == "--json" || name == "--lock" || name == "--help" || name == "-h" || name == "--version") &&
            has_inline) {
            parsed.error = std::string(name) + " takes no value";
        } else if (name == "-d" || name == "--device") {
            value(parsed.device);
        } else if (name == "--json") {
            parsed.json = true;
        } else if (name == "--lock") {
            parsed.lock = true;
        } else if (name == "-h" || name == "--help") {
            parsed.help = true;
        } else if (name == "--version") {
            parsed.version = true;
        } else if (name == "--tag") {
            parsed.has_tag = value(parsed.tag);
        } else if (name == "--extra") {
            value(parsed.extra);
        } else {
            parsed.error = "unknown option " + std::string(arg);
        }
        if (!parsed.error.empty())
            break;
    }
    return parsed;
}

}  // namespace tool

namespace tool {
namespace {

bool parse_number(const std::string& text, long long least, long long most, long long& value)
{
    std::string_view digits = text;
    const bool negative = digits.starts_with('-');
    if (negative)
        digits.remove_prefix(1);
    int base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        base = 16;
        digits.remove_prefix(2);
    }
    if (digits.empty() || digits.size() > 16)
        return false;
    long long magnitude = 0;
    for (const char c : digits) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > (1LL << 40))
            return false;
    }
    value = negative ? -magnitude : magnitude;
    return value >= least && value <= most;
}

}  // namespace

bool parse_u32(const std::string& text, unsigned& value)
{
    long long number = 0;
    if (!parse_number(text, 0, 0xFFFFFFFFLL, number))
        return false;
    value = static_cast<unsigned>(number);
    return true;
}

bool parse_i32(const std::string& text, int& value)
{
    long long number = 0;
    if (!parse_number(text, -0x80000000LL, 0x7FFFFFFFLL, number))
        return false;
    value = static_cast<int>(number);
    return true;
}

}  // namespace tool
