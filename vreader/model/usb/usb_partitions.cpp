#include "vreader/model/usb/usb_partitions.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"
#include "vreader/model/usb/usb_content.hpp"
#include "vreader/model/usb/usb_files.hpp"
#include "vreader/model/usb/usb_results.hpp"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

namespace vreader::usb {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kConfSuffix = ".conf";
constexpr std::string_view kImageSuffix = ".img";
constexpr std::string_view kIncomingSuffix = ".incoming";

std::string format_partition(const Partition& p)
{
    std::string text = "# an update partition made over USB\n";
    text += "first=" + std::to_string(p.first) + "\n";
    text += "second=" + std::to_string(p.second) + "\n";
    text += "third=" + std::to_string(p.third) + "\n";
    text += std::string("image=") + (p.image ? "yes" : "no") + "\n";
    text += "tag=" + p.tag + "\n";
    text += "extra=" + (p.extra.empty() ? std::string("none") : format_hex(p.extra)) + "\n";
    text += "announced=" + std::to_string(p.announced) + "\n";
    return text;
}

std::optional<Partition> parse_partition(const std::string& name, const std::string& text)
{
    std::vector<KeyValue> entries;
    std::string error;
    if (!parse_key_values(text, entries, error))
        return std::nullopt;
    Partition p;
    p.name = name;
    const auto number = [&](std::string_view key, std::uint32_t& out) {
        const std::string* value = find_value(entries, key);
        const auto parsed = value ? parse_unsigned(*value, UINT32_MAX) : std::nullopt;
        out = static_cast<std::uint32_t>(parsed.value_or(0));
        return parsed.has_value();
    };
    const std::string* image = find_value(entries, "image");
    const std::string* tag = find_value(entries, "tag");
    const std::string* extra = find_value(entries, "extra");
    if (!number("first", p.first) || !number("second", p.second) || !number("third", p.third) ||
        !number("announced", p.announced) || image == nullptr)
        return std::nullopt;
    p.image = *image == "yes";
    p.tag = tag ? *tag : std::string();
    if (extra && *extra != "none")
        p.extra = parse_hex(*extra).value_or(std::vector<std::uint8_t>{});
    return p;
}

}  // namespace

std::string partition_name(const std::vector<std::uint8_t>& field)
{
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    if (end == field.end())
        return {};
    std::string name(field.begin(), end);
    return valid_name(name) ? name : std::string();
}

int create_partitions(const std::string& dir)
{
    const fs::path root = fs::path(dir) / std::string(kPartitionsDir);
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root, ec);
    return ec ? (ec.value() != 0 ? ec.value() : EIO) : 0;
}

Partitions::Partitions(const std::string& dir) : root_(dir + "/" + std::string(kPartitionsDir)) {}

std::string Partitions::file(const std::string& name, std::string_view suffix) const
{
    return root_ + "/" + name + std::string(suffix);
}

std::optional<Partition> Partitions::find(const std::string& name) const
{
    std::string text;
    if (read_file(file(name, kConfSuffix), text) != 0)
        return std::nullopt;
    auto partition = parse_partition(name, text);
    std::error_code ec;
    if (partition) {
        const std::uintmax_t bytes = fs::file_size(file(name, kImageSuffix), ec);
        partition->bytes = ec ? 0 : bytes;
    }
    return partition;
}

std::vector<Partition> Partitions::list() const
{
    std::vector<Partition> partitions;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_, ec)) {
        const std::string leaf = entry.path().filename().string();
        if (!leaf.ends_with(kConfSuffix))
            continue;
        if (auto partition = find(leaf.substr(0, leaf.size() - kConfSuffix.size())))
            partitions.push_back(std::move(*partition));
    }
    std::sort(partitions.begin(), partitions.end(),
              [](const Partition& a, const Partition& b) { return a.name < b.name; });
    return partitions;
}

std::int32_t Partitions::save(const Partition& partition) const
{
    return replace_file(file(partition.name, kConfSuffix), format_partition(partition)) == 0 ? 0 : kIoFailure;
}

std::int32_t Partitions::create(const Partition& partition) const
{
    std::error_code ec;
    fs::create_directories(root_, ec);
    if (replace_file(file(partition.name, kImageSuffix), "") != 0)
        return kIoFailure;
    return save(partition);
}

std::int32_t Partitions::remove(const std::string& name) const
{
    if (!file_exists(file(name, kConfSuffix)))
        return kNoSuchPartition;
    std::error_code ec;
    fs::remove(file(name, kImageSuffix), ec);
    return fs::remove(file(name, kConfSuffix), ec) && !ec ? 0 : kIoFailure;
}

std::int32_t Partitions::begin_image(const std::string& name) const
{
    std::error_code ec;
    fs::create_directories(root_, ec);
    return replace_file(file(name, kIncomingSuffix), "") == 0 ? 0 : kIoFailure;
}

std::int32_t Partitions::write_image(const std::string& name, std::uint64_t offset,
                                     const std::vector<std::uint8_t>& data) const
{
    std::fstream image(file(name, kIncomingSuffix), std::ios::binary | std::ios::in | std::ios::out);
    if (!image || !image.seekp(static_cast<std::streamoff>(offset)) ||
        !image.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size())) ||
        !image.flush())
        return kIoFailure;
    return 0;
}

std::int32_t Partitions::finish_image(const Partition& partition) const
{
    std::error_code ec;
    fs::rename(file(partition.name, kIncomingSuffix), file(partition.name, kImageSuffix), ec);
    return ec ? kIoFailure : save(partition);
}

void Partitions::drop_image(const std::string& name) const
{
    std::error_code ec;
    fs::remove(file(name, kIncomingSuffix), ec);
}

}  // namespace vreader::usb
