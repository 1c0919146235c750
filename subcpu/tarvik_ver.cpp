// tarvik ver: the sub-CPU's firmware versions.
#include "subcpu/subcmd.hpp"
#include "subcpu/tarvik.hpp"

#include <cstdio>

namespace tarvik {

int proc_ver(int argc, char** argv, int next)
{
    for (int i = next; i < argc; ++i) {
        const bool mcu = begins(argv[i], "mcu");
        if (!mcu && !begins(argv[i], "self"))
            continue;
        if (open_sub() != 0)
            return 1;
        subcmd::Version version{};
        if (!subcmd::sub_req_version(mcu ? subcmd::VERSION_MCU : subcmd::VERSION_SELF, &version)) {
            std::printf("NG\n");
            close_sub();
            return 1;
        }
        if (!subcmd::bNoSend)
            std::printf(mcu ? "MCU Version : %04u%02u%02u_%lu : " : "UPD Version : %04u%02u%02u_%lu : ", version.year,
                        version.month, version.day, version.number);
        std::printf("OK\n");
        return close_sub();
    }
    usage();
    return 1;
}

}  // namespace tarvik
