#include "hosttool/pieces.hpp"

#include <algorithm>
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

int move_in_pieces(long long total, bool progress, const std::function<int(int position, int length)>& move)
{
    if (total <= 0)
        return move(0, 0);
    int result = 0;
    long long done = 0;
    while (done < total) {
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
