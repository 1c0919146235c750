// Named mutexes as lock files held with flock, machine-wide: "Global\NAME"
// is NAME.lock in the lock directory that the binding names. As a Windows
// mutex, a lock is owned by a thread and re-entrant for it; the host
// application creates the files, and a missing file (or one that fails the
// checks in lock_files.hpp) is a missing mutex.
#include "hostlib/os/handle_object.hpp"
#include "hostlib/os/host_system.hpp"
#include "hostlib/os/lock_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace hostos {
namespace {

// One per lock file in the process: the descriptor whose flock is the
// machine-wide lock, and the thread that owns it here.
struct LockFile {
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    std::thread::id owner;
    unsigned depth = 0;
    ~LockFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

struct Locks {
    std::mutex lock;
    std::condition_variable changed;
    std::map<std::string, std::shared_ptr<LockFile>> files;
};

Locks& locks()
{
    static Locks* instance = new Locks;  // outlives threads still running at exit
    return *instance;
}

struct MutexHandle : HandleObject {
    explicit MutexHandle(std::shared_ptr<LockFile> lock_file) : file(std::move(lock_file)) {}
    std::shared_ptr<LockFile> file;
};

std::string lock_file_name(std::string_view name)
{
    for (const std::string_view prefix : {"Global\\", "Local\\"})
        if (name.starts_with(prefix))
            name.remove_prefix(prefix.size());
    std::string file(name);
    for (char& c : file)
        if (c == '/' || c == '\\')
            c = '_';
    return file + ".lock";
}

// The lock file's path; empty when the binding has no lock directory.
std::string lock_file_path(const std::string& file)
{
    const std::string dir = lock_files::directory();
    return dir.empty() ? std::string() : dir + "/" + file;
}

// Why the open lock file `fd` may not serve as a mutex; null when it may.
// A file of this process's user that only some can read is opened to all.
const char* refusal(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return "cannot be examined";
    if (!S_ISREG(st.st_mode))
        return "is not a plain file";
    if (st.st_nlink != 1)
        return "has other links";
    constexpr mode_t kReadableByAll = S_IRUSR | S_IRGRP | S_IROTH;
    if ((st.st_mode & kReadableByAll) != kReadableByAll &&
        (st.st_uid != ::geteuid() || ::fchmod(fd, (st.st_mode & 07777) | kReadableByAll) != 0))
        return "is not readable by every user";
    return nullptr;
}

// The lock file at `path`, opened for its flock, or -1. With `create` a
// missing one is made, exclusively, so that no link is followed; no open
// follows a symbolic link or waits on a FIFO.
int open_lock_file(const std::string& path, bool create)
{
    constexpr int kOpen = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = -1;
    // Made by another process between the two opens: open that one.
    for (int attempt = 0; attempt < 3 && fd < 0; ++attempt) {
        fd = ::open(path.c_str(), kOpen);
        if (fd >= 0 || errno != ENOENT || !create)
            break;
        fd = ::open(path.c_str(), kOpen | O_CREAT | O_EXCL, 0644);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        if (errno == ELOOP)
            debug_output(("lock file " + path + " is a symbolic link: not used").c_str());
        return -1;
    }
    if (const char* why = refusal(fd)) {
        debug_output(("lock file " + path + " " + why + ": not used").c_str());
        ::close(fd);
        return -1;
    }
    return fd;
}

// flock, for ever or until `deadline`; the caller owns the lock in this
// process.
bool lock_file(int fd, std::uint32_t timeout_ms, std::chrono::steady_clock::time_point deadline)
{
    if (timeout_ms == kInfinite) {
        int result;
        while ((result = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        return result == 0;
    }
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

bool lock_files::shared_by_all_users(const char* path)
{
    struct stat st {};
    constexpr mode_t kShared = S_ISVTX | S_IWOTH | S_IXOTH;
    return path != nullptr && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == 0 &&
           (st.st_mode & kShared) == kShared;
}

bool create_mutex(const char* name)
{
    if (name == nullptr)
        return false;
    const std::string path = lock_file_path(lock_file_name(name));
    if (path.empty())
        return false;
    // Readable by everyone: flock needs no more than a read-only descriptor.
    const int fd = open_lock_file(path, true);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

Handle open_mutex(const char* name)
{
    if (name == nullptr)
        return nullptr;
    const std::string key = lock_file_name(name);
    const std::string path = lock_file_path(key);
    if (path.empty())
        return nullptr;
    const int fd = open_lock_file(path, false);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return nullptr;
    }
    Locks& l = locks();
    std::lock_guard held(l.lock);
    std::shared_ptr<LockFile>& file = l.files[key];
    // The process keeps one descriptor per file, since flock belongs to it;
    // a file made anew since, while nobody here holds it, replaces it.
    if (file && (file->depth != 0 || (file->device == st.st_dev && file->inode == st.st_ino))) {
        ::close(fd);
    } else {
        file = std::make_shared<LockFile>();
        file->fd = fd;
        file->device = st.st_dev;
        file->inode = st.st_ino;
    }
    return static_cast<HandleObject*>(new MutexHandle(file));
}

WaitResult wait(Handle handle, std::uint32_t timeout_ms)
{
    auto* mutex = dynamic_cast<MutexHandle*>(static_cast<HandleObject*>(handle));
    if (mutex == nullptr)
        return WaitResult::Failed;
    LockFile& file = *mutex->file;
    Locks& l = locks();
    const auto me = std::this_thread::get_id();
    std::unique_lock held(l.lock);
    if (file.depth != 0 && file.owner == me) {
        ++file.depth;
        return WaitResult::Signaled;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    const auto free_here = [&] { return file.depth == 0; };
    if (timeout_ms == kInfinite)
        l.changed.wait(held, free_here);
    else if (!l.changed.wait_until(held, deadline, free_here))
        return WaitResult::TimedOut;
    // Owned here from now on; other processes are waited for without
    // holding up this process's other locks.
    file.owner = me;
    file.depth = 1;
    held.unlock();
    const bool locked = lock_file(file.fd, timeout_ms, deadline);
    held.lock();
    if (locked)
        return WaitResult::Signaled;
    file.depth = 0;
    file.owner = {};
    l.changed.notify_all();
    return timeout_ms == kInfinite ? WaitResult::Failed : WaitResult::TimedOut;
}

void release_mutex(Handle handle)
{
    auto* mutex = dynamic_cast<MutexHandle*>(static_cast<HandleObject*>(handle));
    if (mutex == nullptr)
        return;
    LockFile& file = *mutex->file;
    Locks& l = locks();
    std::lock_guard held(l.lock);
    if (file.depth == 0 || file.owner != std::this_thread::get_id())
        return;
    if (--file.depth == 0) {
        ::flock(file.fd, LOCK_UN);
        file.owner = {};
        l.changed.notify_all();
    }
}

}  // namespace hostos
