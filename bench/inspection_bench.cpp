// The inspection layer's drawing: a rectangle's outline, a filled
// rectangle, and the dirty-area refresh, straight into framebuffer memory;
// against one memcpy of the same area.
#include "tpinspect/epd.hpp"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 800;

struct Layer {
    Layer() { epd::epd_initialize(); }
    ~Layer() { epd::epd_finalize(); }
};

void OutlineFillAndFlush(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    Layer layer;
    int gray = 0;
    for (auto _ : state) {
        epd::epd_drawrect(10, 10, side, side, gray);
        epd::epd_drawfillrect(11, 11, side - 2, side - 2, 15 - gray);
        epd::epd_flush_area();
        gray = (gray + 1) & 15;
    }
}

void OneCopyOfTheArea(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    std::vector<std::uint16_t> from(std::size_t(kWidth + 8) * kHeight, 3), to(from.size());
    for (auto _ : state) {
        for (int row = 0; row < side; ++row)
            std::memcpy(&to[std::size_t(10 + row) * (kWidth + 8) + 10], &from[std::size_t(10 + row) * (kWidth + 8) + 10],
                        std::size_t(side) * 2);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(OutlineFillAndFlush)->Arg(64)->Arg(400);
BENCHMARK(OneCopyOfTheArea)->Arg(64)->Arg(400);
BENCHMARK_MAIN();
