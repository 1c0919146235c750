// The image loader against bitmap and raw files built by the test, on a
// small screen whose buffer is fenced by sentinel pixels.
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"
#include "tests/display/bitmap_file.hpp"
#include "tests/support/process.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdint>

#include <vector>

using namespace display_test;
using testing_support::TempDir;
using testing_support::write_file;

namespace {

constexpr uint16_t kUntouched = 0xAAAA;
constexpr uint16_t kFence = 0x5555;
constexpr int kFencePixels = 64;

class ImageLoader : public ::testing::Test {
protected:
    void SetUp() override { use_screen(8, 6); }

    void TearDown() override
    {
        for (int i = 0; i < kFencePixels; ++i)
            EXPECT_EQ(storage_[storage_.size() - 1 - i], kFence) << "write past the image buffer";
        morvane::imgbuf = nullptr;
        morvane::imgbuf_len = 0;
    }

    void use_screen(int width, int height)
    {
        morvane::ResX = width;
        morvane::ResY = height;
        const size_t pixels = static_cast<size_t>(width) * height;
        storage_.assign(pixels, kUntouched);
        storage_.resize(pixels + kFencePixels, kFence);
        morvane::imgbuf = storage_.data();
        morvane::imgbuf_len = pixels * 2;
    }

    uint16_t at(int x, int y) const { return storage_[static_cast<size_t>(y) * morvane::ResX + x]; }

    void load(const std::string& bytes, int left, int top)
    {
        const std::string path = dir_.file("image");
        write_file(path, bytes);
        width_ = -7;
        height_ = -7;
        morvane::load_img_file(path.c_str(), left, top, &width_, &height_);
    }

    int changed_pixels() const
    {
        int changed = 0;
        for (size_t i = 0; i + kFencePixels < storage_.size(); ++i)
            changed += storage_[i] != kUntouched;
        return changed;
    }

    TempDir dir_;
    std::vector<uint16_t> storage_;
    int width_ = 0;
    int height_ = 0;
};

TEST_F(ImageLoader, SmallerBitmapChangesOnlyItsOwnPixelsTopRowFirst)
{
    load(make_bitmap(3, 2, coordinate_pixel), 0, 0);
    EXPECT_EQ(width_, 3);
    EXPECT_EQ(height_, 2);
    EXPECT_EQ(changed_pixels(), 6);
    EXPECT_EQ(at(0, 0), coordinate_pixel(0, 0));
    EXPECT_EQ(at(2, 1), coordinate_pixel(2, 1));
    EXPECT_EQ(at(3, 0), kUntouched);
}

TEST_F(ImageLoader, WiderBitmapKeepsItsLeftColumns)
{
    load(make_bitmap(11, 2, coordinate_pixel), 0, 0);
    EXPECT_EQ(width_, 8);
    EXPECT_EQ(height_, 2);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(at(x, 1), coordinate_pixel(x, 1));
    EXPECT_EQ(at(0, 2), kUntouched);
}

TEST_F(ImageLoader, TallerBitmapShowsItsFirstStoredRowsBottomRowAtTheBottom)
{
    load(make_bitmap(3, 9, coordinate_pixel), 0, 0);
    EXPECT_EQ(height_, 6);
    // Image rows 3..8 (the bottom six, stored first) fill screen rows 0..5.
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(at(1, y), coordinate_pixel(1, y + 3)) << "row " << y;
}

TEST_F(ImageLoader, OffsetFullScreenBitmapIsCutAtTheRightWithoutWrapping)
{
    load(make_bitmap(8, 6, coordinate_pixel), 3, 0);
    EXPECT_EQ(width_, 5);
    EXPECT_EQ(height_, 6);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(at(x, y), kUntouched) << x << "," << y;
        for (int x = 3; x < 8; ++x)
            EXPECT_EQ(at(x, y), coordinate_pixel(x - 3, y)) << x << "," << y;
    }
}

TEST_F(ImageLoader, PlacedLowerTheBitmapIsCutAtTheBottomKeepingItsBottomRows)
{
    load(make_bitmap(2, 4, coordinate_pixel), 1, 4);
    EXPECT_EQ(height_, 2);
    // The two rows stored first are the image's bottom rows 2 and 3.
    EXPECT_EQ(at(1, 4), coordinate_pixel(0, 2));
    EXPECT_EQ(at(2, 5), coordinate_pixel(1, 3));
}

TEST_F(ImageLoader, OddWidthRowsArePaddedToFourBytes)
{
    const std::string bytes = make_bitmap(3, 3, coordinate_pixel);
    ASSERT_EQ(bytes.size(), 54u + 3 * 8);
    load(bytes, 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(at(x, y), coordinate_pixel(x, y));
}

TEST_F(ImageLoader, NegativePositionDropsThePixelsLeftOfAndAboveTheScreen)
{
    load(make_bitmap(4, 4, coordinate_pixel), -2, -1);
    EXPECT_EQ(width_, 4);
    EXPECT_EQ(height_, 4);
    EXPECT_EQ(at(0, 0), coordinate_pixel(2, 1));
    EXPECT_EQ(at(1, 2), coordinate_pixel(3, 3));
    EXPECT_EQ(changed_pixels(), 6);
}

TEST_F(ImageLoader, RawFileIsAFullScreenPictureAtTheEndOfTheFile)
{
    std::string bytes = "some header bytes";
    for (int stored = 0; stored < 6; ++stored)
        for (int x = 0; x < 8; ++x) {
            const uint16_t value = coordinate_pixel(x, 5 - stored);
            bytes += static_cast<char>(value & 0xFF);
            bytes += static_cast<char>(value >> 8);
        }
    load(bytes, 0, 0);
    EXPECT_EQ(width_, 8);
    EXPECT_EQ(height_, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(at(x, y), coordinate_pixel(x, y));
}

TEST_F(ImageLoader, CoreHeaderBitmapIsReadAsRaw)
{
    // A 12-byte info header is not taken as a bitmap. The file is too short
    // for a raw picture: stored bottom row first, its 34 bytes end on the
    // top rows, and the rows that would lie before the file stay as they were.
    const std::string bytes = make_bitmap(2, 2, coordinate_pixel, 12);
    load(bytes, 0, 0);
    EXPECT_EQ(width_, 8);
    EXPECT_EQ(height_, 6);
    EXPECT_EQ(at(0, 5), kUntouched);
    EXPECT_EQ(at(0, 0), 2) << "the header's width field, at byte 18";
    EXPECT_EQ(changed_pixels(), static_cast<int>(bytes.size() / 2));
}

TEST_F(ImageLoader, MissingFileIsBlackFullScreenAndNoPathIsWhite)
{
    width_ = 0;
    morvane::load_img_file(dir_.file("absent").c_str(), 0, 0, &width_, &height_);
    EXPECT_EQ(width_, 8);
    EXPECT_EQ(height_, 6);
    EXPECT_EQ(at(0, 0), 0x0000);
    EXPECT_EQ(at(7, 5), 0x0000);
    morvane::load_img_file(nullptr, 0, 0, &width_, &height_);
    EXPECT_EQ(at(7, 5), 0xFFFF);
}

TEST_F(ImageLoader, EmptyFileLeavesTheBufferAndReportsTheFullScreen)
{
    load("", 2, 2);
    EXPECT_EQ(width_, 8);
    EXPECT_EQ(height_, 6);
    EXPECT_EQ(changed_pixels(), 0);
}

TEST_F(ImageLoader, PositionsAtTheIntLimitsStayInsideTheBufferAndReportClampedSizes)
{
    // The fence check of TearDown and the sanitizers do the real work here.
    const struct {
        int left, top;
    } positions[] = {{INT32_MIN, 0}, {0, INT32_MIN}, {INT32_MAX, INT32_MAX}, {INT32_MIN, INT32_MIN}};
    for (const auto& at : positions) {
        use_screen(8, 6);
        load(make_bitmap(4, 4, coordinate_pixel), at.left, at.top);
        EXPECT_EQ(changed_pixels(), 0) << at.left << "," << at.top;
        load(std::string(8 * 6 * 2, '\x11'), at.left, at.top);
    }
    load(std::string(8 * 6 * 2, '\x11'), INT32_MIN, 0);
    EXPECT_EQ(width_, INT32_MAX) << "8 - INT32_MIN does not fit an int";
}

TEST_F(ImageLoader, FifoIsAFileThatCannotBeMappedAndNeverBlocks)
{
    const std::string fifo = dir_.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    morvane::load_img_file(fifo.c_str(), 1, 1, &width_, &height_);
    EXPECT_EQ(width_, 8);
    EXPECT_EQ(height_, 6);
    EXPECT_EQ(changed_pixels(), 0);
}

TEST_F(ImageLoader, FilesOf3GiBOrMoreAreOnesTheReaderCannotMap)
{
    // Sparse files ending in a picture: the reader maps 2.5 GiB, but no
    // 3 GiB or more in its 32-bit address space, and no build does.
    const std::string picture(8 * 6 * 2, '\x11');
    const struct {
        std::int64_t size;
        int changed;
    } files[] = {{(std::int64_t{5} << 30) / 2, 8 * 6}, {std::int64_t{3} << 30, 0}, {(std::int64_t{7} << 30) / 2, 0},
                 {(std::int64_t{1} << 32) + 96, 0}};
    for (const auto& f : files) {
        use_screen(8, 6);
        const std::string path = dir_.file("huge" + std::to_string(f.size));
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(fd, 0);
        const off_t at = static_cast<off_t>(f.size) - static_cast<off_t>(picture.size());
        const bool written = ::pwrite(fd, picture.data(), picture.size(), at) == ssize_t(picture.size());
        ::close(fd);
        if (!written)
            GTEST_SKIP() << "this file system holds no sparse 4 GiB file";
        morvane::load_img_file(path.c_str(), 0, 0, &width_, &height_);
        EXPECT_EQ(changed_pixels(), f.changed) << f.size;
        ::unlink(path.c_str());
    }
}

TEST_F(ImageLoader, BitmapShorterThanItsRowsDrawsOnlyWhatTheFileHolds)
{
    std::string bytes = make_bitmap(4, 4, coordinate_pixel);  // 54 + 4 * 8 = 86 bytes
    put_le32(bytes, 22, 12);  // claims 12 rows: they would start 10 bytes before the file
    load(bytes, 0, 0);
    EXPECT_EQ(width_, 4);
    EXPECT_EQ(height_, 6);
    // Stored row 0 (screen row 5) lies wholly before the file; stored row 1
    // (screen row 4) starts 2 bytes before it, so its pixel 1 is the file's
    // first two bytes, "BM".
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(at(x, 5), kUntouched);
    EXPECT_EQ(at(0, 4), kUntouched);
    EXPECT_EQ(at(1, 4), 0x4D42);
    EXPECT_EQ(changed_pixels(), 3 + 4 * 4);
}

TEST_F(ImageLoader, HostileHeadersNeverReachOutsideFileOrBuffer)
{
    const int32_t sizes[] = {0, -1, -3, 1, 0x7FFFFFFF, INT32_MIN, 0x40000000};
    for (const int32_t width : sizes) {
        for (const int32_t height : sizes) {
            std::string bytes = make_bitmap(2, 2, coordinate_pixel);
            put_le32(bytes, 18, static_cast<uint32_t>(width));
            put_le32(bytes, 22, static_cast<uint32_t>(height));
            for (const int left : {0, 5, -3, 100, INT32_MIN + 1, INT32_MAX}) {
                const int top = left == 5 ? 3 : left;
                load(bytes, left, top);
                // The size drawn is clipped at the right and bottom edges.
                if (left >= 0 && left <= 8) {
                    EXPECT_LE(width_, 8 - left);
                }
                if (top >= 0 && top <= 6) {
                    EXPECT_LE(height_, 6 - top);
                }
            }
        }
    }
    // Just the letters, and a header cut before the height.
    load("BM", 0, 0);
    load(std::string("BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0\x02\0\0\0\x02", 23), 0, 0);
    // Cut right after the height: a bitmap still, of its own size, whose
    // rows are the file's last bytes as for every bitmap.
    storage_.assign(storage_.size() - kFencePixels, kUntouched);
    storage_.resize(storage_.size() + kFencePixels, kFence);
    load(make_bitmap(2, 3, coordinate_pixel).substr(0, 26), 0, 0);
    EXPECT_EQ(width_, 2);
    EXPECT_EQ(height_, 3);
    EXPECT_EQ(changed_pixels(), 6);
}

}  // namespace
