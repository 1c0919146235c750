// What `dump` and `put` reach by name: an area of the eMMC's raw-data table,
// or the sub-CPU's flash ("subcpu", the cluster an update writes;
// "subcpu-active", the one that runs), addressed from 0x1000.
#pragma once

#include "vreader/launcher/cli.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vreader::cli {

struct Region {
    std::string name;
    std::string file;      // the reader's file that holds it
    std::uint64_t offset;  // where it starts in that file
    std::uint64_t size;
    std::uint64_t base;  // the address of its first byte, as shown
};

// nullopt after reporting why (status 125).
std::optional<Region> named_region(const Verb& verb, const ReaderDir& reader, std::string_view name);

// Bytes of a region from `offset` within it. 0 or an errno value.
int read_region(const Region& region, std::uint64_t offset, std::uint64_t length, std::string& out);
int write_region(const Region& region, std::uint64_t offset, std::string_view data);

}  // namespace vreader::cli
