// The connection to the sub-CPU: the SPI controller's control mode is
// switched to "update" around the use of the device, and back to "normal".
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "subcpu/subcmd.hpp"
#include "subcpu/tarvik.hpp"

#include <fcntl.h>

#include <cstdio>
#include <cstring>

namespace tarvik {
namespace {

constexpr const char* SPI_CTRL = "/sys/devices/platform/mxc_spi.2/spi3.2/control_mode";
// Older boards have the sub-CPU on chip select 0.
constexpr const char* OLD_SPI_CTRL = "/sys/devices/platform/mxc_spi.2/spi3.0/control_mode";

// The control mode attribute, the older boards' when the current one does
// not open; `path` names the one that did. Empty when neither opens.
sys::UniqueFd open_control(const char*& path)
{
    path = SPI_CTRL;
    sys::UniqueFd control(sys::open(path, O_WRONLY));
    if (control.valid())
        return control;
    std::printf("old spi ctrl open\n\n");
    path = OLD_SPI_CTRL;
    control.reset(sys::open(path, O_WRONLY));
    if (!control.valid())
        std::printf("open error : %s or %s\n", SPI_CTRL, OLD_SPI_CTRL);
    return control;
}

}  // namespace

bool spi_ctrl(bool update)
{
    const char* word = update ? "update" : "normal";
    const char* path = nullptr;
    const sys::UniqueFd control = open_control(path);
    if (!control.valid())
        return false;
    if (sys::write(control.get(), word, std::strlen(word)) != static_cast<ssize_t>(std::strlen(word))) {
        std::printf("'%s' write error : %s\n", word, path);
        return false;
    }
    return true;
}

int open_sub()
{
    if (subcmd::bNoSend)
        return 0;
    if (!spi_ctrl(true))
        return 1;
    if (!subcmd::sub_open()) {
        std::printf("NG\n");
        // The link is not left handed over to user space.
        spi_ctrl(false);
        return 1;
    }
    return 0;
}

int close_sub()
{
    subcmd::sub_close();
    return spi_ctrl(false) ? 0 : 1;
}

}  // namespace tarvik
