// The request numbers the display controller answers on the framebuffer
// node, with the names the journal and the fault list use. The numbers are
// the reader's own 32-bit encodings; the controller compares them as 32-bit
// values, as the kernel does.
#pragma once

#include <cstdint>
#include <string_view>

namespace vreader::epdc {

inline constexpr std::uint32_t kGetVarInfo = 0x4600;              // FBIOGET_VSCREENINFO
inline constexpr std::uint32_t kPutVarInfo = 0x4601;              // FBIOPUT_VSCREENINFO
inline constexpr std::uint32_t kGetFixInfo = 0x4602;              // FBIOGET_FSCREENINFO
inline constexpr std::uint32_t kPanDisplay = 0x4606;              // FBIOPAN_DISPLAY
inline constexpr std::uint32_t kSetTemperature = 0x4004462C;      // int32 in
inline constexpr std::uint32_t kSendUpdate = 0x4044462E;          // 68-byte update record in
inline constexpr std::uint32_t kSetPwrdownDelay = 0x40044630;     // int32 in
inline constexpr std::uint32_t kSetUpdateScheme = 0x40044632;     // uint32 in
inline constexpr std::uint32_t kGetPmicTemperature = 0x80044633;  // int32 out
inline constexpr std::uint32_t kSetVcom = 0x40044637;             // uint32 in
inline constexpr std::uint32_t kGetVcom = 0x80044638;             // uint32 out
inline constexpr std::uint32_t kGetWfVersion = 0x800A4639;        // 10 bytes out
inline constexpr std::uint32_t kWriteWaveform = 0x4008463A;       // uint32 size, then the data's address
inline constexpr std::uint32_t kWriteStandbyScreen = 0x4004463B;  // address of a full-screen image
inline constexpr std::uint32_t kSetPanelInitFlag = 0x4001463C;    // one byte in

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

inline const Request* find_request(std::uint32_t number)
{
    for (const auto& request : kRequests)
        if (request.number == number)
            return &request;
    return nullptr;
}

}  // namespace vreader::epdc
