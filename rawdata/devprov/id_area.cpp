// devprov's start, its one operation and its exit flush.
#include "platform/address_space.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "rawdata/devprov/devprov.hpp"
#include "rawdata/raw_table.hpp"

#include <fcntl.h>
#include <getopt.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstring>
#include <utility>

namespace devprov {

// Held from a successful initialize to finalize.
sys::UniqueFd L_emmc;
sys::Mapping L_emmc_id_area;
std::uint32_t L_emmc_id_area_size = 0;

namespace {

// The reader's page size: a mapping starts on a page.
constexpr std::uint32_t kPageSize = 4096;

const option long_options[] = {
    {"offset", no_argument, nullptr, 1},     {"dump", required_argument, nullptr, 2},
    {"wifi", required_argument, nullptr, 3}, {"meid", required_argument, nullptr, 4},
    {"psn", required_argument, nullptr, 5},  {"set-moa", no_argument, nullptr, 6},
    {"get-moa", no_argument, nullptr, 7},    {nullptr, 0, nullptr, 0},
};

// By the value the parser returns for each option.
constexpr Operation operations[] = {
    nullptr,      get_offset,  get_dump,           wifi_set_mac_address,
    wan_set_meid, wan_set_psn, moa_set_device_key, moa_get_device_key,
};

// The operations whose work only the flush commits.
bool writes(Operation operation)
{
    return operation == wifi_set_mac_address || operation == wan_set_meid || operation == wan_set_psn ||
           operation == moa_set_device_key;
}

sys::UniqueFd open_emmc()
{
    for (const char* device : rawdata::kEmmcDevices) {
        sys::UniqueFd emmc(sys::open(device, O_RDWR | O_CLOEXEC));
        if (emmc.valid())
            return emmc;
    }
    return {};
}

// Maps the "Id" area; false when the program must end at once. The device
// and the area become the program's only when both are there: an early end
// closes what it opened, without the exit flush.
bool initialize()
{
    const rawdata::AreaLookup id = rawdata::find_area("Id");
    if (id.status != rawdata::AreaStatus::Found || id.offset == 0 || id.size == 0)
        return false;
    if (id.offset % kPageSize != 0)
        return false;
    sys::UniqueFd emmc = open_emmc();
    if (!emmc.valid())
        return false;
    // The whole area must lie on the device: a mapping past its end would
    // fault at the first touch there.
    if (!rawdata::area_on_device(emmc.get(), id.offset, id.size) || !sys::fits_reader_address_space(id.size))
        return false;
    sys::Mapping area(sys::mmap(nullptr, id.size, PROT_READ | PROT_WRITE, MAP_SHARED, emmc.get(), id.offset), id.size);
    if (!area.valid())
        return false;
    L_emmc = std::move(emmc);
    L_emmc_id_area = std::move(area);
    L_emmc_id_area_size = id.size;
    return true;
}

// Unmaps the area and flushes the device: true when the flush worked.
bool finalize()
{
    L_emmc_id_area.reset();
    L_emmc_id_area_size = 0;
    const bool flushed = !L_emmc.valid() || sys::fsync(L_emmc.get()) == 0;
    L_emmc.reset();
    return flushed;
}

}  // namespace

bool in_area(std::uint32_t offset, std::uint32_t length)
{
    return offset <= L_emmc_id_area_size && length <= L_emmc_id_area_size - offset;
}

int get_offset(std::uint8_t*, const char*)
{
    for (const Field& field : offset_address_name)
        std::printf("0x%04X(0x%04X:%6u): %s\n", field.offset, field.length, field.length, field.name);
    return 0;
}

int get_dump(std::uint8_t* area, const char* name)
{
    for (const Field& field : offset_address_name) {
        if (std::strcmp(field.name, name) != 0)
            continue;
        if (!in_area(field.offset, field.length))
            return -1;
        std::fwrite(area + field.offset, 1, field.length, stdout);
        return 0;
    }
    return 0;
}

int devprov_main(int argc, char** argv)
{
    if (!initialize())
        return 255;
    int index = 0;
    const int chosen = getopt_long_only(argc, argv, "", long_options, &index);
    int result = -1;
    Operation operation = nullptr;
    if (chosen >= 1 && chosen < static_cast<int>(sizeof operations / sizeof operations[0])) {
        operation = operations[chosen];
        result = operation(static_cast<std::uint8_t*>(L_emmc_id_area.get()), optarg);
    }
    // A write that never reached the eMMC is no success.
    if (!finalize() && writes(operation))
        result = -1;
    return result == 0 ? 0 : 255;
}

}  // namespace devprov
