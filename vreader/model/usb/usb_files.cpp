#include "vreader/model/usb/usb_files.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/usb/usb_results.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <limits>

namespace vreader::usb {
namespace {

namespace fs = std::filesystem;

// Names that Windows takes for devices whatever their extension; the model
// runs on Windows too, where "CON" would reach the console.
bool device_name(std::string_view name)
{
    std::string stem(name.substr(0, name.find('.')));
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; });
    static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kDevices.begin(), kDevices.end(), stem) != kDevices.end())
        return true;
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) && stem[3] >= '0' && stem[3] <= '9';
}

constexpr std::string_view kSampleDocument =
    "This folder is the reader's storage as its file service shows it to a PC.\r\n"
    "Files put here can be read over USB; files written over USB appear here.\r\n";

}  // namespace

int create_storage(const std::string& dir)
{
    const fs::path root = fs::path(dir) / std::string(kStorageDir);
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root / "documents", ec);
    if (ec)
        return ec.value() != 0 ? ec.value() : EIO;
    return replace_file((root / "documents" / "readme.txt").string(), kSampleDocument);
}

bool valid_name(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.front() == ' ' || name.back() == ' ' || name.back() == '.')
        return false;
    const bool printable = std::all_of(name.begin(), name.end(), [](char c) {
        return c >= 0x20 && c <= 0x7E && std::string_view("/\\:*?\"<>|").find(c) == std::string_view::npos;
    });
    return printable && !device_name(name);
}

std::string storage_path(const std::vector<std::uint8_t>& field)
{
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    std::string text(field.begin(), end);
    const std::size_t first = text.find_first_not_of('/');
    if (first == std::string::npos || first > 1)
        return {};
    text.erase(0, first);
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t slash = std::min(text.find('/', at), text.size());
        if (!valid_name(std::string_view(text).substr(at, slash - at)))
            return {};
        at = slash + 1;
    }
    return text;
}

std::int32_t Storage::locate(const std::string& path, std::string& out) const
{
    fs::path place(root_);
    std::error_code ec;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        place /= path.substr(at, slash - at);
        if (fs::is_symlink(fs::symlink_status(place, ec)))
            return kPathRefused;
        at = slash + 1;
    }
    out = place.string();
    return path.empty() ? kPathRefused : 0;
}

std::int32_t Storage::size(const std::string& path) const
{
    std::string place;
    if (const std::int32_t code = locate(path, place))
        return code;
    std::error_code ec;
    const fs::file_status status = fs::status(place, ec);
    if (!fs::exists(status))
        return kNoSuchFile;
    if (!fs::is_regular_file(status))
        return kNotAFile;
    const std::uintmax_t bytes = fs::file_size(place, ec);
    if (ec)
        return kIoFailure;
    if (bytes > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max()))
        return kFileTooLarge;
    return static_cast<std::int32_t>(bytes);
}

std::int32_t Storage::check_read(const std::string& path, std::int64_t position, std::int64_t length) const
{
    const std::int32_t bytes = size(path);
    if (bytes < 0)
        return bytes;
    if (position < 0 || length < 0 || position + length > bytes)
        return kBadPosition;
    return 0;
}

std::int32_t Storage::prepare_write(const std::string& path, std::int64_t position, std::int64_t length) const
{
    std::int32_t bytes = size(path);
    if (bytes == kNoSuchFile && position == 0 && length >= 0) {
        std::string place;
        std::error_code ec;
        if (locate(path, place) != 0)
            return kPathRefused;
        fs::create_directories(fs::path(place).parent_path(), ec);
        // A folder on the way that is a file, or a link made meanwhile, fails here.
        if (ec || locate(path, place) != 0 || !std::ofstream(place, std::ios::binary))
            return kIoFailure;
        bytes = 0;
    }
    if (bytes < 0)
        return bytes;
    if (position < 0 || length < 0 || position > bytes)
        return kBadPosition;
    return 0;
}

std::int32_t Storage::read(const std::string& path, std::int64_t offset, std::size_t count,
                           std::vector<std::uint8_t>& out) const
{
    std::string place;
    if (const std::int32_t code = locate(path, place))
        return code;
    std::ifstream file(place, std::ios::binary);
    out.assign(count, 0);
    if (!file || !file.seekg(offset) ||
        !file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count)))
        return kIoFailure;
    return 0;
}

std::int32_t Storage::write(const std::string& path, std::int64_t offset, const std::vector<std::uint8_t>& data) const
{
    std::string place;
    if (const std::int32_t code = locate(path, place))
        return code;
    std::error_code ec;
    if (!fs::is_regular_file(place, ec))
        return kIoFailure;
    std::fstream file(place, std::ios::binary | std::ios::in | std::ios::out);
    if (!file || !file.seekp(offset) ||
        !file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size())) ||
        !file.flush())
        return kIoFailure;
    return 0;
}

std::int32_t Storage::remove(const std::string& path) const
{
    const std::int32_t bytes = size(path);
    if (bytes < 0 && bytes != kFileTooLarge)
        return bytes;
    std::string place;
    locate(path, place);
    std::error_code ec;
    return fs::remove(place, ec) && !ec ? 0 : kIoFailure;
}

}  // namespace vreader::usb
