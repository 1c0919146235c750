#include "hosttool/pieces.hpp"

#include <algorithm>
#include <csignal>
#include <cstdio>
#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace tool {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void note_interrupt(int) { g_interrupted = 1; }

// The interrupt handlers while a transfer runs; the defaults before and
// after, so that a wait for the reader can still be interrupted at once.
class Interruptible {
public:
    Interruptible()
    {
        g_interrupted = 0;
        std::signal(SIGINT, note_interrupt);
        std::signal(SIGTERM, note_interrupt);
    }
    ~Interruptible()
    {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    Interruptible(const Interruptible&) = delete;
    Interruptible& operator=(const Interruptible&) = delete;
};

void draw(long long done, long long total)
{
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(done * kWidth / total);
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i)
        bar[i] = i < filled ? '#' : ' ';
    bar[kWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%% %.1f / %.1f MiB", bar, static_cast<int>(done * 100 / total),
                 static_cast<double>(done) / (1024 * 1024), static_cast<double>(total) / (1024 * 1024));
    std::fflush(stderr);
}

}  // namespace

bool shows_progress(long long total) { return total > kProgressFrom && isatty(fileno(stderr)); }

int move_in_pieces(long long total, bool progress, bool& interrupted,
                   const std::function<int(int position, int length)>& move)
{
    interrupted = false;
    if (total <= 0)
        return move(0, 0);
    const Interruptible interruptible;
    int result = 0;
    long long done = 0;
    while (done < total) {
        if (g_interrupted) {
            interrupted = true;
            break;
        }
        const int length = static_cast<int>(std::min<long long>(kPieceBytes, total - done));
        if ((result = move(static_cast<int>(done), length)) != 0)
            break;
        done += length;
        if (progress)
            draw(done, total);
    }
    if (progress)
        std::fputc('\n', stderr);
    return result;
}

}  // namespace tool
