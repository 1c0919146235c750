#include "vreader/model/devices/touch_panel/touch_panel_row.hpp"

#include "vreader/model/core/tty_settings.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_content.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_node.hpp"
#include "vreader/model/state/files.hpp"

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

bool uart_fault_device(const ReaderConfig&, std::string_view device) { return device == kUartDevice; }

// The UART's line settings.
std::string print_uart(Session& session)
{
    struct termios uart {};
    std::string why;
    std::printf("ttymxc1=%s\n", load_termios(session.dir(), kUartDevice, uart, why) ? describe_termios(uart).c_str()
                                                                                    : ("unreadable: " + why).c_str());
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
    .fault_device = uart_fault_device,
    .print_state = print_uart,
    .owns_key = owns_panel_key,
    .set_key = set_panel_key,
    .create = create_touch_panel,
};

}  // namespace vreader
