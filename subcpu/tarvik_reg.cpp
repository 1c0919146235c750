// tarvik reg: the battery charger's registers, through the sub-CPU.
#include "subcpu/subcmd.hpp"
#include "subcpu/tarvik.hpp"

#include <cstdio>
#include <iterator>

namespace tarvik {
namespace {

// Writes or reads one register.
int one_register(bool write, std::uint8_t reg, std::uint8_t value)
{
    if (open_sub() != 0)
        return 1;
    int ok;
    if (write) {
        ok = subcmd::sub_reg_write(reg, value);
        std::printf("Summit reg write %02x : %02x : %s\n", reg, value, ok ? "OK" : "NG");
    } else {
        ok = subcmd::sub_reg_read(reg, &value);
        std::printf("Summit reg read %02x : ", reg);
        if (ok)
            std::printf("%02x : OK\n", value);
        else
            std::printf("NG\n");
    }
    return close_sub() == 0 && ok ? 0 : 1;
}

// Reads a whole group of registers and pairs the values with their numbers.
template <std::size_t N>
int all_registers(std::uint8_t code, const char* heading, const std::uint16_t (&nRegNumber)[N])
{
    if (open_sub() != 0)
        return 1;
    unsigned count = 0;
    const std::uint8_t* data = nullptr;
    const int ok = subcmd::sub_regs_read(code, &count, &data);
    std::printf("%s\n", heading);
    if (subcmd::bNoSend) {
        std::printf("  OK\n");
        return close_sub();
    }
    if (!ok) {
        std::printf("  NG\n");
        close_sub();
        return 1;
    }
    for (std::size_t i = 0; i < N; ++i) {
        if (i < count)
            std::printf("  %02x : %02x\n", nRegNumber[i], data[i]);
        else
            std::printf("  %02x : cannot get\n", nRegNumber[i]);
    }
    const bool whole = count == N;
    std::printf("  %s\n", whole ? "OK" : "NG");
    return close_sub() == 0 && whole ? 0 : 1;
}

}  // namespace

int proc_reg(int argc, char** argv, int next)
{
    static constexpr std::uint16_t config_registers[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06,
                                                         0x07, 0x08, 0x09, 0x0A, 0x0B, 0x30, 0x31};
    static constexpr std::uint16_t status_registers[] = {0x32, 0x33, 0x34, 0x35, 0x36, 0x37,
                                                         0x38, 0x39, 0x3D, 0x3E, 0x3F};
    for (int i = next; i < argc; ++i) {
        switch (argv[i][0]) {
        case 'w':
            if (i + 2 >= argc)
                return argument_error();
            return one_register(true, static_cast<std::uint8_t>(hex_number(argv[i + 1])),
                                static_cast<std::uint8_t>(hex_number(argv[i + 2])));
        case 'r':
            if (i + 1 >= argc)
                return argument_error();
            return one_register(false, static_cast<std::uint8_t>(hex_number(argv[i + 1])), 0);
        case 'c':
            return all_registers(subcmd::REGS_CONFIG, "Summit config reg", config_registers);
        case 's':
            return all_registers(subcmd::REGS_STATUS, "Summit status reg", status_registers);
        default:
            break;
        }
    }
    usage();
    return 1;
}

}  // namespace tarvik
