// morvane "file" of a full-screen bitmap: load the file, clip it, and copy
// the picture into framebuffer memory with its row stride; against two
// memcpy of the same frame (into the image buffer, then the framebuffer).
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kStridePad = 8;

// A full-screen RGB565 bitmap in a temporary file.
std::string write_bitmap(int width, int height)
{
    const std::uint32_t row = static_cast<std::uint32_t>(2 * width + 3) & ~3u;
    std::vector<std::uint8_t> file(54 + std::size_t(row) * height);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, static_cast<std::uint32_t>(file.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));
    for (std::size_t i = 54; i < file.size(); ++i)
        file[i] = static_cast<std::uint8_t>(i * 31);
    const std::string path = "/tmp/bench-" + std::to_string(getpid()) + "-" + std::to_string(width) + ".bmp";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(file.data(), 1, file.size(), out);
    std::fclose(out);
    return path;
}

// The state morvane sets up at start: a framebuffer of the screen's size
// with its padded rows, and the image buffer.
struct Screen {
    std::vector<std::uint16_t> framebuffer;
    std::vector<std::uint16_t> image;
    Screen(int width, int height)
        : framebuffer(std::size_t(width + kStridePad) * height), image(std::size_t(width) * height)
    {
        using namespace morvane;
        ResX = width;
        ResY = height;
        mmapaddr = framebuffer.data();
        mmaplen = framebuffer.size() * 2;
        imgbuf = image.data();
        imgbuf_len = image.size() * 2;
        var_info = {};
        var_info.xres = static_cast<std::uint32_t>(width);
        var_info.yres = static_cast<std::uint32_t>(height);
        var_info.xres_virtual = static_cast<std::uint32_t>(width + kStridePad);
        var_info.yres_virtual = static_cast<std::uint32_t>(height);
        var_info.bits_per_pixel = 16;
    }
};

void MorvaneFile(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const std::string path = write_bitmap(width, height);
    Screen screen(width, height);
    for (auto _ : state) {
        int w = 0;
        int h = 0;
        morvane::load_img_file(path.c_str(), 0, 0, &w, &h);
        morvane::write_img_to_fb(0, 0, w, h, morvane::var_info);
        benchmark::DoNotOptimize(screen.framebuffer.data());
        benchmark::ClobberMemory();
    }
    unlink(path.c_str());
}

void TwoCopiesOfTheFrame(benchmark::State& state)
{
    const std::size_t bytes = std::size_t(state.range(0)) * state.range(1) * 2;
    std::vector<std::uint8_t> file(bytes, 1), image(bytes), framebuffer(bytes);
    for (auto _ : state) {
        std::memcpy(image.data(), file.data(), bytes);
        std::memcpy(framebuffer.data(), image.data(), bytes);
        benchmark::DoNotOptimize(framebuffer.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(MorvaneFile)->Args({600, 800})->Args({1404, 1872});
BENCHMARK(TwoCopiesOfTheFrame)->Args({600, 800})->Args({1404, 1872});
BENCHMARK_MAIN();
