#include "vreader/model/usb/pc_device_tree.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <cerrno>
#include <vector>

namespace vreader {
namespace {

bool flag(std::string_view text, bool& out)
{
    if (text != "0" && text != "1")
        return false;
    out = text == "1";
    return true;
}

std::string path_of(const std::string& dir) { return dir + "/" + std::string(kDeviceTreeFile); }

}  // namespace

std::string_view eject_answer_name(EjectAnswer answer)
{
    switch (answer) {
    case EjectAnswer::Veto:
        return "veto";
    case EjectAnswer::Hang:
        return "hang";
    default:
        return "accept";
    }
}

std::string format_device_tree(const DeviceTree& tree)
{
    std::string text = "# the PC's device tree around the reader\n";
    text += "disk_number=" + std::to_string(tree.disk_number) + "\n";
    text += std::string("removable=") + (tree.removable ? "1" : "0") + "\n";
    text += std::string("volume_busy=") + (tree.volume_busy ? "1" : "0") + "\n";
    text += "eject=" + std::string(eject_answer_name(tree.eject)) + "\n";
    text += std::string("attached=") + (tree.attached ? "1" : "0") + "\n";
    text += "ejects=" + std::to_string(tree.ejects) + "\n";
    return text;
}

bool parse_device_tree(std::string_view text, DeviceTree& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    DeviceTree tree;
    for (const auto& [key, value] : entries) {
        bool ok = true;
        if (key == "disk_number") {
            const auto number = parse_unsigned(value, UINT32_MAX);
            ok = number.has_value();
            tree.disk_number = static_cast<std::uint32_t>(number.value_or(0));
        } else if (key == "removable") {
            ok = flag(value, tree.removable);
        } else if (key == "volume_busy") {
            ok = flag(value, tree.volume_busy);
        } else if (key == "eject") {
            if (value == "accept")
                tree.eject = EjectAnswer::Accept;
            else if (value == "veto")
                tree.eject = EjectAnswer::Veto;
            else if (value == "hang")
                tree.eject = EjectAnswer::Hang;
            else
                ok = false;
        } else if (key == "attached") {
            ok = flag(value, tree.attached);
        } else if (key == "ejects") {
            const auto number = parse_unsigned(value);
            ok = number.has_value();
            tree.ejects = number.value_or(0);
        } else {
            error = "unknown key " + key;
            return false;
        }
        if (!ok) {
            error = "bad value for " + key + ": " + value;
            return false;
        }
    }
    out = tree;
    return true;
}

bool load_device_tree(const std::string& dir, DeviceTree& out, std::string& error)
{
    std::string text;
    const int e = read_file(path_of(dir), text);
    if (e == ENOENT) {
        out = DeviceTree{};
        return true;
    }
    if (e != 0) {
        error = "cannot read " + path_of(dir);
        return false;
    }
    if (!parse_device_tree(text, out, error)) {
        error = path_of(dir) + ": " + error;
        return false;
    }
    return true;
}

int save_device_tree(const std::string& dir, const DeviceTree& tree)
{
    return replace_file(path_of(dir), format_device_tree(tree));
}

bool reader_attached(const std::string& dir)
{
    DeviceTree tree;
    std::string why;
    return !load_device_tree(dir, tree, why) || tree.attached;
}

}  // namespace vreader
