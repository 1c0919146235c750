#include "hosttool/volumes.hpp"

#include <cctype>
#include <cstring>

namespace tool {
namespace {

#if defined(_WIN32)

std::string letter_path(char letter) { return std::string("\\\\.\\") + letter + ":"; }

bool identify(char letter, Volume& volume)
{
    VolumeIdentity identity{};
    if (FSVolumeGetDeviceInfo(letter, &identity) != 0)
        return false;
    volume = {std::string(1, letter) + ":", letter_path(letter), identity};
    return true;
}

#else

bool identify(const std::string& path, Volume& volume)
{
    VolumeIdentity identity{};
    if (FSVolumeGetDeviceInfoPath(path.c_str(), &identity) != 0)
        return false;
    volume = {path, path, identity};
    return true;
}

#endif

}  // namespace

std::vector<Volume> reader_volumes()
{
    std::vector<Volume> found;
#if defined(_WIN32)
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        Volume volume;
        if (identify(letter, volume) && IsEbookProduct(&volume.identity))
            found.push_back(volume);
    }
#else
    const int count = FSListReaderVolumes(nullptr, 0);
    if (count <= 0)
        return found;
    // Node paths are short; whole lines only, so a list that grew between
    // the two calls is cut, not broken.
    std::string list(static_cast<std::size_t>(count) * 256 + 1, '\0');
    FSListReaderVolumes(list.data(), static_cast<int>(list.size()));
    list.resize(std::strlen(list.c_str()));
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find('\n', start);
        if (end == std::string::npos)
            end = list.size();
        Volume volume;
        if (end > start && identify(list.substr(start, end - start), volume) && IsEbookProduct(&volume.identity))
            found.push_back(volume);
        start = end + 1;
    }
#endif
    return found;
}

bool named_volume(const std::string& device, Volume& volume)
{
#if defined(_WIN32)
    std::string rest = device;
    if (rest.starts_with("\\\\.\\"))
        rest.erase(0, 4);
    if (rest.size() == 2 && rest[1] == ':')
        rest.pop_back();
    if (rest.size() != 1 || !std::isalpha(static_cast<unsigned char>(rest[0])))
        return false;
    return identify(static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0]))), volume);
#else
    return identify(device, volume);
#endif
}

const char* volume_kind(const VolumeIdentity& identity)
{
    if (IsVenderSpecificReader(identity.vendor_specific))
        return "built-in storage";
    if (IsVenderSpecificSD(identity.vendor_specific))
        return "SD card";
    if (IsVenderSpecificMS(identity.vendor_specific))
        return "memory stick";
    return "other volume";
}

bool is_built_in(const VolumeIdentity& identity) { return IsVenderSpecificReader(identity.vendor_specific) != 0; }

std::string trimmed(const char* field)
{
    std::string text = field;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

}  // namespace tool
