// The PC's side, waiting as POSIX and Windows each allow: with poll() on
// the descriptor and the interrupt's descriptor; on Windows a pipe or a
// terminal is read and written by a worker thread while the run waits for
// either the transfer or the interrupt's event (ReadFile on a pipe cannot
// be woken otherwise everywhere), and a worker still blocked when the run
// ends ends with the process.
#include "hosttool/pc_io.hpp"

#include "hosttool/interrupts.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <climits>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tool {

std::string errno_text(int error) { return error != 0 ? std::strerror(error) : "failed"; }

namespace {

constexpr const char* kInterrupted = "interrupted";

#if defined(_WIN32)

// A transfer of a pipe or terminal, done by the worker thread in its own
// buffer: a transfer abandoned to an interrupt may still finish later.
struct Worker {
    HANDLE start = nullptr;
    HANDLE done = nullptr;
    HANDLE handle = nullptr;
    bool writing = false;
    DWORD asked = 0;
    DWORD moved = 0;
    BOOL ok = FALSE;
    DWORD error = 0;
    bool busy = false;  // handed over and not seen done
    unsigned char buffer[65536];
};

DWORD WINAPI work(void* argument)
{
    Worker& worker = *static_cast<Worker*>(argument);
    for (;;) {
        WaitForSingleObject(worker.start, INFINITE);
        worker.moved = 0;
        worker.ok = worker.writing ? WriteFile(worker.handle, worker.buffer, worker.asked, &worker.moved, nullptr)
                                   : ReadFile(worker.handle, worker.buffer, worker.asked, &worker.moved, nullptr);
        worker.error = worker.ok ? 0 : GetLastError();
        SetEvent(worker.done);
    }
}

// The worker, started on first use and never stopped; null if it cannot be.
Worker* worker()
{
    static Worker* const instance = [] {
        Worker* made = new Worker;
        made->start = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        made->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        HANDLE thread = made->start && made->done ? CreateThread(nullptr, 0, work, made, 0, nullptr) : nullptr;
        if (thread == nullptr)
            return static_cast<Worker*>(nullptr);
        CloseHandle(thread);
        return made;
    }();
    return instance;
}

enum class Moved { done, failed, interrupted };

// One ReadFile or WriteFile of at most `size` bytes, waiting as the handle
// needs; `moved` and `error` as the call left them.
Moved transfer(HANDLE handle, bool writing, unsigned char* data, DWORD size, DWORD& moved, DWORD& error)
{
    if (interrupted())
        return Moved::interrupted;
    Worker* const helper = GetFileType(handle) == FILE_TYPE_DISK ? nullptr : worker();
    if (helper == nullptr) {
        moved = 0;
        const BOOL ok =
            writing ? WriteFile(handle, data, size, &moved, nullptr) : ReadFile(handle, data, size, &moved, nullptr);
        error = ok ? 0 : GetLastError();
        return ok ? Moved::done : Moved::failed;
    }
    if (helper->busy)
        return Moved::interrupted;  // the worker still waits on an abandoned transfer
    helper->handle = handle;
    helper->writing = writing;
    helper->asked = std::min<DWORD>(size, sizeof helper->buffer);
    if (writing)
        std::memcpy(helper->buffer, data, helper->asked);
    helper->busy = true;
    SetEvent(helper->start);
    HANDLE events[2] = {helper->done, static_cast<HANDLE>(interrupt_event())};
    if (WaitForMultipleObjects(events[1] != nullptr ? 2 : 1, events, FALSE, INFINITE) != WAIT_OBJECT_0)
        return Moved::interrupted;
    helper->busy = false;
    moved = helper->moved;
    error = helper->error;
    if (!writing && helper->ok)
        std::memcpy(data, helper->buffer, moved);
    return helper->ok ? Moved::done : Moved::failed;
}

HANDLE os_handle(int descriptor) { return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)); }

#else

// Waits until `descriptor` is ready for `events`, or an interrupt is noted
// (false, "interrupted").
bool wait_ready(int descriptor, short events, std::string& error)
{
    pollfd ready[2] = {{descriptor, events, 0}, {interrupt_descriptor(), POLLIN, 0}};
    const nfds_t count = ready[1].fd >= 0 ? 2 : 1;
    while (::poll(ready, count, -1) < 0) {
        if (errno != EINTR && errno != EAGAIN) {
            error = errno_text(errno);
            return false;
        }
    }
    if (interrupted()) {
        error = kInterrupted;
        return false;
    }
    return true;
}

// Whether a write of any size goes through without waiting for a reader:
// a file or a disk. Elsewhere a write after poll() takes at most PIPE_BUF
// bytes, so that it does not block.
bool writes_whole(int descriptor)
{
    struct stat status;
    return ::fstat(descriptor, &status) == 0 && (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode));
}

#endif

}  // namespace

#if defined(_WIN32)

std::string windows_text(unsigned long code)
{
    char text[256] = {};
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                       nullptr) == 0)
        std::snprintf(text, sizeof text, "system error %lu", code);
    std::string said = text;
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == '.' || said.back() == ' '))
        said.pop_back();
    return said;
}

long long read_some(int descriptor, std::span<unsigned char> buffer, std::string& error)
{
    const HANDLE handle = os_handle(descriptor);
    if (handle == INVALID_HANDLE_VALUE) {
        error = errno_text(EBADF);
        return -1;
    }
    DWORD moved = 0, code = 0;
    const DWORD size = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
    switch (transfer(handle, false, buffer.data(), size, moved, code)) {
    case Moved::done:
        return moved;
    case Moved::interrupted:
        error = kInterrupted;
        return -1;
    case Moved::failed:
        break;
    }
    // A pipe whose writer closed it is at its end.
    if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF)
        return 0;
    error = windows_text(code);
    return -1;
}

bool write_all(int descriptor, std::span<const unsigned char> bytes, std::string& error)
{
    const HANDLE handle = os_handle(descriptor);
    if (handle == INVALID_HANDLE_VALUE) {
        error = errno_text(EBADF);
        return false;
    }
    for (std::size_t done = 0; done < bytes.size();) {
        DWORD moved = 0, code = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        switch (transfer(handle, true, const_cast<unsigned char*>(bytes.data() + done), size, moved, code)) {
        case Moved::done:
            done += moved;
            continue;
        case Moved::interrupted:
            error = kInterrupted;
            return false;
        case Moved::failed:
            error = windows_text(code);
            return false;
        }
    }
    return true;
}

bool write_output(std::string_view text, std::string& error)
{
    while (!text.empty()) {
        const unsigned size = static_cast<unsigned>(std::min<std::size_t>(text.size(), 1u << 20));
        const int written = _write(1, text.data(), size);
        if (written <= 0) {
            error = written < 0 ? errno_text(errno) : "nothing written";
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

#else

long long read_some(int descriptor, std::span<unsigned char> buffer, std::string& error)
{
    for (;;) {
        if (interrupted()) {
            error = kInterrupted;
            return -1;
        }
        if (!wait_ready(descriptor, POLLIN, error))
            return -1;
        const ssize_t got = ::read(descriptor, buffer.data(), buffer.size());
        if (got >= 0)
            return got;
        // Another reader of the same pipe may have taken what poll() saw.
        if (errno != EINTR && errno != EAGAIN) {
            error = errno_text(errno);
            return -1;
        }
    }
}

bool write_all(int descriptor, std::span<const unsigned char> bytes, std::string& error)
{
    const bool whole = writes_whole(descriptor);
    for (std::size_t done = 0; done < bytes.size();) {
        if (interrupted()) {
            error = kInterrupted;
            return false;
        }
        if (!wait_ready(descriptor, POLLOUT, error))
            return false;
        const std::size_t size = whole ? bytes.size() - done : std::min<std::size_t>(bytes.size() - done, PIPE_BUF);
        const ssize_t written = ::write(descriptor, bytes.data() + done, size);
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            error = errno_text(errno);
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

bool write_output(std::string_view text, std::string& error)
{
    while (!text.empty()) {
        const ssize_t written = ::write(1, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? errno_text(errno) : "nothing written";
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

#endif

}  // namespace tool
