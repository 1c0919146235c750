// The virtual reader's binding of the platform layer, files and descriptors:
// device nodes under /dev go to the reader's models, /sys and /proc to the
// reader's own directories (the attributes a model answers excepted), the
// nodes programs make under /tmp/lun* to the reader's kept nodes, everything
// else to the C library. Time and the
// system's other services are in sys_virtual_system.cpp.
#include "platform/sys.hpp"

#include "platform/standard_descriptors.hpp"
#include "vreader/binding/binding_calls.hpp"
#include "vreader/binding/path_map.hpp"
#include "vreader/binding/process.hpp"
#include "vreader/model/core/device_nodes.hpp"
#include "vreader/model/devices/gadget/kept_nodes.hpp"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace sys {
namespace {

using binding::fail;
using binding::guarded;
using binding::journal_call;
using binding::model_result;
using binding::wait_for_input;
using vreader::Area;
using vreader::JsonLine;
using vreader::Process;

// Runs `model` on a modelled descriptor, `libc` on any other, the lock
// held only while the model works. When a model queued input, the threads
// waiting for input are woken.
template <class R, class Model, class Libc>
R on_descriptor(int fd, Model model, Libc libc) noexcept
{
    return guarded<R>(static_cast<R>(-1), [&]() -> R {
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        if (auto* file = process.file(fd)) {
            const std::uint64_t events = process.reader().input_events;
            const R result = model_result<R>(model(*file));
            if (process.reader().input_events != events)
                process.changed.notify_all();
            return result;
        }
        lock.unlock();
        return libc();
    });
}

// Before main and before the program's other constructors (101 is the first
// priority left to programs), so that no model and no host file can take a
// closed standard descriptor.
[[gnu::constructor(101)]] void standard_descriptors_at_start() { open_standard_descriptors(); }

// The file in the reader's directory that a /sys or /proc path stands for.
std::string reader_file(const vreader::MappedPath& where)
{
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    return process.reader().dir.path() + where.normal;
}

// A /sys attribute that a model answers, such as the sub-CPU's control mode.
bool modelled_attribute(const vreader::MappedPath& where)
{
    if (where.area != Area::Sys)
        return false;
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    return vreader::find_node(process.reader().dir.config(), where.normal) != nullptr;
}

int open_mapped(const vreader::MappedPath& where, int flags, mode_t mode)
{
    if (where.area == Area::Kept) {
        Process& process = Process::get();
        const std::lock_guard lock(process.mutex);
        return model_result<int>(vreader::open_kept_node(process.reader(), where.normal, flags));
    }
    if (where.area != Area::Dev && !modelled_attribute(where))
        return ::open(reader_file(where).c_str(), flags, mode);
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    vreader::ReaderContext& reader = process.reader();
    const int fd = binding::model_descriptor();
    if (fd < 0)
        return -1;
    std::unique_ptr<vreader::DeviceFile> file;
    const std::int64_t result = vreader::open_node(reader, where.normal, flags, fd, file);
    if (result < 0) {
        ::close(fd);
        return fail<int>(static_cast<int>(-result));
    }
    process.files[fd] = std::move(file);
    return fd;
}

// An open follows a last link unless told not to, or unless it must make
// the name itself (O_CREAT | O_EXCL fails on any link there).
bool open_follows(int flags) { return (flags & O_NOFOLLOW) == 0 && (flags & (O_CREAT | O_EXCL)) != (O_CREAT | O_EXCL); }

// The directory a real descriptor stands for, as a program path: the
// reader's own sys/ and proc/ are /sys and /proc again. Empty when unknown.
std::string directory_of(int dirfd)
{
    char link[4096];
    const std::string self = "/proc/self/fd/" + std::to_string(dirfd);
    const ssize_t n = ::readlink(self.c_str(), link, sizeof link - 1);
    if (n <= 0 || link[0] != '/')
        return {};
    std::string dir(link, static_cast<std::size_t>(n));
    // The kernel names the directory by its real path: so must the reader's.
    // Its directory is VREADER_DIR's; a program without one has none.
    const char* reader = std::getenv("VREADER_DIR");
    char* real = reader != nullptr ? ::realpath(reader, nullptr) : nullptr;
    if (real == nullptr)
        return dir;
    const std::string root = real;
    std::free(real);
    for (const char* tree : {"/sys", "/proc"})
        if (vreader::path_within(dir, root + tree))
            return dir.substr(root.size());
    return dir;
}

int open_where(const vreader::MappedPath& where, const char* path, int flags, mode_t mode)
{
    if (where.error != 0)
        return fail<int>(where.error);
    if (where.area == Area::Host)
        return ::open(where.host(path), flags, mode);
    return open_mapped(where, flags, mode);
}

}  // namespace

int open(const char* path, int flags, mode_t mode) noexcept
{
    return guarded(-1, [&] { return open_where(vreader::map_path(path, open_follows(flags)), path, flags, mode); });
}

int openat(int dirfd, const char* path, int flags, mode_t mode) noexcept
{
    return guarded(-1, [&] {
        if (path == nullptr || path[0] == '/' || dirfd == AT_FDCWD)
            return sys::open(path, flags, mode);
        Process& process = Process::get();
        {
            const std::lock_guard lock(process.mutex);
            if (process.file(dirfd) != nullptr)
                return fail<int>(ENOTDIR);
        }
        // Relative to the directory: its links lead where a path's would.
        const std::string base = directory_of(dirfd);
        const auto where =
            base.empty() ? vreader::MappedPath{} : vreader::map_path(path, open_follows(flags), base.c_str());
        if (where.error == 0 && where.area == Area::Host && where.normal.empty())
            return ::openat(dirfd, path, flags, mode);
        return open_where(where, path, flags, mode);
    });
}

int close(int fd) noexcept
{
    return guarded(-1, [&] {
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        const auto it = process.files.find(fd);
        if (it == process.files.end()) {
            lock.unlock();
            return ::close(fd);
        }
        const std::unique_ptr<vreader::DeviceFile> file = std::move(it->second);
        process.files.erase(it);
        ::close(fd);
        return model_result<int>(file->close());
    });
}

ssize_t read(int fd, void* buf, size_t count) noexcept
{
    return guarded<ssize_t>(-1, [&]() -> ssize_t {
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        if (process.file(fd) == nullptr) {
            lock.unlock();
            return ::read(fd, buf, count);
        }
        vreader::DeviceFile* file = wait_for_input(process, lock, fd);
        if (file == nullptr)
            return fail<ssize_t>(EBADF);
        return model_result<ssize_t>(file->read(buf, count));
    });
}

ssize_t write(int fd, const void* buf, size_t count) noexcept
{
    return on_descriptor<ssize_t>(
        fd, [&](vreader::DeviceFile& file) { return file.write(buf, count); }, [&] { return ::write(fd, buf, count); });
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) noexcept
{
    return on_descriptor<ssize_t>(
        fd, [&](vreader::DeviceFile& file) { return file.pread(buf, count, offset); },
        [&] { return ::pread(fd, buf, count, offset); });
}

ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) noexcept
{
    return on_descriptor<ssize_t>(
        fd, [&](vreader::DeviceFile& file) { return file.pwrite(buf, count, offset); },
        [&] { return ::pwrite(fd, buf, count, offset); });
}

off_t lseek(int fd, off_t offset, int whence) noexcept
{
    return on_descriptor<off_t>(
        fd, [&](vreader::DeviceFile& file) { return file.lseek(offset, whence); },
        [&] { return ::lseek(fd, offset, whence); });
}

int ioctl(int fd, unsigned long request, void* arg) noexcept
{
    return on_descriptor<int>(
        fd, [&](vreader::DeviceFile& file) { return file.ioctl(request, arg); },
        [&] { return ::ioctl(fd, request, arg); });
}

void* mmap(void* addr, size_t length, int prot, int flags, int fd, off_t offset) noexcept
{
    return guarded(MAP_FAILED, [&]() -> void* {
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        auto* file = process.file(fd);
        if (file == nullptr) {
            lock.unlock();
            return ::mmap(addr, length, prot, flags, fd, offset);
        }
        void* address = MAP_FAILED;
        const std::int64_t result = file->mmap(addr, length, prot, flags, offset, address);
        if (result < 0) {
            errno = static_cast<int>(-result);
            return MAP_FAILED;
        }
        process.mappings[reinterpret_cast<std::uintptr_t>(address)] = length;
        return address;
    });
}

int munmap(void* addr, size_t length) noexcept
{
    return guarded(-1, [&] {
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        const auto it = process.mappings.find(reinterpret_cast<std::uintptr_t>(addr));
        if (it == process.mappings.end()) {
            lock.unlock();
            return ::munmap(addr, length);
        }
        const int result = ::munmap(addr, length);
        const int error = result < 0 ? errno : 0;
        if (result == 0 && length >= it->second)
            process.mappings.erase(it);
        JsonLine line("munmap");
        line.add("length", length);
        line.set_result(result, error);
        process.reader().session().record(line);
        errno = error;
        return result;
    });
}

int stat(const char* path, struct ::stat* st) noexcept
{
    return guarded(-1, [&] {
        const auto where = vreader::map_path(path);
        if (where.error != 0)
            return fail<int>(where.error);
        if (where.area == Area::Host)
            return ::stat(where.host(path), st);
        if (where.area == Area::Kept) {
            Process& process = Process::get();
            const std::lock_guard lock(process.mutex);
            return model_result<int>(vreader::stat_kept_node(process.reader(), where.normal, *st));
        }
        if (where.area != Area::Dev && !modelled_attribute(where))
            return ::stat(reader_file(where).c_str(), st);
        Process& process = Process::get();
        const std::lock_guard lock(process.mutex);
        vreader::ReaderContext& reader = process.reader();
        const vreader::DeviceNode* node = vreader::find_node(reader.dir.config(), where.normal);
        if (node == nullptr || (node->exists != nullptr && !node->exists(reader.dir, where.normal)))
            return fail<int>(ENOENT);
        vreader::node_stat(reader.dir.config(), *node, *st);
        return 0;
    });
}

// Journaled for every descriptor, files included, so that a program's
// failure to learn a file's size can be played with a fault.
int fstat(int fd, struct ::stat* st) noexcept
{
    return guarded(-1, [&] {
        Process& process = Process::get();
        const std::lock_guard lock(process.mutex);
        JsonLine line("fstat");
        line.add("fd", fd);
        struct ::stat found {};
        int error = 0;
        if (auto* file = process.file(fd)) {
            line.add("path", file->path());
            file->fill_stat(found);
        } else if (::fstat(fd, &found) != 0) {
            error = errno;
        }
        if ((error = journal_call(process, line, error)) != 0)
            return fail<int>(error);
        *st = found;
        return 0;
    });
}

int fsync(int fd) noexcept
{
    return on_descriptor<int>(
        fd, [](vreader::DeviceFile& file) { return file.fsync(); }, [&] { return ::fsync(fd); });
}

int tcgetattr(int fd, struct termios* t) noexcept
{
    return on_descriptor<int>(
        fd, [&](vreader::DeviceFile& file) { return file.tcgetattr(*t); }, [&] { return ::tcgetattr(fd, t); });
}

int tcsetattr(int fd, int optional_actions, const struct termios* t) noexcept
{
    return on_descriptor<int>(
        fd, [&](vreader::DeviceFile& file) { return file.tcsetattr(optional_actions, *t); },
        [&] { return ::tcsetattr(fd, optional_actions, t); });
}

// Speeds only change the record; the C library's own functions do that.
int cfsetispeed(struct termios* t, speed_t speed) noexcept { return ::cfsetispeed(t, speed); }
int cfsetospeed(struct termios* t, speed_t speed) noexcept { return ::cfsetospeed(t, speed); }

int unlink(const char* path) noexcept
{
    return guarded(-1, [&] {
        // The name itself goes, a link included: its last link is not followed.
        const auto where = vreader::map_path(path, false);
        if (where.error != 0)
            return fail<int>(where.error);
        if (where.area == Area::Host)
            return ::unlink(where.host(path));
        Process& process = Process::get();
        std::unique_lock lock(process.mutex);
        vreader::ReaderContext& reader = process.reader();
        // Nodes a program made under /tmp/lun* are the reader's, never the host's.
        if (where.area == Area::Kept)
            return model_result<int>(vreader::remove_node(reader, where.normal));
        if (where.area != Area::Dev) {
            const std::string host = reader.dir.path() + where.normal;
            lock.unlock();
            return ::unlink(host.c_str());
        }
        // The modelled nodes belong to the device models.
        return fail<int>(vreader::find_node(reader.dir.config(), where.normal) == nullptr ? ENOENT : EACCES);
    });
}

ssize_t read_text(const char* path, char* buf, size_t size) noexcept
{
    if (size == 0)
        return fail<ssize_t>(EINVAL);
    const int fd = sys::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t used = 0;
    while (used < size - 1) {
        const ssize_t n = sys::read(fd, buf + used, size - 1 - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            sys::close(fd);
            return fail<ssize_t>(saved);
        }
        if (n == 0)
            break;
        used += static_cast<size_t>(n);
    }
    buf[used] = '\0';
    sys::close(fd);
    return static_cast<ssize_t>(used);
}

int write_text(const char* path, const char* text) noexcept
{
    // The reader's sys/ and proc/ hold plain files; a store to an attribute
    // replaces its value, so the file is emptied first.
    const auto area = guarded(Area::Host, [&] { return vreader::map_path(path).area; });
    const bool attribute = area == Area::Sys || area == Area::Proc;
    const int fd = sys::open(path, O_WRONLY | O_CLOEXEC | (attribute ? O_TRUNC : 0));
    if (fd < 0)
        return -1;
    const size_t length = std::strlen(text);
    const ssize_t n = sys::write(fd, text, length);
    const int saved = errno;
    sys::close(fd);
    if (n < 0)
        return fail<int>(saved);
    if (static_cast<size_t>(n) != length)
        return fail<int>(EIO);
    return 0;
}

}  // namespace sys
