#include "vreader/model/devices/modem/modem_row.hpp"

#include "vreader/model/core/tty_settings.hpp"
#include "vreader/model/devices/modem/modem_content.hpp"
#include "vreader/model/devices/modem/modem_node.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace vreader {
namespace {

void modem_stat(const ReaderConfig&, struct stat& st) { char_device_stat(st, kModemMajor, kModemMinor); }

constexpr DeviceNode kModemNode{modem_stat, ModemNode::open};

// The AT command port, on a reader that has a modem.
const DeviceNode* find_modem_node(const ReaderConfig& config, std::string_view path)
{
    return config.modem && path == kModemPath ? &kModemNode : nullptr;
}

bool is_modem(const ReaderConfig& config, std::string_view device) { return config.modem && device == kModemDevice; }

std::string modem_shown(const ReaderConfig& config) { return config.modem ? std::string(kModemDevice) : std::string(); }

// The modem's answers are lines, not frames: they keep silent or come in
// pieces, and have no code to pick them by.
constexpr FaultTake kModemTakes[] = {
    {"open", kErrnoEffect},
    {"close", kErrnoEffect},
    {"read", kReadEffects},
    {"write", kWriteEffects},
    {"tcgetattr", kErrnoEffect},
    {"tcsetattr", kErrnoEffect},
    {"reply", effect_bit(FaultKind::Silent) | effect_bit(FaultKind::Split)},
};
constexpr FaultScope kModemScopes[] = {
    {.name = kModemDevice, .takes = kModemTakes, .is = is_modem, .shown = modem_shown},
};

// Whether the reader has a modem, and modem.conf with its keys prefixed.
std::string print_modem(Session& session)
{
    const ReaderDir& reader = session.dir();
    std::printf("modem_present=%d\n", reader.config().modem ? 1 : 0);
    std::string text;
    ModemContent modem;
    std::string why;
    const int e = read_file(reader.file(kModemFile), text);
    if ((e != 0 && e != ENOENT) || !parse_modem(text, modem, why)) {
        std::printf("modem=unreadable: %s\n", e != 0 ? std::strerror(e) : why.c_str());
        return {};
    }
    std::vector<KeyValue> entries;
    parse_key_values(format_modem(modem), entries, why);
    for (const auto& [key, value] : entries)
        std::printf("modem_%s=%s\n", key.c_str(), value.c_str());
    return {};
}

bool owns_modem_key(std::string_view key) { return key.starts_with("modem."); }

// modem.present changes the device tree (reader.conf); the other keys what
// the modem answers (modem.conf).
std::string set_modem_key(const ReaderDir& reader, std::string_view full_key, std::string_view value)
{
    const std::string_view key = full_key.substr(6);
    if (key == "present") {
        if (value != "0" && value != "1")
            return "modem.present takes 1 or 0: " + std::string(value);
        ReaderConfig config = reader.config();
        config.modem = value == "1";
        if (const int e = replace_file(reader.file(kConfigFile), format_config(config)))
            return "cannot write " + reader.file(kConfigFile) + ": " + std::strerror(e);
        return {};
    }
    std::string text;
    if (const int e = read_file(reader.file(kModemFile), text); e != 0 && e != ENOENT)
        return "cannot read " + reader.file(kModemFile) + ": " + std::strerror(e);
    text += "\n" + std::string(key) + "=" + std::string(value) + "\n";
    ModemContent content;
    std::string error;
    if (!parse_modem(text, content, error))
        return "modem." + std::string(key) + ": " + error;
    if (const int e = replace_file(reader.file(kModemFile), format_modem(content)))
        return "cannot write " + reader.file(kModemFile) + ": " + std::strerror(e);
    return {};
}

int create_modem(const std::string& root, const ReaderConfig&)
{
    std::error_code ec;
    std::filesystem::remove(root + termios_file(kModemDevice), ec);
    return replace_file(root + std::string(kModemFile), format_modem(ModemContent{}));
}

}  // namespace

const DeviceRow kModemRow = {
    .name = "modem",
    .find_node = find_modem_node,
    .fault_scopes = kModemScopes,
    .print_state = print_modem,
    .owns_key = owns_modem_key,
    .set_key = set_modem_key,
    .create = create_modem,
};

}  // namespace vreader
