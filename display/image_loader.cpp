// Image files for display. A bitmap ("BM", info header larger than 12 bytes)
// holds RGB565 rows bottom-first, each padded to 4 bytes, at the end of the
// file; any other file holds a full-screen picture in its last
// ResX * ResY * 2 bytes, also bottom row first. Whatever a header declares,
// only bytes inside the file are read and only pixels inside the picture
// are written.
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"
#include "platform/unique_fd.hpp"

#include <fcntl.h>

#include <algorithm>
#include <cstring>

namespace morvane {
namespace {

constexpr int64_t kBitmapHeaderEnd = 26;  // width at 18, height at 22

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool is_bitmap(const uint8_t* file, int64_t size)
{
    return size >= kBitmapHeaderEnd && file[0] == 'B' && file[1] == 'M' && le32(file + 14) > 12;
}

void fill_picture(uint16_t value) { std::fill_n(imgbuf, picture_pixels(), value); }

// Where the pixel rows lie in the file and how big the drawn area is.
struct Layout {
    int64_t rows_start;  // file offset of the first row stored; may be negative
    int64_t row_size;    // bytes per stored row
    int width;           // clipped
    int height;          // clipped
};

Layout bitmap_layout(const uint8_t* file, int64_t size, int left, int top)
{
    const int64_t width = static_cast<int32_t>(le32(file + 18));
    const int64_t height = static_cast<int32_t>(le32(file + 22));
    const int64_t row_size = (2 * width + 3) & ~int64_t{3};
    // A header with no positive size draws nothing; keep the arithmetic away
    // from its extreme values.
    const int64_t rows_start = width > 0 && height > 0 ? size - row_size * height : 0;
    return {rows_start, row_size, static_cast<int>(std::min<int64_t>(width, int64_t{ResX} - left)),
            static_cast<int>(std::min<int64_t>(height, int64_t{ResY} - top))};
}

Layout raw_layout(int64_t size, int left, int top)
{
    const int64_t row_size = 2 * int64_t{ResX};
    return {size - row_size * ResY, row_size, static_cast<int>(int64_t{ResX} - left),
            static_cast<int>(int64_t{ResY} - top)};
}

// Copies the drawn area: picture row top + i takes file row height - 1 - i,
// so the first row stored lands at the bottom. Columns outside the picture
// and bytes outside the file are skipped.
void draw_rows(const uint8_t* file, int64_t size, const Layout& layout, int left, int top)
{
    const size_t capacity = picture_pixels();
    for (int64_t i = std::max<int64_t>(0, -int64_t{top}); i < layout.height && top + i < ResY; ++i) {
        const int64_t y = top + i;
        const int64_t row = layout.rows_start + (layout.height - 1 - i) * layout.row_size;
        // Pixel j of this row is the two bytes at row + 2j; keep the j whose
        // bytes lie in the file and whose column lies in the picture.
        int64_t first = std::max<int64_t>({0, -left, row < 0 ? (-row + 1) / 2 : 0});
        int64_t last = std::min<int64_t>({layout.width, int64_t{ResX} - left, (size - row) / 2});
        if (row > size)
            last = 0;
        if (first >= last)
            continue;
        const int64_t target = y * ResX + left + first;
        if (target < 0 || static_cast<uint64_t>(target + (last - first)) > capacity)
            continue;
        std::memcpy(imgbuf + target, file + row + 2 * first, static_cast<size_t>(2 * (last - first)));
    }
}

}  // namespace

void load_img_file(const char* path, int left, int top, int* width, int* height)
{
    if (path == nullptr) {
        fill_picture(0xFFFF);
        return;
    }
    *width = ResX;
    *height = ResY;

    sys::UniqueFd fd(sys::open(path, O_RDONLY));
    if (!fd.valid()) {
        fill_picture(0x0000);
        return;
    }
    struct stat st {};
    if (sys::fstat(fd.get(), &st) != 0 || st.st_size < 0)
        return;
    const int64_t size = st.st_size;
    if (static_cast<uint64_t>(size) > SIZE_MAX)
        return;
    sys::Mapping map(sys::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd.get(), 0),
                     static_cast<size_t>(size));
    if (!map.valid())
        return;

    const auto* file = static_cast<const uint8_t*>(map.get());
    const Layout layout = is_bitmap(file, size) ? bitmap_layout(file, size, left, top) : raw_layout(size, left, top);
    draw_rows(file, size, layout, left, top);
    *width = layout.width;
    *height = layout.height;
}

}  // namespace morvane
