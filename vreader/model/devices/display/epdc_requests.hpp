// The request numbers the display controller answers on the framebuffer
// node (protocol/epdc_requests.hpp), with the names the journal and the
// fault list use. The controller compares them as 32-bit values, as the
// kernel does.
#pragma once

#include "protocol/epdc_requests.hpp"
#include "vreader/model/state/faults.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace vreader::epdc {

using protocol::epdc::kGetFixInfo;
using protocol::epdc::kGetPmicTemperature;
using protocol::epdc::kGetVarInfo;
using protocol::epdc::kGetVcom;
using protocol::epdc::kGetWfVersion;
using protocol::epdc::kPanDisplay;
using protocol::epdc::kPutVarInfo;
using protocol::epdc::kSendUpdate;
using protocol::epdc::kSetPanelInitFlag;
using protocol::epdc::kSetPwrdownDelay;
using protocol::epdc::kSetTemperature;
using protocol::epdc::kSetUpdateScheme;
using protocol::epdc::kSetVcom;
using protocol::epdc::kWriteStandbyScreen;
using protocol::epdc::kWriteWaveform;

struct Request {
    std::uint32_t number;
    std::string_view name;
};

inline constexpr Request kRequests[] = {
    {kGetVarInfo, "FBIOGET_VSCREENINFO"},
    {kPutVarInfo, "FBIOPUT_VSCREENINFO"},
    {kGetFixInfo, "FBIOGET_FSCREENINFO"},
    {kPanDisplay, "FBIOPAN_DISPLAY"},
    {kSetTemperature, "MXCFB_SET_TEMPERATURE"},
    {kSendUpdate, "MXCFB_SEND_UPDATE"},
    {kSetPwrdownDelay, "MXCFB_SET_PWRDOWN_DELAY"},
    {kSetUpdateScheme, "MXCFB_SET_UPDATE_SCHEME"},
    {kGetPmicTemperature, "MXCFB_GET_PMIC_TEMPERATURE"},
    {kSetVcom, "MXCFB_SET_VCOM"},
    {kGetVcom, "MXCFB_GET_VCOM"},
    {kGetWfVersion, "MXCFB_GET_WF_VERSION"},
    {kWriteWaveform, "MXCFB_WRITE_WAVEFORM"},
    {kWriteStandbyScreen, "MXCFB_WRITE_STANDBY_SCREEN"},
    {kSetPanelInitFlag, "MXCFB_SET_PANEL_INIT_FLAG"},
};

// The names the faults file takes for them. (A named function rather than
// a lambda called in place, which cppcheck cannot parse.)
constexpr std::array<DeviceFaultRequest, std::size(kRequests)> fault_request_names()
{
    std::array<DeviceFaultRequest, std::size(kRequests)> names{};
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i].name = kRequests[i].name;
    return names;
}
inline constexpr auto kFaultRequests = fault_request_names();

inline const Request* find_request(std::uint32_t number)
{
    for (const auto& request : kRequests)
        if (request.number == number)
            return &request;
    return nullptr;
}

}  // namespace vreader::epdc
