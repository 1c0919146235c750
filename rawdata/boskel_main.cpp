// boskel: chooses how the reader boots next. The eMMC holds the active boot
// environment and a saved one for each mode; the tool copies the chosen
// mode's saved environment over the active one and makes sure it is there.
#include "platform/heap_array.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "rawdata/raw_table.hpp"
#include "platform/standard_output.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

struct Mode {
    const char* name;
    std::uint32_t offset;
};

// Row 0 is the active environment, the copy target; it cannot be chosen.
Mode mode[rawdata::kBootAreas] = {
    {"default", 0},
    {"normal", 0},
    {"recovery", 0},
};

std::int32_t env_size;
int dev_no;
char dev_name[16];
char dev_file1[32];
char dev_file2[32];

const char* const szUsage[] = {
    "boskel <mode>",
    "  <mode>",
    "    normal   : next boot Android",
    "    recovery : next boot Recovery",
};

void usage()
{
    for (const char* line : szUsage)
        std::printf("%s\n", line);
}

int info_read()
{
    rawdata::BootAreas areas;
    if (!rawdata::find_boot_areas(areas, dev_no))
        return -1;
    for (int row = 0; row < rawdata::kBootAreas; ++row)
        mode[row].offset = areas.offset[row];
    env_size = areas.env_size;
    std::snprintf(dev_name, sizeof dev_name, "mmcblk%d", dev_no);
    std::snprintf(dev_file1, sizeof dev_file1, "/dev/mmcblk%d", dev_no);
    std::snprintf(dev_file2, sizeof dev_file2, "/dev/block/mmcblk%d", dev_no);
    return 0;
}

int select_mode(const char* word)
{
    for (int row = 1; row < rawdata::kBootAreas; ++row)
        if (std::strncmp(word, mode[row].name, std::strlen(mode[row].name)) == 0)
            return row;
    return -1;
}

bool seek_to(int fd, std::uint32_t offset) { return sys::lseek(fd, offset, SEEK_SET) == static_cast<off_t>(offset); }

bool transfer_all(ssize_t done) { return done == static_cast<ssize_t>(env_size); }

// Flushes the active environment to the device and reads it back: only an
// environment that is there in full makes the next boot take the mode.
bool committed(int fd, const std::uint8_t* written, std::uint8_t* check)
{
    if (sys::fsync(fd) != 0 || !seek_to(fd, mode[0].offset))
        return false;
    return transfer_all(sys::read(fd, check, static_cast<size_t>(env_size))) &&
           std::memcmp(written, check, static_cast<size_t>(env_size)) == 0;
}

int switch_mode(int nMode)
{
    const auto size = static_cast<size_t>(env_size);
    const sys::HeapArray<std::uint8_t> buffer(size);
    const sys::HeapArray<std::uint8_t> check(size);
    if (!buffer || !check) {
        std::printf("out of memory\n");
        return 1;
    }
    sys::UniqueFd fd(sys::open(dev_file1, O_RDWR));
    if (!fd.valid())
        fd.reset(sys::open(dev_file2, O_RDWR));
    if (!fd.valid()) {
        std::printf("cannot open : %s\n", dev_name);
        return 1;
    }
    // A copy that runs past the device's end would come up short: refused
    // before anything is read, and before the active environment is cut.
    const off_t device_end = sys::lseek(fd.get(), 0, SEEK_END);
    const auto on_device = [&](std::uint32_t offset) {
        return offset <= device_end && size <= static_cast<std::uint64_t>(device_end - offset);
    };
    if (device_end < 0 || !seek_to(fd.get(), mode[nMode].offset)) {
        std::printf("cannot read seek : %s (0x%08lx)\n", dev_name, static_cast<unsigned long>(mode[nMode].offset));
        return 1;
    }
    if (!on_device(mode[nMode].offset) || !transfer_all(sys::read(fd.get(), buffer.get(), size))) {
        std::printf("cannot read : %s\n", dev_name);
        return 1;
    }
    if (!seek_to(fd.get(), mode[0].offset)) {
        std::printf("cannot write seek : %s (0x%08lx)\n", dev_name, static_cast<unsigned long>(mode[0].offset));
        return 1;
    }
    if (!on_device(mode[0].offset) || !transfer_all(sys::write(fd.get(), buffer.get(), size)) ||
        !committed(fd.get(), buffer.get(), check.get())) {
        std::printf("cannot write : %s", dev_name);
        return 1;
    }
    fd.reset();
    std::printf("%s mode changed.\n", mode[nMode].name);
    return 0;
}

}  // namespace

namespace {

int run(int argc, char** argv)
{
    if (info_read() != 0) {
        std::printf("Cannot read raw data table\n");
        return 1;
    }
    if (argc < 2) {
        usage();
        return 1;
    }
    const int nMode = select_mode(argv[1]);
    if (nMode < 0) {
        std::printf("unknown mode : %s\n", argv[1]);
        return 1;
    }
    return switch_mode(nMode);
}

}  // namespace

int main(int argc, char** argv) { return sys::with_standard_output(run(argc, argv), 1); }
