#include "vreader/model/usb/usb_tunnel.hpp"

#include "vreader/model/state/files.hpp"
#include "vreader/model/usb/usb_results.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vreader::usb {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDefaultRequest =
    "GET /store/catalog?lang=en&page=1 HTTP/1.1\r\n"
    "Host: books.example.com\r\n"
    "User-Agent: QLX-K1/2081 (e-book reader)\r\n"
    "Accept: text/html, application/xml\r\n"
    "Connection: close\r\n"
    "\r\n";

int error_of(const std::error_code& ec) { return ec ? (ec.value() != 0 ? ec.value() : EIO) : 0; }

// The regular files of `folder` whose names end with `suffix`, by name.
std::vector<TunnelFile> files_of(const std::string& folder, std::string_view suffix)
{
    std::vector<TunnelFile> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string leaf = entry.path().filename().string();
        std::error_code size_ec;
        if (!leaf.ends_with(suffix) || !entry.is_regular_file(size_ec))
            continue;
        const std::uintmax_t size = entry.file_size(size_ec);
        files.push_back({leaf, size_ec ? 0 : size});
    }
    std::sort(files.begin(), files.end(), [](const TunnelFile& a, const TunnelFile& b) { return a.name < b.name; });
    return files;
}

// The next number's name: one past the highest numbered name there.
std::string next_name(const std::vector<TunnelFile>& files, std::string_view suffix)
{
    unsigned long highest = 0;
    for (const TunnelFile& file : files) {
        const std::string stem = file.name.substr(0, file.name.size() - suffix.size());
        if (!stem.empty() && stem.size() <= 9 &&
            std::all_of(stem.begin(), stem.end(), [](char c) { return c >= '0' && c <= '9'; }))
            highest = std::max(highest, std::stoul(stem));
    }
    char name[32];
    std::snprintf(name, sizeof name, "%06lu", highest + 1);
    return name + std::string(suffix);
}

}  // namespace

std::string_view default_tunnel_request() { return kDefaultRequest; }

int create_tunnel(const std::string& dir)
{
    const fs::path root = fs::path(dir) / std::string(kTunnelDir);
    std::error_code ec;
    fs::remove_all(root, ec);
    fs::create_directories(root / std::string(kResponsesDir), ec);
    if (ec)
        return error_of(ec);
    std::string name;
    return Tunnel(dir).add(kDefaultRequest, name);
}

Tunnel::Tunnel(const std::string& dir)
    : root_(dir + "/" + std::string(kTunnelDir)), responses_(root_ + "/" + std::string(kResponsesDir))
{
}

std::vector<TunnelFile> Tunnel::queue() const { return files_of(root_, kRequestSuffix); }

std::vector<TunnelFile> Tunnel::responses() const { return files_of(responses_, kResponseSuffix); }

int Tunnel::add(std::string_view bytes, std::string& name) const
{
    std::error_code ec;
    fs::create_directories(root_, ec);
    name = next_name(queue(), kRequestSuffix);
    return replace_file(root_ + "/" + name, bytes);
}

int Tunnel::clear() const
{
    std::error_code ec;
    for (const TunnelFile& file : queue())
        fs::remove(root_ + "/" + file.name, ec);
    fs::remove_all(responses_, ec);
    if (!ec)
        fs::create_directories(responses_, ec);
    return error_of(ec);
}

std::int32_t Tunnel::read_request(const std::string& name, std::uint64_t offset, std::size_t count,
                                  std::vector<std::uint8_t>& out) const
{
    std::ifstream file(root_ + "/" + name, std::ios::binary);
    out.assign(count, 0);
    if (!file || !file.seekg(static_cast<std::streamoff>(offset)) ||
        !file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count)))
        return kIoFailure;
    return 0;
}

std::int32_t Tunnel::take(const std::string& name) const
{
    std::error_code ec;
    return fs::remove(root_ + "/" + name, ec) ? 0 : kIoFailure;
}

std::string Tunnel::incoming(const std::string& name) const
{
    return responses_ + "/" + name.substr(0, name.size() - kResponseSuffix.size()) + std::string(kIncomingSuffix);
}

std::int32_t Tunnel::begin_response(std::string& name) const
{
    std::error_code ec;
    fs::create_directories(responses_, ec);
    name = next_name(responses(), kResponseSuffix);
    return replace_file(incoming(name), "") == 0 ? 0 : kIoFailure;
}

std::int32_t Tunnel::write_response(const std::string& name, std::uint64_t offset,
                                    const std::vector<std::uint8_t>& data) const
{
    std::fstream file(incoming(name), std::ios::binary | std::ios::in | std::ios::out);
    if (!file || !file.seekp(static_cast<std::streamoff>(offset)) ||
        !file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size())) ||
        !file.flush())
        return kIoFailure;
    return 0;
}

std::int32_t Tunnel::finish_response(const std::string& name) const
{
    std::error_code ec;
    fs::rename(incoming(name), responses_ + "/" + name, ec);
    return ec ? kIoFailure : 0;
}

void Tunnel::drop_response(const std::string& name) const
{
    std::error_code ec;
    fs::remove(incoming(name), ec);
}

}  // namespace vreader::usb
