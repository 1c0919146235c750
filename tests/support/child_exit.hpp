// Ends a forked test child. In the coverage build the child first writes
// the counters of the code it ran, which _exit alone would lose.
#pragma once

#include <unistd.h>

#ifdef READER_COVERAGE_BUILD
extern "C" void __gcov_dump(void);
#endif

namespace testing_support {

[[noreturn]] inline void end_child(int status)
{
#ifdef READER_COVERAGE_BUILD
    __gcov_dump();
#endif
    ::_exit(status);
}

}  // namespace testing_support
