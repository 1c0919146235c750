// The waveform image: "writewf" hands a file to the display driver, which
// stores it in the waveform area of the eMMC; "verifywf" compares a file
// with what that area holds.
#include "platform/heap_array.hpp"
#include "display/waveform.hpp"

#include "display/epdc.hpp"
#include "display/morvane_state.hpp"
#include "platform/address_space.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "rawdata/raw_table.hpp"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace morvane {
namespace {

// An empty argument names no file either.
bool no_path(const char* path) { return path == nullptr || *path == '\0'; }

// Opens the waveform file and learns its size; on failure says why and
// returns the command's result. The file is opened without blocking, so a
// FIFO cannot hold the command.
int open_waveform_file(const char* path, sys::UniqueFd& fd, struct stat& st)
{
    fd.reset(sys::open(path, O_RDONLY | O_NONBLOCK));
    if (!fd.valid()) {
        const int error = errno;
        std::printf("Waveform file open failed !\n");
        return error;
    }
    if (sys::fstat(fd.get(), &st) != 0) {
        const int error = errno;
        std::printf("Fail to get Waveform file stat !\n");
        return error;
    }
    return 0;
}

// The waveform area from the raw-data table, or the command's result.
int waveform_area(uint32_t& offset, uint32_t& size)
{
    const rawdata::AreaLookup area = rawdata::find_area("Waveform");
    switch (area.status) {
    case rawdata::AreaStatus::NoTable:
        std::printf("Fail to read rawdata_param.\n");
        return area.error;
    case rawdata::AreaStatus::NoLine:
        // Nothing to compare with is not a match.
        std::printf("NO waveform area.\n");
        return EINVAL;
    case rawdata::AreaStatus::NoOffset:
        std::printf("NO address for waveform.\n");
        return EINVAL;
    case rawdata::AreaStatus::NoSize:
        std::printf("NO size for waveform.\n");
        return EINVAL;
    case rawdata::AreaStatus::Found:
        break;
    }
    // A zero offset or size means the area is not available.
    if (area.offset == 0) {
        std::printf("NO address for waveform.\n");
        return EINVAL;
    }
    if (area.size == 0) {
        std::printf("NO size for waveform.\n");
        return EINVAL;
    }
    offset = area.offset;
    size = area.size;
    return 0;
}

int open_emmc()
{
    for (const char* name : rawdata::kEmmcDevices) {
        const int fd = sys::open(name, O_RDONLY);
        if (fd >= 0)
            return fd;
    }
    return -1;
}

}  // namespace

int write_waveform_data(const char* path)
{
    if (no_path(path)) {
        std::printf("No waveform file path !\n");
        return EINVAL;
    }
    sys::UniqueFd fd;
    struct stat st {};
    if (const int result = open_waveform_file(path, fd, st); result != 0)
        return result;
    // The reader holds no allocation of 3 GiB or more (and the driver's
    // record counts bytes in 32 bits): every build refuses such an image, as
    // the reader does, before trying.
    const auto size = static_cast<uint64_t>(st.st_size);
    if (!sys::fits_reader_address_space(size)) {
        std::printf("Fail to alloc memory for waveform !\n");
        return ENOMEM;
    }
    const sys::HeapArray<uint8_t> buffer(static_cast<size_t>(size));
    if (!buffer) {
        std::printf("Fail to alloc memory for waveform !\n");
        return ENOMEM;
    }
    const ssize_t got = sys::read(fd.get(), buffer.get(), static_cast<size_t>(size));
    if (got < 0 || static_cast<uint64_t>(got) != size) {
        // A short read sets no errno; it is still a failure.
        const int error = got < 0 ? errno : EIO;
        std::printf("Fail to read waveform !\n");
        return error;
    }
    epdc::mxcfb_waveform_data record{static_cast<uint32_t>(size), buffer.get()};
    if (sys::ioctl(fb_fd, epdc::MXCFB_WRITE_WAVEFORM, &record) < 0) {
        const int error = errno;
        std::printf("Fail to write waveform! %d\n", error);
        return error;
    }
    return 0;
}

int verify_waveform(const char* path)
{
    if (no_path(path)) {
        std::printf("No waveform file path !\n");
        return EINVAL;
    }
    uint32_t offset = 0;
    uint32_t area_size = 0;
    if (const int result = waveform_area(offset, area_size); result != 0)
        return result;
    const sys::UniqueFd emmc(open_emmc());
    if (!emmc.valid()) {
        std::printf("NO eMMC block device file.\n");
        return ENOENT;
    }
    sys::UniqueFd fd;
    struct stat st {};
    if (const int result = open_waveform_file(path, fd, st); result != 0)
        return result;
    if (st.st_size > static_cast<off_t>(area_size)) {
        std::printf("Waveform file is too large!\n");
        return EINVAL;
    }
    // What the reader cannot map (3 GiB or more) no build maps.
    const auto file_size = static_cast<size_t>(st.st_size);
    const int file_refused = sys::fits_reader_address_space(file_size) ? 0 : ENOMEM;
    const sys::Mapping file(
        file_refused == 0 ? sys::mmap(nullptr, file_size, PROT_READ, MAP_SHARED, fd.get(), 0) : MAP_FAILED, file_size);
    if (!file.valid()) {
        const int error = file_refused != 0 ? file_refused : errno;
        std::printf("Fail to map waveform file !\n");
        return error;
    }
    // An area that runs past the device's end would map, then fault when
    // the comparison reached the missing part.
    int area_refused = 0;
    if (!rawdata::area_on_device(emmc.get(), offset, area_size))
        area_refused = errno;
    else if (!sys::fits_reader_address_space(area_size))
        area_refused = ENOMEM;
    const sys::Mapping area(
        area_refused == 0 ? sys::mmap(nullptr, area_size, PROT_READ, MAP_SHARED, emmc.get(), offset) : MAP_FAILED,
        area_size);
    if (!area.valid()) {
        const int error = area_refused != 0 ? area_refused : errno;
        std::printf("Fail to map eMMC block file !\n");
        return error;
    }
    // The area beyond the file's length is not compared.
    if (std::memcmp(file.get(), area.get(), file_size) != 0) {
        std::printf("Data is not same.\n");
        return EINVAL;
    }
    std::printf("Data is match.\n");
    return 0;
}

}  // namespace morvane
