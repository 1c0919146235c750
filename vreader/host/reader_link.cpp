// The reader the virtual library's device layers reach: the one in
// $VREADER_DIR, opened once, one exchange at a time.
#include "vreader/host/reader_link.hpp"
#include "vreader/model/usb/usb_storage.hpp"

#include <cstdlib>
#include <memory>

namespace hostos {
namespace {

struct Reader {
    std::mutex lock;
    std::unique_ptr<vreader::UsbStorage> storage;
    bool tried = false;
};

Reader& reader()
{
    static Reader instance;
    return instance;
}

}  // namespace

// Windows programs under Wine see the Unix root as drive Z:.
std::string virtual_reader::directory()
{
    const char* dir = std::getenv("VREADER_DIR");
    if (dir == nullptr || *dir == '\0')
        return {};
    std::string path = dir;
#if defined(_WIN32)
    if (path.front() == '/')
        path = "Z:" + path;
#endif
    return path;
}

std::mutex& virtual_reader::lock() { return reader().lock; }

vreader::UsbStorage* virtual_reader::storage()
{
    Reader& r = reader();
    if (!r.tried) {
        r.tried = true;
        const std::string dir = directory();
        if (!dir.empty()) {
            std::string error;
            r.storage = vreader::UsbStorage::open(dir, error);
        }
    }
    return r.storage.get();
}

}  // namespace hostos
