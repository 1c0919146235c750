// What to tell a user whose reader volume does not open (see access_hint.hpp).
#include "hosttool/access_hint.hpp"

#if !defined(_WIN32)
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#endif

namespace tool {

#if defined(_WIN32)
std::string access_hint(const std::string&) { return {}; }
#else
namespace {

constexpr int kCapSysRawio = 17;

bool has_raw_io()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return true;  // nothing known: no hint
    char line[256];
    unsigned long long effective = ~0ULL;
    while (std::fgets(line, sizeof line, status) != nullptr)
        if (std::sscanf(line, "CapEff: %llx", &effective) == 1)
            break;
    std::fclose(status);
    return (effective >> kCapSysRawio & 1) != 0;
}

// The disk's generic node, from sysfs, or "".
std::string generic_node(const std::string& node)
{
    const std::size_t slash = node.rfind('/');
    const std::string name = slash == std::string::npos ? node : node.substr(slash + 1);
    DIR* listing = ::opendir(("/sys/block/" + name + "/device/scsi_generic").c_str());
    if (listing == nullptr)
        return {};
    std::string found;
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] != '.') {
            found = std::string("/dev/") + entry->d_name;
            break;
        }
    }
    ::closedir(listing);
    return found;
}

}  // namespace

std::string access_hint(const std::string& node)
{
    struct stat st {};
    if (::stat(node.c_str(), &st) != 0 || !S_ISBLK(st.st_mode) || has_raw_io())
        return {};
    std::string hint =
        ": the kernel passes the reader's commands through a disk node only with CAP_SYS_RAWIO "
        "(run as root)";
    if (const std::string generic = generic_node(node); !generic.empty())
        hint += ", or use its generic node " + generic + ", where read and write access is enough";
    return hint;
}
#endif

}  // namespace tool
