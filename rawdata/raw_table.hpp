// The raw-data table: where the eMMC's raw areas lie, as the kernel's
// raw-data-table module publishes them, one area a line:
//     NAME:0xOFFSET:0xSIZE
// Each program reads the table by its own rules, kept here side by side:
//   - find_area: the first line that begins with a key (morvane, devprov);
//   - find_boot_areas: the three boot environments and the device number
//     (boskel).
#pragma once

#include <cstddef>
#include <cstdint>

namespace rawdata {

inline constexpr const char* RAWDATA_PARAM = "/sys/module/rawdatatable/parameters/rawdata_param";
inline constexpr const char* MMC_DEV_NO = "/sys/module/rawdatatable/parameters/mmc_dev_no";

// The eMMC as morvane and devprov open it: always unit 2, in this order.
inline constexpr const char* kEmmcDevices[] = {"/dev/block/mmcblk2", "/dev/mmcblk2"};

// A sysfs attribute is at most a page; the table is read whole.
inline constexpr std::size_t kTableMax = 4096;

// Hands out the lines of a text as fgets with a buffer of `size` bytes would:
// at most size - 1 bytes, up to and including a line end, NUL-terminated.
// A longer line comes out in pieces.
class LineReader {
public:
    LineReader(const char* text, std::size_t length) : text_(text), length_(length) {}
    bool next(char* line, std::size_t size);

private:
    const char* text_;
    std::size_t length_;
    std::size_t at_ = 0;
};

enum class AreaStatus {
    Found,     // offset and size read; either may still be 0
    NoTable,   // the table could not be read: `error` holds errno
    NoLine,    // no line begins with the key
    NoOffset,  // the line has no colon for the offset
    NoSize,    // the line has no colon for the size
};

struct AreaLookup {
    AreaStatus status = AreaStatus::NoLine;
    int error = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// The first line beginning with `key`, read 80 bytes at a time. The offset
// follows the first colon found from one character past the key, the size
// the next colon; both are read with automatic base. Lines after the first
// match are not read.
AreaLookup find_area_in(const char* text, std::size_t length, const char* key);
AreaLookup find_area(const char* key);

// The boot environments in boskel's order: the active one, the saved normal
// one and the saved recovery one.
inline constexpr const char* kBootEnvKeys[] = {"Boot Env", "Normal Boot Env", "Recovery Boot Env"};
inline constexpr int kBootAreas = 3;

struct BootAreas {
    std::uint32_t offset[kBootAreas] = {};
    std::int32_t size[kBootAreas] = {};
    std::int32_t env_size = 0x7FFFFFFF;  // the smallest size: what is copied
};

// Reads 128 bytes at a time. A line counts only with ":0x", an offset text
// of at most 15 characters and ":0x" right after it; a later line of the
// same key overwrites an earlier one. Returns false unless every area has
// an offset and a size, and the smallest size is a usable length.
bool find_boot_areas_in(const char* text, std::size_t length, BootAreas& out);

// The unit number on the first line of the device number file, 0 or 2.
bool read_dev_no_in(const char* text, std::size_t length, int& dev_no);

// Both files at once, as boskel reads them.
bool find_boot_areas(BootAreas& out, int& dev_no);

// Whether `size` bytes at `offset` lie on the open block device `fd`, whose
// size is where a seek to its end lands (the position moves there). A
// block device maps past its end and faults when that part is touched, and
// reads or writes there come up short, so an area is checked first.
// false with errno: the seek's, or ENXIO for an area off the device.
bool area_on_device(int fd, std::uint64_t offset, std::uint64_t size);

}  // namespace rawdata
