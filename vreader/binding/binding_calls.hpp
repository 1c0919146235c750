// What the functions of the virtual binding share: C-library style results,
// allocation failures kept inside, and journaling the calls that only the
// binding sees.
#pragma once

#include "vreader/binding/process.hpp"

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

// Runs `body`; a failure to allocate inside the model becomes ENOMEM.
template <class R, class Body>
R guarded(R failure, Body body) noexcept
{
    try {
        return body();
    } catch (...) {
        errno = ENOMEM;
        return failure;
    }
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

}  // namespace sys::binding
