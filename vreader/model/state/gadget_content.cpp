#include "vreader/model/state/gadget_content.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <cerrno>
#include <sstream>

namespace vreader {
namespace {

std::vector<std::string> words(std::string_view text)
{
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

// "lun2.ro" -> 2, "ro"; false for a key of no LUN.
bool lun_key(std::string_view key, unsigned& lun, std::string_view& name)
{
    if (!key.starts_with("lun"))
        return false;
    const auto dot = key.find('.');
    if (dot == std::string_view::npos)
        return false;
    const auto number = parse_unsigned(key.substr(3, dot - 3), kMaxLuns - 1);
    if (!number || std::to_string(*number) != key.substr(3, dot - 3))
        return false;
    lun = static_cast<unsigned>(*number);
    name = key.substr(dot + 1);
    return true;
}

std::string set_key(GadgetContent& content, std::string_view key, std::string_view value)
{
    if (key == "luns") {
        const auto count = parse_unsigned(value, kMaxLuns);
        if (!count)
            return "luns takes 0 to " + std::to_string(kMaxLuns);
        content.luns.resize(static_cast<std::size_t>(*count));
        return {};
    }
    if (key == "modules" || key == "usb_modules") {
        content.modules = value == "none" ? std::vector<std::string>{} : words(value);
        return {};
    }
    unsigned lun = 0;
    std::string_view name;
    if (!lun_key(key, lun, name))
        return "unknown key " + std::string(key);
    if (lun >= content.luns.size())
        return "the gadget has no LUN " + std::to_string(lun) + " (luns=" + std::to_string(content.luns.size()) + ")";
    GadgetLun& entry = content.luns[lun];
    if (name == "ro" || name == "prevent") {
        if (value != "0" && value != "1")
            return std::string(key) + " takes 0 or 1";
        (name == "ro" ? entry.read_only : entry.prevent) = value == "1";
    } else if (name == "file") {
        entry.file = value == "none" ? std::string() : std::string(value);
        if (entry.file.empty()) {
            entry.device.clear();
            entry.sectors = 0;
        }
    } else if (name == "device") {
        entry.device = value;
    } else if (name == "sectors") {
        const auto sectors = parse_unsigned(value, UINT64_MAX);
        if (!sectors)
            return std::string(key) + " takes a count of sectors";
        entry.sectors = *sectors;
    } else {
        return "unknown key " + std::string(key);
    }
    return {};
}

}  // namespace

bool parse_gadget(std::string_view text, GadgetContent& out, std::string& error)
{
    std::vector<KeyValue> entries;
    if (!parse_key_values(text, entries, error))
        return false;
    out = GadgetContent{};
    // The LUN count first, so that the LUNs' keys find their LUN.
    if (const std::string* luns = find_value(entries, "luns"))
        if (error = set_key(out, "luns", *luns); !error.empty())
            return false;
    for (const KeyValue& entry : entries)
        if (entry.key != "luns")
            if (error = set_key(out, entry.key, entry.value); !error.empty())
                return false;
    return true;
}

std::string format_gadget(const GadgetContent& content)
{
    std::string text = "luns=" + std::to_string(content.luns.size()) + "\nmodules=";
    for (std::size_t i = 0; i < content.modules.size(); ++i)
        text += (i > 0 ? " " : "") + content.modules[i];
    text += "\n";
    for (std::size_t i = 0; i < content.luns.size(); ++i) {
        const std::string lun = "lun" + std::to_string(i);
        const GadgetLun& entry = content.luns[i];
        text += lun + ".file=" + entry.file + "\n" + lun + ".device=" + entry.device + "\n" + lun +
                ".sectors=" + std::to_string(entry.sectors) + "\n" + lun + ".ro=" + (entry.read_only ? "1" : "0") +
                "\n" + lun + ".prevent=" + (entry.prevent ? "1" : "0") + "\n";
    }
    return text;
}

bool load_gadget(const std::string& reader_path, GadgetContent& out, std::string& error)
{
    const std::string path = reader_path + "/" + std::string(kGadgetFile);
    std::string text;
    if (const int e = read_file(path, text); e != 0) {
        out = GadgetContent{};
        if (e == ENOENT)
            return true;
        error = path + ": cannot read";
        return false;
    }
    return parse_gadget(text, out, error);
}

int save_gadget(const std::string& reader_path, const GadgetContent& content)
{
    return replace_file(reader_path + "/" + std::string(kGadgetFile), format_gadget(content));
}

std::string set_gadget_key(GadgetContent& content, std::string_view key, std::string_view value)
{
    if (key == "modules" || key == "lun")
        return "unknown key " + std::string(key);
    return set_key(content, key, value);
}

bool parse_lun_attribute(std::string_view path, unsigned& lun, std::string& attribute)
{
    constexpr std::string_view prefix = "/sys/devices/platform/usb_mass_storage/lun";
    if (!path.starts_with(prefix))
        return false;
    const std::string_view rest = path.substr(prefix.size());
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos)
        return false;
    const std::string_view digits = rest.substr(0, slash);
    const auto number = parse_unsigned(digits, 999);
    if (!number || std::to_string(*number) != digits)
        return false;
    const std::string_view name = rest.substr(slash + 1);
    if (name != "file" && name != "ro")
        return false;
    lun = static_cast<unsigned>(*number);
    attribute = std::string(name);
    return true;
}

}  // namespace vreader
