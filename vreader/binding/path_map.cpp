#include "vreader/binding/path_map.hpp"

#include "vreader/binding/process.hpp"
#include "vreader/model/devices/gadget/kept_nodes.hpp"

#include <unistd.h>

#include <mutex>

namespace vreader {

MappedPath map_path(const char* path, bool follow_last, const char* base)
{
    if (path == nullptr || *path == '\0')
        return {};
    std::string cwd;
    if (*path != '/') {
        if (base != nullptr) {
            cwd = base;
        } else {
            char here[4096];
            if (::getcwd(here, sizeof here) == nullptr)
                return {};
            cwd = here;
        }
    }
    // The reader's trees are looked up under the process's lock, taken when
    // the walk first reaches them and held to its end; a walk on the host
    // alone never takes it (nor needs a reader).
    Process& process = Process::get();
    std::unique_lock lock(process.mutex, std::defer_lock);
    const auto reader = [&]() -> const ReaderDir& {
        if (!lock.owns_lock())
            lock.lock();
        return process.reader().dir;
    };
    const ReaderPath found = locate_path(path, cwd, follow_last, is_kept_node_path, reader);
    if (found.error != 0)
        return {Area::Host, {}, found.error};
    if (found.area == Area::Host && !found.followed)
        return {};
    return {found.area, found.path, 0};
}

}  // namespace vreader
