#include "vreader/model/devices/modem/modem_content.hpp"

#include "vreader/model/state/key_value.hpp"

#include <algorithm>
#include <vector>

namespace vreader {
namespace {

constexpr ModemAnswer kAnswers[] = {ModemAnswer::Normal,   ModemAnswer::NoData, ModemAnswer::Error,
                                    ModemAnswer::CmeError, ModemAnswer::Okay,   ModemAnswer::Silent};

bool parse_answer(std::string_view text, ModemAnswer& out)
{
    for (const ModemAnswer answer : kAnswers) {
        if (text == modem_answer_name(answer)) {
            out = answer;
            return true;
        }
    }
    return false;
}

bool parse_switch(std::string_view text, bool& out)
{
    if (text != "on" && text != "off")
        return false;
    out = text == "on";
    return true;
}

// Printable ASCII that fits one answer line.
bool parse_text(std::string_view text, std::string& out)
{
    if (text.size() > kMaxModemValue ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return false;
    out = std::string(text);
    return true;
}

const char* on_off(bool value) { return value ? "on" : "off"; }

}  // namespace

std::string_view modem_answer_name(ModemAnswer answer)
{
    switch (answer) {
    case ModemAnswer::NoData:
        return "no_data";
    case ModemAnswer::Error:
        return "error";
    case ModemAnswer::CmeError:
        return "cme_error";
    case ModemAnswer::Okay:
        return "okay";
    case ModemAnswer::Silent:
        return "silent";
    case ModemAnswer::Normal:
        break;
    }
    return "normal";
}

std::string format_modem(const ModemContent& c)
{
    std::string text = "# the WAN modem's answers\n";
    const auto add = [&](std::string_view key, std::string_view value) {
        text += std::string(key) + "=" + std::string(value) + "\n";
    };
    add("meid", c.meid);
    add("psn", c.psn);
    add("echo", on_off(c.echo));
    add("blank_lines", on_off(c.blank_lines));
    add("meid_answer", modem_answer_name(c.meid_answer));
    add("psn_answer", modem_answer_name(c.psn_answer));
    add("handshake_errors", c.handshake_always ? std::string("always") : std::to_string(c.handshake_errors));
    add("delivery", c.bytewise ? "bytes" : "whole");
    add("unsolicited", c.unsolicited.empty() ? "none" : c.unsolicited);
    return text;
}

bool parse_modem(std::string_view text, ModemContent& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    ModemContent c;
    for (const auto& [key, value] : entries) {
        bool ok = true;
        std::string_view takes;
        if (key == "meid" || key == "psn") {
            ok = parse_text(value, key == "meid" ? c.meid : c.psn);
            takes = "printable ASCII, at most 64 characters";
        } else if (key == "echo" || key == "blank_lines") {
            ok = parse_switch(value, key == "echo" ? c.echo : c.blank_lines);
            takes = "on or off";
        } else if (key == "meid_answer" || key == "psn_answer") {
            ok = parse_answer(value, key == "meid_answer" ? c.meid_answer : c.psn_answer);
            takes = "normal, no_data, error, cme_error, okay or silent";
        } else if (key == "handshake_errors") {
            const auto count = parse_unsigned(value, UINT32_MAX);
            c.handshake_always = value == "always";
            c.handshake_errors = static_cast<std::uint32_t>(count.value_or(0));
            ok = count.has_value() || c.handshake_always;
            takes = "a count or always";
        } else if (key == "delivery") {
            ok = value == "whole" || value == "bytes";
            c.bytewise = value == "bytes";
            takes = "whole or bytes";
        } else if (key == "unsolicited") {
            c.unsolicited.clear();
            ok = value == "none" || (!value.empty() && parse_text(value, c.unsolicited));
            takes = "none or a line of printable ASCII, at most 64 characters";
        } else {
            error = "unknown key " + key +
                    "; keys: meid psn echo blank_lines meid_answer psn_answer handshake_errors delivery unsolicited";
            return false;
        }
        if (!ok) {
            error = key + " takes " + std::string(takes) + ": " + value;
            return false;
        }
    }
    out = std::move(c);
    return true;
}

}  // namespace vreader
