// Feeds arbitrary text to the raw-data table readers: every rule of every
// program must stay inside the text and its line buffers.
#include "rawdata/raw_table.hpp"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* text = reinterpret_cast<const char*>(data);
    rawdata::find_area_in(text, size, "Waveform");
    rawdata::find_area_in(text, size, "Id");
    rawdata::BootAreas areas;
    rawdata::find_boot_areas_in(text, size, areas);
    int dev_no = 0;
    rawdata::read_dev_no_in(text, size, dev_no);
    return 0;
}
