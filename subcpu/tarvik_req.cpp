// tarvik req: the sub-CPU's requests: status, update mode, update start and
// end, writes in 16-byte units, reads, block erase and verify, boot cluster
// swap and reboot.
#include "platform/heap_array.hpp"
#include "subcpu/subcmd.hpp"
#include "subcpu/tarvik.hpp"

#include <cstdio>
#include <cstring>

namespace tarvik {
namespace {

constexpr long kFirstAddress = 0x1000;
constexpr long kLastAddress = 0x73FF;
constexpr long kFirstBlock = 4;
constexpr long kLastBlock = 28;
constexpr unsigned kUnit = 16;

// The addresses as the reader prints a long in hexadecimal.
unsigned long as_printed(long value) { return static_cast<std::uint32_t>(value); }

// The last address of `count` bytes from `first`, as printed. Counted in 64
// bits: a count near the top of the reader's 32-bit long must not wrap.
unsigned long last_address(long first, long count)
{
    return static_cast<std::uint32_t>(std::int64_t{first} + std::int64_t{count} - 1);
}

// Whether `count` bytes from `first`, an address in range, end inside the
// area. Compared against the room left, so nothing can overflow.
bool ends_in_area(long first, long count) { return count <= kLastAddress + 1 - first; }

int simple_request(std::uint8_t code, const char* label, int block = -1)
{
    if (open_sub() != 0)
        return 1;
    int ok = 0;
    const int exchanged =
        block < 0 ? subcmd::sub_request(code, &ok) : subcmd::sub_req_block(code, static_cast<std::uint8_t>(block), &ok);
    if (!exchanged) {
        std::printf("NG\n");
        close_sub();
        return 1;
    }
    // The exit status reports the exchange; the sub-CPU's verdict is printed.
    std::printf(label, ok ? "OK" : "NG");
    return close_sub();
}

int block_request(int argc, char** argv, int at, std::uint8_t code, const char* label)
{
    if (at + 1 >= argc)
        return argument_error();
    const long block = decimal_number(argv[at + 1]);
    if (block < kFirstBlock || block > kLastBlock) {
        std::printf("block number error : %ld (%u - %u) : NG\n", block, static_cast<unsigned>(kFirstBlock),
                    static_cast<unsigned>(kLastBlock));
        return 1;
    }
    return simple_request(code, label, static_cast<int>(block));
}

bool address_in_range(long address)
{
    if (address >= kFirstAddress && address <= kLastAddress)
        return true;
    std::printf("address error : %lx (%04x - %04x) : NG\n", as_printed(address), static_cast<unsigned>(kFirstAddress),
                static_cast<unsigned>(kLastAddress));
    return false;
}

int write_units(int argc, char** argv, int at)
{
    if (at + 2 >= argc)
        return argument_error();
    const long start = hex_number(argv[at + 1]);
    if (!address_in_range(start))
        return 1;
    // Room for every remaining argument, in whole units, erased.
    const unsigned room = static_cast<unsigned>(argc - (at + 2) + kUnit - 1) / kUnit * kUnit;
    const sys::HeapArray<std::uint8_t> data(room);
    if (!data) {
        std::printf("out of memory (%d) : NG\n", static_cast<int>(room));
        return 1;
    }
    std::memset(data.get(), 0xFF, room);
    unsigned count = 0;
    for (int i = at + 2; i < argc; ++i)
        if (!is_debug_or_help(argv[i]))
            data[count++] = static_cast<std::uint8_t>(hex_number(argv[i]));
    if (count == 0) {
        std::printf("no write data : NG\n");
        return 1;
    }
    count = (count + kUnit - 1) / kUnit * kUnit;
    if (!ends_in_area(start, static_cast<long>(count))) {
        std::printf("address over error : start=%lx + count=%u - 1 = %lx > %04x : NG\n", as_printed(start), count,
                    last_address(start, static_cast<long>(count)), static_cast<unsigned>(kLastAddress));
        return 1;
    }
    if (open_sub() != 0) {
        std::printf("NG\n");
        return 1;
    }
    bool all = true;
    for (unsigned offset = 0; offset < count && all; offset += kUnit) {
        const long address = start + static_cast<long>(offset);
        all = subcmd::sub_req_write(static_cast<std::uint16_t>(address), data.get() + offset);
        if (subcmd::bNoSend)
            continue;
        std::printf("Write : %04lx :", as_printed(address));
        for (unsigned i = 0; i < kUnit; ++i)
            std::printf(" %02x", data[offset + i]);
        std::printf(" : %s\n", all ? "OK" : "NG");
    }
    if (subcmd::bNoSend)
        std::printf("OK\n");
    return close_sub() == 0 && all ? 0 : 1;
}

int read_rows(int argc, char** argv, int at)
{
    if (at + 2 >= argc)
        return argument_error();
    const long address = hex_number(argv[at + 1]);
    const long count = hex_number(argv[at + 2]);
    if (!address_in_range(address))
        return 1;
    if (count < 1) {
        std::printf("read count error : %ld : NG\n", count);
        return 1;
    }
    if (!ends_in_area(address, count)) {
        std::printf("address over error : address=%lx + count=%ld - 1 = %lx > %04x : NG\n", as_printed(address), count,
                    last_address(address, count), static_cast<unsigned>(kLastAddress));
        return 1;
    }
    if (open_sub() != 0)
        return 1;
    for (long row = address; row < address + count; row += kUnit) {
        std::uint8_t values[kUnit];
        unsigned got = 0;
        bool ok = true;
        for (long at_address = row; at_address < address + count && got < kUnit; ++at_address) {
            if (!(ok = subcmd::sub_req_read(static_cast<std::uint16_t>(at_address), &values[got])))
                break;
            ++got;
        }
        if (!subcmd::bNoSend) {
            std::printf("Read : %04lx :", as_printed(row));
            for (unsigned i = 0; i < got; ++i)
                std::printf(" %02x", values[i]);
            std::printf("\n");
        }
        if (!ok) {
            std::printf("NG\n");
            close_sub();
            return 1;
        }
    }
    if (close_sub() != 0)
        return 1;
    std::printf("OK\n");
    return 0;
}

}  // namespace

int proc_req(int argc, char** argv, int next)
{
    for (int i = next; i < argc; ++i) {
        const char* word = argv[i];
        if (word[0] == 'b' || begins(word, "reboot"))
            return simple_request(subcmd::REQ_REBOOT, "MCU Reboot : %s\n");
        if (begins(word, "st") || begins(word, "status"))
            return simple_request(subcmd::REQ_STATUS, "FW status : %s\n");
        if (begins(word, "um") || begins(word, "upmode"))
            return simple_request(subcmd::REQ_UPDATE_MODE, "Change update mode : %s\n");
        if (begins(word, "us") || begins(word, "upstart"))
            return simple_request(subcmd::REQ_UPDATE_START, "Update start : %s\n");
        if (begins(word, "ue") || begins(word, "upend"))
            return simple_request(subcmd::REQ_UPDATE_END, "Update stop : %s\n");
        if (word[0] == 'w')
            return write_units(argc, argv, i);
        if (word[0] == 'r')
            return read_rows(argc, argv, i);
        if (word[0] == 'e')
            return block_request(argc, argv, i, subcmd::REQ_ERASE, "Block erase : %s\n");
        if (word[0] == 'v')
            return block_request(argc, argv, i, subcmd::REQ_VERIFY, "Block verify : %s\n");
        if (begins(word, "sw") || begins(word, "swap"))
            return simple_request(subcmd::REQ_SWAP, "Boot swap : %s\n");
    }
    usage();
    return 1;
}

}  // namespace tarvik
