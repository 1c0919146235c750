// What a program prints on standard output is its result: the values it
// read, the "OK" a factory script looks for. A result that never reached
// its reader (a full disk, a broken device) is no success.
#pragma once

#include <cerrno>
#include <cstdio>

namespace sys {

// Says on standard error that standard output failed with `error`.
inline void report_standard_output_error(int error) noexcept
{
    std::fprintf(stderr, "stdout write error (%d)\n", error);
}

// Flushes standard output. When that fails, or an earlier write to it did,
// says so on standard error ("stdout write error (ERRNO)") and returns the
// error (EIO when the stream kept none); otherwise 0.
inline int flush_standard_output() noexcept
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = flushed ? 0 : errno;
    if (flushed && !std::ferror(stdout))
        return 0;
    const int reported = error != 0 ? error : EIO;
    report_standard_output_error(reported);
    return reported;
}

// A program's exit status: `status`, or `failure` in place of a success
// whose output did not reach standard output.
inline int with_standard_output(int status, int failure) noexcept
{
    const int error = flush_standard_output();
    return status == 0 && error != 0 ? failure : status;
}

}  // namespace sys
