#include "vreader/model/devices/touch_panel/touch_panel_row.hpp"

#include "vreader/model/core/tty_settings.hpp"
#include "vreader/model/devices/touch_panel/touch_panel.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_content.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_node.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vreader {
namespace {

void uart_stat(const ReaderConfig&, struct stat& st) { char_device_stat(st, kUartMajor, kUartMinor); }

constexpr DeviceNode kUartNode{uart_stat, TouchPanelNode::open};

const DeviceNode* find_uart_node(const ReaderConfig&, std::string_view path)
{
    return path == "/dev/ttymxc1" ? &kUartNode : nullptr;
}

// The commands the controller answers with a frame: touch start streams
// reports instead, and unknown codes get nothing.
constexpr std::uint8_t kAnsweredCommands[] = {
    touch_panel::kDeactive,  touch_panel::kActive,     touch_panel::kSetConfig, touch_panel::kVersion,
    touch_panel::kLedCheck1, touch_panel::kFixedPulse, touch_panel::kLedCheck2, touch_panel::kStatus,
};

bool answers_command(std::uint8_t code)
{
    return std::find(std::begin(kAnsweredCommands), std::end(kAnsweredCommands), code) != std::end(kAnsweredCommands);
}

// A frame has no checksum to break; it can keep silent, come in pieces,
// or carry a wrong byte.
constexpr FaultEffects kReplyEffects = effect_bit(FaultKind::Silent) | effect_bit(FaultKind::Split) |
                                       effect_bit(FaultKind::Lead) | effect_bit(FaultKind::Code) |
                                       effect_bit(FaultKind::Len) | effect_bit(FaultKind::Result);
constexpr FaultTake kUartTakes[] = {
    {"open", kErrnoEffect},      {"close", kErrnoEffect},     {"read", kReadEffects},      {"write", kWriteEffects},
    {"tcgetattr", kErrnoEffect}, {"tcsetattr", kErrnoEffect}, {"TIOCMGET", kErrnoEffect},  {"TIOCMBIS", kErrnoEffect},
    {"TIOCMBIC", kErrnoEffect},  {"reply", kReplyEffects},    {"reply_XX", kReplyEffects},
};
constexpr FaultScope kUartScopes[] = {{.name = kUartDevice, .takes = kUartTakes, .answers = answers_command}};

// The UART's line settings, then touch_panel.conf with its keys prefixed,
// each value as `set panel.KEY` takes it.
std::string print_uart(Session& session)
{
    struct termios uart {};
    std::string why;
    std::printf("ttymxc1=%s\n", load_termios(session.dir(), kUartDevice, uart, why) ? describe_termios(uart).c_str()
                                                                                    : ("unreadable: " + why).c_str());
    std::string text;
    TouchPanelContent content;
    if (const int e = read_file(session.dir().file(kTouchPanelFile), text);
        e != 0 || !parse_touch_panel(text, content, why)) {
        std::printf("panel=unreadable: %s\n", e != 0 ? std::strerror(e) : why.c_str());
        return {};
    }
    std::vector<KeyValue> entries;
    parse_key_values(format_touch_panel(content), entries, why);
    for (const auto& [key, value] : entries)
        std::printf("panel_%s=%s\n", key.c_str(), value.c_str());
    return {};
}

bool owns_panel_key(std::string_view key) { return key.starts_with("panel."); }

// Replaces one key of touch_panel.conf, refusing what the panel cannot read.
std::string set_panel_key(const ReaderDir& reader, std::string_view full_key, std::string_view value)
{
    const std::string_view key = full_key.substr(6);
    std::string text;
    if (const int e = read_file(reader.file(kTouchPanelFile), text))
        return "cannot read " + reader.file(kTouchPanelFile) + ": " + std::strerror(e);
    text += "\n" + std::string(key) + "=" + std::string(value) + "\n";
    TouchPanelContent content;
    std::string error;
    if (!parse_touch_panel(text, content, error))
        return "panel." + std::string(key) + ": " + error;
    if (const int e = replace_file(reader.file(kTouchPanelFile), format_touch_panel(content)))
        return "cannot write " + reader.file(kTouchPanelFile) + ": " + std::strerror(e);
    return {};
}

// What the controller answers by default; the UART's settings as the kernel
// starts them.
int create_touch_panel(const std::string& root, const ReaderConfig&)
{
    std::error_code ec;
    std::filesystem::remove(root + termios_file(kUartDevice), ec);
    return replace_file(root + std::string(kTouchPanelFile), format_touch_panel(default_touch_panel()));
}

}  // namespace

const DeviceRow kTouchPanelRow = {
    .name = "touch_panel",
    .find_node = find_uart_node,
    .fault_scopes = kUartScopes,
    .print_state = print_uart,
    .owns_key = owns_panel_key,
    .set_key = set_panel_key,
    .create = create_touch_panel,
};

}  // namespace vreader
