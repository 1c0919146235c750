// The system layer bound to Linux. The machine-wide named mutexes are lock
// files held with flock: "Global\NAME" is NAME.lock in the lock directory
// ($FENDRAC_LOCK_DIR; else "/run/lock" for root and $XDG_RUNTIME_DIR for
// other users, "/run/lock" when that is unset). As a Windows mutex, a lock
// is owned by a thread and re-entrant for it; the host application creates
// the files, and a missing file is a missing mutex. Debugger output goes
// to standard error when $FENDRAC_DEBUG is set.
#include "hostlib/os/host_eject.hpp"
#include "hostlib/os/host_system.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace hostos {
namespace {

struct Object {
    virtual ~Object() = default;
};

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

struct MutexHandle : Object {
    explicit MutexHandle(std::shared_ptr<LockFile> lock_file) : file(std::move(lock_file)) {}
    std::shared_ptr<LockFile> file;
};

std::string lock_directory()
{
    if (const char* dir = std::getenv("FENDRAC_LOCK_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    if (::geteuid() != 0)
        if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && *dir != '\0')
            return dir;
    return "/run/lock";
}

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

struct ThreadState {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
};

struct ThreadHandle : Object {
    std::shared_ptr<ThreadState> state = std::make_shared<ThreadState>();
    std::thread thread;
    ~ThreadHandle() override
    {
        if (!thread.joinable())
            return;
        bool done;
        {
            std::lock_guard held(state->lock);
            done = state->done;
        }
        // A worker that was given up on runs to its end on its own.
        if (done)
            thread.join();
        else
            thread.detach();
    }
};

}  // namespace

bool create_mutex(const char* name)
{
    if (name == nullptr)
        return false;
    // Readable by everyone: flock needs no more than a read-only descriptor.
    const int fd = ::open((lock_directory() + "/" + lock_file_name(name)).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
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
    const int fd = ::open((lock_directory() + "/" + key).c_str(), O_RDONLY | O_CLOEXEC);
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
    return static_cast<Object*>(new MutexHandle(file));
}

WaitResult wait(Handle handle, std::uint32_t timeout_ms)
{
    auto* mutex = dynamic_cast<MutexHandle*>(static_cast<Object*>(handle));
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
    auto* mutex = dynamic_cast<MutexHandle*>(static_cast<Object*>(handle));
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

void close_handle(Handle handle) { delete static_cast<Object*>(handle); }

void sleep_ms(std::uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

Handle create_thread(ThreadRoutine routine, void* argument)
{
    auto* handle = new ThreadHandle;
    try {
        handle->thread = std::thread([state = handle->state, routine, argument] {
            routine(argument);
            std::lock_guard held(state->lock);
            state->done = true;
            state->ended.notify_all();
        });
    } catch (...) {
        delete handle;
        return nullptr;
    }
    return static_cast<Object*>(handle);
}

WaitResult wait_thread(Handle thread, std::uint32_t timeout_ms)
{
    auto* worker = dynamic_cast<ThreadHandle*>(static_cast<Object*>(thread));
    if (worker == nullptr)
        return WaitResult::Failed;
    ThreadState& state = *worker->state;
    std::unique_lock held(state.lock);
    const auto done = [&] { return state.done; };
    if (timeout_ms == kInfinite)
        state.ended.wait(held, done);
    else if (!state.ended.wait_for(held, std::chrono::milliseconds(timeout_ms), done))
        return WaitResult::TimedOut;
    return WaitResult::Signaled;
}

// A thread cannot be stopped safely from outside: it is left to end on its
// own, and its result is ignored.
void terminate_thread(Handle) {}

void debug_output(const char* text)
{
    static const bool wanted = std::getenv("FENDRAC_DEBUG") != nullptr;
    if (wanted && text != nullptr)
        std::fprintf(stderr, "fendrac: %s\n", text);
}

void debug_output_wide(const wchar_t* text)
{
    if (text == nullptr)
        return;
    std::string narrow;
    std::mbstate_t state{};
    for (; *text != L'\0'; ++text) {
        char bytes[MB_LEN_MAX];
        const std::size_t n = std::wcrtomb(bytes, *text, &state);
        if (n == static_cast<std::size_t>(-1)) {
            narrow += '?';
            state = {};
        } else {
            narrow.append(bytes, n);
        }
    }
    debug_output(narrow.c_str());
}

std::uint32_t current_process_id() { return static_cast<std::uint32_t>(::getpid()); }

std::int32_t com_initialize() { return 0; }
void com_uninitialize() {}

// The C library's multibyte conversion in the current locale stands in for
// the ANSI code page; a byte that does not convert stands for itself.
std::wstring ansi_to_wide(std::string_view text)
{
    std::wstring wide;
    std::mbstate_t state{};
    while (!text.empty()) {
        wchar_t c;
        const std::size_t n = std::mbrtowc(&c, text.data(), text.size(), &state);
        if (n == 0 || n > text.size()) {
            wide += static_cast<wchar_t>(static_cast<unsigned char>(text.front()));
            text.remove_prefix(1);
            state = {};
        } else {
            wide += c;
            text.remove_prefix(n);
        }
    }
    return wide;
}

}  // namespace hostos
