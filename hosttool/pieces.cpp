#include "hosttool/pieces.hpp"

#include "hosttool/interrupts.hpp"
#include "hosttool/terminal.hpp"

#include <cstdio>

namespace tool {

bool shows_progress(long long total) { return total > kProgressFrom && stderr_is_terminal(); }

Progress::Progress(long long total, bool shown) : total_(total), shown_(shown && total > 0) {}

Progress::~Progress()
{
    if (shown_)
        close_open_line();
}

void Progress::moved(long long done)
{
    if (!shown_)
        return;
    if (done > total_)
        done = total_;  // a file that grew while it was read
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(done * kWidth / total_);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i)
        bar[i] = i < filled ? '#' : ' ';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%% %.1f / %.1f MiB", bar, static_cast<int>(done * 100 / total_),
                 static_cast<double>(done) / (1024 * 1024), static_cast<double>(total_) / (1024 * 1024));
    std::fflush(stderr);
    set_line_open(true);
}

}  // namespace tool
