// One EPDC request per setting, with a fixed message on success and on
// failure. Reads of temperature and VCOM and the plain setters return the
// request's own result; the others return the positive errno.
#include "display/panel_settings.hpp"

#include "display/drawing.hpp"
#include "display/epdc.hpp"
#include "display/morvane_state.hpp"
#include "platform/numbers.hpp"
#include "platform/sys.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace morvane {
namespace {

// Sends a request and prints the failure message with its errno. Returns the
// request result with errno preserved.
int request(unsigned long number, void* argument, const char* failure_format)
{
    const int result = sys::ioctl(fb_fd, number, argument);
    if (result < 0) {
        const int error = errno;
        std::printf(failure_format, error);
        errno = error;
    }
    return result;
}

}  // namespace

int get_temperature()
{
    int32_t temperature = 0;
    const int result =
        request(epdc::MXCFB_GET_PMIC_TEMPERATURE, &temperature, "fb ioctl(MXCFB_GET_PMIC_TEMPERATURE) error (%d)\n");
    if (result >= 0)
        std::printf("current temperature = %d\n", temperature);
    return result;
}

int set_default_temperature(const char* text)
{
    int32_t temperature = sys::atoi(text);
    return request(epdc::MXCFB_SET_TEMPERATURE, &temperature, "fb ioctl(MXCFB_SET_TEMPERATURE) error (%d)\n");
}

int set_powerdown_delay(const char* text)
{
    int32_t delay = sys::atoi(text);
    return request(epdc::MXCFB_SET_PWRDOWN_DELAY, &delay, "fb ioctl(MXCFB_SET_PWRDOWN_DELAY) error (%d)\n");
}

int get_vcom()
{
    uint32_t vcom = 0;
    const int result = request(epdc::MXCFB_GET_VCOM, &vcom, "fb ioctl(MXCFB_GET_VCOM) error (%d)\n");
    if (result >= 0)
        std::printf("current vcom = %u [-uV]\n", vcom);
    return result;
}

int set_vcom(const char* text)
{
    auto vcom = static_cast<uint32_t>(sys::atoi(text));
    std::printf("set vcom = %u [-uV]\n", vcom);
    if (request(epdc::MXCFB_SET_VCOM, &vcom, "fb ioctl(MXCFB_SET_VCOM) error (%d)\n") < 0)
        return errno;
    return 0;
}

int get_waveform_version()
{
    uint8_t version[epdc::WF_VERSION_LENGTH] = {};
    if (request(epdc::MXCFB_GET_WF_VERSION, version, "fb ioctl(MXCFB_GET_WF_VERSION) error (%d)\n") < 0)
        return errno;
    for (const uint8_t byte : version)
        std::printf("%02X", byte);
    std::printf("\n");
    return 0;
}

int write_standbyscreen(const char* path, const fb_var_screeninfo&)
{
    int width = 0;
    int height = 0;
    load_img_file(path, 0, 0, &width, &height);
    // The driver takes a field holding the address of the full-screen buffer.
    uintptr_t address = reinterpret_cast<uintptr_t>(imgbuf);
    if (request(epdc::MXCFB_WRITE_STANDBY_SCREEN, &address, "Fail to write standby screen image! %d\n") < 0)
        return errno;
    return 0;
}

int set_panel_init_flag(const char* text)
{
    uint8_t flag = 0;
    if (std::strcmp(text, "ON") == 0) {
        flag = 1;
    } else if (std::strcmp(text, "OFF") != 0) {
        std::printf("Invalid arg %s\n", text);
        return -1;
    }
    if (request(epdc::MXCFB_SET_PANEL_INIT_FLAG, &flag, "Fail to set panel init flag! %d\n") < 0)
        return errno;
    return 0;
}

}  // namespace morvane
