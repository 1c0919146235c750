// The past-log tool's dump reader and text printer on any bytes: every
// entry is read and printed within the entry buffer.
#include "logdump/log_entry.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::FILE* sink = std::fopen("/dev/null", "w");
    const int fd = memfd_create("dump", 0);
    if (fd < 0 || (size != 0 && write(fd, data, size) != static_cast<ssize_t>(size)) || lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
    // Exactly the buffer the tool allocates, so that a read past it shows.
    auto* entry = static_cast<std::uint8_t*>(std::calloc(1, melgrin::kEntryBuffer));
    std::size_t entry_size = 0;
    while (melgrin::read_dump_entry(fd, entry, entry_size) == melgrin::DumpRead::Entry)
        melgrin::print_log_entry(sink, entry, entry_size);
    // A driver's entry is whatever one read returned: any size up to the limit.
    std::size_t raw = size < melgrin::kReadLimit ? size : melgrin::kReadLimit;
    std::fill(entry, entry + melgrin::kEntryBuffer, 0);
    std::copy(data, data + raw, entry);
    melgrin::print_log_entry(sink, entry, raw);
    std::free(entry);
    close(fd);
    return 0;
}
