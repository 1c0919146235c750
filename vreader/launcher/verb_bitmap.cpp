// vreader bitmap: write a test card as a 16-bit RGB565 bitmap file, the form
// the display programs load.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/state/files.hpp"

#include <algorithm>
#include <cstring>

namespace vreader::cli {
namespace {

// Gray level n (0 lightest .. 15 black) as the display programs draw it.
std::uint16_t gray(unsigned n)
{
    const unsigned rb = 30 - 2 * n;
    const unsigned g = 60 - 4 * n;
    return static_cast<std::uint16_t>(rb << 11 | g << 5 | rb);
}

// A white card with a black border, a black square in the top left corner to
// show orientation, the 16 gray levels as vertical stripes across the middle
// and the two diagonals.
std::uint16_t card_pixel(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h)
{
    const std::uint32_t border = std::max<std::uint32_t>(1, std::min(w, h) / 100);
    if (x < border || y < border || x >= w - border || y >= h - border)
        return gray(15);
    if (x < w / 8 && y < w / 8)
        return gray(15);
    if (y >= h * 3 / 8 && y < h * 5 / 8)
        return gray(static_cast<unsigned>(std::uint64_t{x} * 16 / w));
    // Within about a pixel of a line from corner to corner.
    const auto near = [&](std::uint64_t row) {
        const std::uint64_t a = std::uint64_t{x} * h;
        const std::uint64_t b = row * w;
        return (a > b ? a - b : b - a) < std::max(w, h);
    };
    if (near(y) || near(h - 1 - y))
        return gray(15);
    return gray(0);
}

void put16(std::string& out, std::uint32_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

void put32(std::string& out, std::uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// A BITMAPINFOHEADER file with RGB565 bit fields; rows bottom first, each
// padded to a multiple of 4 bytes.
std::string bitmap(std::uint32_t w, std::uint32_t h)
{
    const std::uint32_t row = (w * 2 + 3) / 4 * 4;
    const std::uint32_t header = 14 + 40 + 12;
    std::string out;
    out.reserve(header + std::size_t{row} * h);
    out += "BM";
    put32(out, header + row * h);
    put32(out, 0);
    put32(out, header);
    put32(out, 40);
    put32(out, w);
    put32(out, h);
    put16(out, 1);
    put16(out, 16);
    put32(out, 3);  // bit fields
    put32(out, row * h);
    put32(out, 2835);  // 72 dpi
    put32(out, 2835);
    put32(out, 0);
    put32(out, 0);
    put32(out, 0xF800);
    put32(out, 0x07E0);
    put32(out, 0x001F);
    for (std::uint32_t y = h; y-- > 0;) {
        for (std::uint32_t x = 0; x < w; ++x)
            put16(out, card_pixel(x, y, w, h));
        out.append(row - w * 2, '\0');
    }
    return out;
}

int run_bitmap(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    std::uint32_t width = 600;
    std::uint32_t height = 800;
    std::optional<std::string_view> file;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::string_view value;
        if (arg.starts_with("--size=")) {
            value = arg.substr(7);
            arg = "--size";
        } else if (arg == "--size") {
            if (i + 1 == args.size())
                return usage_error(verb, "--size needs a value");
            value = args[++i];
        }
        if (arg == "--size") {
            if (!parse_size(value, width, height))
                return usage_error(verb, "--size takes WIDTHxHEIGHT, each 1 to 4096: " + std::string(value));
        } else if (arg.starts_with("-")) {
            return usage_error(verb, "unknown option " + std::string(arg));
        } else if (file) {
            return usage_error(verb, "more than one file");
        } else {
            file = arg;
        }
    }
    if (!file)
        return usage_error(verb, "no file");
    if (const int e = replace_file(std::string(*file), bitmap(width, height)))
        return failure(verb, std::string(*file) + ": " + std::strerror(e));
    return 0;
}

}  // namespace

const Verb kBitmapVerb = {
    "bitmap",
    "FILE.bmp [--size WxH]",
    "write a test card bitmap for the display programs",
    "Writes a test card as a 16-bit RGB565 bitmap, the form the display\n"
    "programs load: white, with a black border, a black square in the top left\n"
    "corner, the 16 gray levels as stripes across the middle (lightest at the\n"
    "left) and both diagonals.\n\n"
    "  --size WxH   the card's size in pixels (default 600x800)\n",
    run_bitmap,
};

}  // namespace vreader::cli
