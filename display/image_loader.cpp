// Image files for display. A bitmap ("BM", info header larger than 12 bytes)
// holds RGB565 rows bottom-first, each padded to 4 bytes, at the end of the
// file; any other file holds a full-screen picture in its last
// ResX * ResY * 2 bytes, also bottom row first. Whatever a header declares,
// only bytes inside the file are read and only pixels inside the picture
// are written.
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"
#include "platform/address_space.hpp"
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

// Where the pixel rows lie in the file and how big the drawn area is. All
// of it is 64-bit: a position near the int limits must not overflow.
struct Layout {
    int64_t rows_start;  // file offset of the first row stored; may be negative
    int64_t row_size;    // bytes per stored row
    int64_t width;       // clipped
    int64_t height;      // clipped
};

Layout bitmap_layout(const uint8_t* file, int64_t size, int64_t left, int64_t top)
{
    const int64_t width = static_cast<int32_t>(le32(file + 18));
    const int64_t height = static_cast<int32_t>(le32(file + 22));
    const int64_t row_size = (2 * width + 3) & ~int64_t{3};
    // A header with no positive size draws nothing; keep the arithmetic away
    // from its extreme values.
    const int64_t rows_start = width > 0 && height > 0 ? size - row_size * height : 0;
    return {rows_start, row_size, std::min(width, ResX - left), std::min(height, ResY - top)};
}

Layout raw_layout(int64_t size, int64_t left, int64_t top)
{
    const int64_t row_size = 2 * int64_t{ResX};
    return {size - row_size * ResY, row_size, ResX - left, ResY - top};
}

// The size reported back to the command line, which keeps it in an int.
int reported(int64_t length) { return static_cast<int>(std::clamp<int64_t>(length, INT32_MIN, INT32_MAX)); }

// The reader maps files of up to 3 GiB, more than a signed 32-bit offset
// reaches, so an offset into the file is added as an address, not as a
// pointer offset (which the compiler takes as signed).
const uint8_t* byte_at(const uint8_t* file, int64_t offset)
{
    return reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(file) + static_cast<uintptr_t>(offset));
}

// Copies the drawn area: picture row top + i takes file row height - 1 - i,
// so the first row stored lands at the bottom. Columns outside the picture
// and bytes outside the file are skipped.
void draw_rows(const uint8_t* file, int64_t size, const Layout& layout, int64_t left, int64_t top)
{
    const size_t capacity = picture_pixels();
    for (int64_t i = std::max<int64_t>(0, -top); i < layout.height && top + i < ResY; ++i) {
        const int64_t y = top + i;
        const int64_t row = layout.rows_start + (layout.height - 1 - i) * layout.row_size;
        // Pixel j of this row is the two bytes at row + 2j; keep the j whose
        // bytes lie in the file and whose column lies in the picture.
        const int64_t first = std::max<int64_t>({0, -left, row < 0 ? (-row + 1) / 2 : 0});
        const int64_t last = std::min<int64_t>({layout.width, ResX - left, (size - row) / 2});
        if (first >= last)
            continue;
        const int64_t target = y * ResX + left + first;
        if (target < 0 || static_cast<uint64_t>(target + (last - first)) > capacity)
            continue;
        std::memcpy(imgbuf + target, byte_at(file, row + 2 * first), static_cast<size_t>(2 * (last - first)));
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

    // Without O_NONBLOCK a FIFO would hold the open until a writer came.
    sys::UniqueFd fd(sys::open(path, O_RDONLY | O_NONBLOCK));
    if (!fd.valid()) {
        fill_picture(0x0000);
        return;
    }
    // Only a regular file can be mapped whole; anything else is a file that
    // cannot be mapped.
    struct stat st {};
    if (sys::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return;
    // The reader cannot map a file of 3 GiB or more; no build maps one, so
    // every build leaves the buffer as the reader does.
    const int64_t size = st.st_size;
    if (!sys::fits_reader_address_space(static_cast<uint64_t>(size)))
        return;
    sys::Mapping map(sys::mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, fd.get(), 0),
                     static_cast<size_t>(size));
    if (!map.valid())
        return;

    const auto* file = static_cast<const uint8_t*>(map.get());
    const Layout layout = is_bitmap(file, size) ? bitmap_layout(file, size, left, top) : raw_layout(size, left, top);
    draw_rows(file, size, layout, left, top);
    *width = reported(layout.width);
    *height = reported(layout.height);
}

}  // namespace morvane
