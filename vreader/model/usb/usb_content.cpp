#include "vreader/model/usb/usb_content.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

bool printable(std::string_view text, std::size_t max)
{
    return text.size() <= max && std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

bool text_field(const std::string& text, std::size_t max, std::string& out)
{
    if (!printable(text, max))
        return false;
    out = text;
    return true;
}

bool flag(std::string_view text, bool& out)
{
    if (text != "0" && text != "1")
        return false;
    out = text == "1";
    return true;
}

std::optional<std::vector<UsbVolume>> parse_volumes(std::string_view text)
{
    std::vector<UsbVolume> volumes;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find_first_of(" \t", at), text.size());
        const std::string_view word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty())
            continue;
        if (word.size() < 2 || word[1] != ':' || !printable(word.substr(2), 20))
            return std::nullopt;
        const char letter = word[0] >= 'a' && word[0] <= 'z' ? static_cast<char>(word[0] - 'a' + 'A') : word[0];
        if (letter < 'A' || letter > 'Z' ||
            std::any_of(volumes.begin(), volumes.end(), [&](const UsbVolume& v) { return v.letter == letter; }))
            return std::nullopt;
        volumes.push_back({letter, std::string(word.substr(2))});
    }
    return volumes;
}

template <std::size_t N>
bool fixed_hex(std::string_view text, std::array<std::uint8_t, N>& out)
{
    const auto bytes = parse_hex(text);
    if (!bytes || bytes->size() != N)
        return false;
    std::copy(bytes->begin(), bytes->end(), out.begin());
    return true;
}

// The last entry named `key`: a line added at the end overrides.
const std::string* last_value(const std::vector<KeyValue>& entries, std::string_view key)
{
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        if (it->key == key)
            return &it->value;
    return nullptr;
}

bool parse_command(const std::vector<KeyValue>& entries, std::optional<UsbCommandInProgress>& out, std::string& error)
{
    const std::string* code = last_value(entries, "command");
    out.reset();
    if (code == nullptr || *code == "none")
        return true;
    UsbCommandInProgress command;
    const auto number = parse_unsigned(*code, 255);
    const std::string* step = last_value(entries, "command_step");
    const std::string* reply = last_value(entries, "command_reply");
    const std::string* sent = last_value(entries, "command_sent");
    const auto step_number = step ? parse_unsigned(*step, UINT32_MAX) : std::optional<std::uint64_t>(0);
    const auto reply_bytes = reply ? parse_hex(*reply) : std::optional<std::vector<std::uint8_t>>(std::in_place);
    const auto sent_number = sent ? parse_unsigned(*sent, UINT32_MAX) : std::optional<std::uint64_t>(0);
    const std::string* target = last_value(entries, "command_target");
    const auto number_of = [&](std::string_view key, std::int64_t min, std::int64_t max) {
        const std::string* value = last_value(entries, key);
        return value ? parse_signed(*value, min, max) : std::optional<std::int64_t>(0);
    };
    const auto position = number_of("command_position", INT64_MIN, INT64_MAX);
    const auto length = number_of("command_length", 0, UINT32_MAX);
    const auto moved = number_of("command_moved", 0, UINT32_MAX);
    const auto status = number_of("command_status", INT32_MIN, INT32_MAX);
    const auto stage = number_of("command_stage", 0, UINT32_MAX);
    if (!number || !step_number || !reply_bytes || !sent_number || *sent_number > reply_bytes->size() ||
        (target && !printable(*target, 4096)) || !position || !length || !moved || !status || !stage) {
        error = "bad command in progress: command=" + *code;
        return false;
    }
    command.code = static_cast<std::uint8_t>(*number);
    command.step = static_cast<std::uint32_t>(*step_number);
    command.reply = *reply_bytes;
    command.sent = static_cast<std::uint32_t>(*sent_number);
    command.target = target ? *target : std::string();
    command.position = *position;
    command.length = static_cast<std::uint32_t>(*length);
    command.moved = static_cast<std::uint32_t>(*moved);
    command.status = static_cast<std::int32_t>(*status);
    command.stage = static_cast<std::uint32_t>(*stage);
    out = command;
    return true;
}

}  // namespace

std::string format_hex(const std::uint8_t* bytes, std::size_t count, std::size_t limit)
{
    std::string text;
    for (std::size_t i = 0; i < count && i < limit; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", bytes[i]);
        text += (text.empty() ? "" : " ") + std::string(hex);
    }
    if (count > limit)
        text += " ...";
    return text;
}

std::string format_hex(const std::vector<std::uint8_t>& bytes) { return format_hex(bytes.data(), bytes.size()); }

std::optional<std::vector<std::uint8_t>> parse_hex(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (const char c : text) {
        if (c == ' ' || c == '\t')
            continue;
        digits += c;
        if (digits.size() < 2)
            continue;
        const auto value = parse_unsigned("0x" + digits, 255);
        if (!value)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*value));
        digits.clear();
    }
    if (!digits.empty())
        return std::nullopt;
    return bytes;
}

std::string format_volumes(const std::vector<UsbVolume>& volumes)
{
    std::string text;
    for (const UsbVolume& volume : volumes)
        text += (text.empty() ? "" : " ") + std::string(1, volume.letter) + ":" + volume.text;
    return text;
}

const UsbVolume* find_volume(const UsbContent& content, char letter)
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    for (const UsbVolume& volume : content.volumes)
        if (volume.letter == letter)
            return &volume;
    return nullptr;
}

std::string format_usb(const UsbContent& c)
{
    std::string text = "# the reader as the PC's storage driver sees it over USB\n";
    text += "vendor=" + c.vendor + "\n";
    text += "product=" + c.product + "\n";
    text += "revision=" + c.revision + "\n";
    text += "volumes=" + format_volumes(c.volumes) + "\n";
    text += std::string("locked=") + (c.locked ? "1" : "0") + "\n";
    text += "unlock_code=" + c.unlock_code + "\n";
    text += "version=" + c.version + "\n";
    text += std::string("connected=") + (c.connected ? "1" : "0") + "\n";
    text += "clock=" + format_hex(c.clock) + "\n";
    text += "notice=" + std::to_string(c.notice) + "\n";
    text += "notices=" + std::to_string(c.notices) + "\n";
    text += "free_space=" + std::to_string(c.free_space) + "\n";
    text += "media_state=" + format_hex(c.media_state.data(), c.media_state.size()) + "\n";
    text += "property_head=" + format_hex(c.property_head.data(), c.property_head.size()) + "\n";
    text += "device_type=" + c.device_type + "\n";
    text += "property_entry=" + c.property_entry + "\n";
    text += "fingerprint=" + format_hex(c.fingerprint) + "\n";
    for (const auto& [query, reply] : c.info)
        text += "info." + query + "=" + reply + "\n";
    text += "getinfo_ack=" + (c.getinfo_ack ? std::to_string(*c.getinfo_ack) : std::string("none")) + "\n";
    text += "update_mode=" + std::to_string(c.update_mode) + "\n";
    text += "file_status=" + std::to_string(c.file_status) + "\n";
    text += "tunnel_status=" + std::to_string(c.tunnel_status) + "\n";
    if (!c.command) {
        text += "command=none\n";
        return text;
    }
    text += "command=" + std::to_string(c.command->code) + "\n";
    text += "command_step=" + std::to_string(c.command->step) + "\n";
    text += "command_reply=" + format_hex(c.command->reply) + "\n";
    text += "command_sent=" + std::to_string(c.command->sent) + "\n";
    text += "command_target=" + c.command->target + "\n";
    text += "command_position=" + std::to_string(c.command->position) + "\n";
    text += "command_length=" + std::to_string(c.command->length) + "\n";
    text += "command_moved=" + std::to_string(c.command->moved) + "\n";
    text += "command_status=" + std::to_string(c.command->status) + "\n";
    text += "command_stage=" + std::to_string(c.command->stage) + "\n";
    return text;
}

bool parse_usb(std::string_view text, UsbContent& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    UsbContent c;
    c.info.clear();
    for (const auto& [key, value] : entries) {
        bool ok = true;
        if (key == "vendor")
            ok = text_field(value, 8, c.vendor);
        else if (key == "product")
            ok = text_field(value, 16, c.product);
        else if (key == "revision")
            ok = text_field(value, 4, c.revision);
        else if (key == "volumes") {
            const auto volumes = parse_volumes(value);
            ok = volumes.has_value();
            if (ok)
                c.volumes = *volumes;
        } else if (key == "locked")
            ok = flag(value, c.locked);
        else if (key == "unlock_code")
            ok = text_field(value, kMaxUnlockCode, c.unlock_code);
        else if (key == "version")
            ok = value.size() == kVersionSize && text_field(value, kVersionSize, c.version);
        else if (key == "connected")
            ok = flag(value, c.connected);
        else if (key == "clock") {
            // "none", as `vreader state` shows a clock never set.
            const auto bytes = value == "none" ? std::vector<std::uint8_t>{} : parse_hex(value);
            ok = bytes && (bytes->empty() || bytes->size() == kClockSize);
            if (ok)
                c.clock = *bytes;
        } else if (key == "notice") {
            const auto number = parse_unsigned(value, UINT32_MAX);
            ok = number.has_value();
            c.notice = static_cast<std::uint32_t>(number.value_or(0));
        } else if (key == "notices") {
            const auto number = parse_unsigned(value);
            ok = number.has_value();
            c.notices = number.value_or(0);
        } else if (key == "free_space") {
            const auto number = parse_unsigned(value);
            ok = number.has_value();
            c.free_space = number.value_or(0);
        } else if (key == "media_state")
            ok = fixed_hex(value, c.media_state);
        else if (key == "property_head")
            ok = fixed_hex(value, c.property_head);
        else if (key == "device_type")
            ok = text_field(value, kMaxDeviceType, c.device_type);
        else if (key == "property_entry")
            ok = text_field(value, kMaxPropertyEntry, c.property_entry);
        else if (key == "fingerprint") {
            const auto bytes = parse_hex(value);
            ok = bytes && bytes->size() <= 4096;
            if (ok)
                c.fingerprint = *bytes;
        } else if (key.starts_with("info.") && key.size() > 5)
            ok = text_field(value, 65536, c.info[key.substr(5)]);
        else if (key == "getinfo_ack") {
            c.getinfo_ack.reset();
            if (value != "none") {
                const auto number = parse_signed(value, INT32_MIN, INT32_MAX);
                ok = number.has_value();
                c.getinfo_ack = static_cast<std::int32_t>(number.value_or(0));
            }
        } else if (key == "update_mode") {
            const auto number = parse_unsigned(value, 1);
            ok = number.has_value();
            c.update_mode = static_cast<std::uint32_t>(number.value_or(0));
        } else if (key == "file_status" || key == "tunnel_status") {
            const auto number = parse_signed(value, INT32_MIN, INT32_MAX);
            ok = number.has_value();
            (key == "file_status" ? c.file_status : c.tunnel_status) = static_cast<std::int32_t>(number.value_or(0));
        } else if (key == "command" || key == "command_step" || key == "command_reply" || key == "command_sent" ||
                   key == "command_target" || key == "command_position" || key == "command_length" ||
                   key == "command_moved" || key == "command_status" || key == "command_stage") {
            continue;  // read together below
        } else {
            error = "unknown key " + key;
            return false;
        }
        if (!ok) {
            error = "bad " + key + ": " + value;
            return false;
        }
    }
    if (!parse_command(entries, c.command, error))
        return false;
    out = std::move(c);
    return true;
}

bool load_usb(const std::string& path, UsbContent& out, std::string& error)
{
    std::string text;
    if (const int e = read_file(path, text)) {
        error = path + ": " + std::strerror(e);
        return false;
    }
    if (!parse_usb(text, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

int save_usb(const std::string& path, const UsbContent& content) { return replace_file(path, format_usb(content)); }

}  // namespace vreader
