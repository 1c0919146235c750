// What the functions of the virtual binding share: C-library style results,
// allocation failures kept inside, and journaling the calls that only the
// binding sees.
#pragma once

#include "vreader/binding/process.hpp"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace sys::binding {

using vreader::JsonLine;
using vreader::Process;

template <class R>
R fail(int error)
{
    errno = error;
    return static_cast<R>(-1);
}

// A model result (>= 0, or -errno) as the C library reports it.
template <class R>
R model_result(std::int64_t result)
{
    return result < 0 ? fail<R>(static_cast<int>(-result)) : static_cast<R>(result);
}

// Runs `body`; a failure to allocate inside the model becomes ENOMEM. No
// C library call sets errno to 0, so the model's own work (a parse that
// clears errno first) must not either: a program that reads errno after a
// call that worked sees what it saw before, as on the reader.
template <class R, class Body>
R guarded(R failure, Body body) noexcept
{
    const int before = errno;
    try {
        R result = body();
        if (errno == 0)
            errno = before;
        return result;
    } catch (...) {
        errno = ENOMEM;
        return failure;
    }
}

// The real descriptor held for a modelled node or socket, of /dev/null: its
// number keeps the model apart from real descriptors. Never 0, 1 or 2, even
// in a program that closed one of them itself: what it prints or reads
// there must not reach a model.
inline int model_descriptor()
{
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0 || fd > 2)
        return fd;
    const int above = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int error = errno;
    ::close(fd);
    errno = error;
    return above;
}

// Journals a request that only this binding sees and injects its fault.
// Returns 0 or the errno of an injected fault.
inline int journal_call(Process& process, JsonLine& line, int error)
{
    auto session = process.reader().session();
    const int fault = session.take_fault(line.request()).error;
    if (fault != 0)
        error = fault;
    session.commit();
    line.set_result(error != 0 ? -1 : 0, error, fault != 0);
    session.record(line);
    return error;
}

// A read that would wait: on a real descriptor behind the model (a
// pseudo-terminal) it waits for that one, the lock released; for what the
// device sends unasked (the modem's unsolicited lines), on the virtual clock
// until it comes, as a poll would; for input that only another thread of
// this process can bring, until a model queues input. Nothing can come when
// there is none of these: the model answers.
inline vreader::DeviceFile* wait_for_input(Process& process, std::unique_lock<std::mutex>& lock, int fd)
{
    vreader::DeviceFile* file = process.file(fd);
    while (file != nullptr && file->read_would_block()) {
        if (const int input = file->input_fd(); input >= 0) {
            lock.unlock();
            struct pollfd wait {
                input, POLLIN, 0
            };
            ::poll(&wait, 1, -1);
            lock.lock();
        } else if (const std::int64_t after = file->unasked_input_after(); after >= 0) {
            process.reader().clock_ns += static_cast<std::uint64_t>(after);
            file->unasked_input_arrives();
        } else if (process.threads_started > 0) {
            process.changed.wait(lock);
        } else {
            break;
        }
        file = process.file(fd);
    }
    return file;
}

}  // namespace sys::binding
