// The e-paper framebuffer interface: the standard framebuffer requests and the
// EPDC update extension (request group 'F'), by the kernel's names. Request
// numbers are the reader's own (32-bit ARM, protocol/epdc_requests.hpp).
#pragma once

#include "protocol/epdc_requests.hpp"

#include <linux/fb.h>

#include <cstddef>
#include <cstdint>

namespace epdc {

// The standard framebuffer requests come from <linux/fb.h>; they carry no
// argument size, so the reader's numbers are the host's.
static_assert(FBIOGET_VSCREENINFO == protocol::epdc::kGetVarInfo);
static_assert(FBIOPUT_VSCREENINFO == protocol::epdc::kPutVarInfo);
static_assert(FBIOGET_FSCREENINFO == protocol::epdc::kGetFixInfo);
static_assert(FBIOPAN_DISPLAY == protocol::epdc::kPanDisplay);

constexpr unsigned long MXCFB_SET_TEMPERATURE = protocol::epdc::kSetTemperature;     // _IOW('F', 0x2C, int32_t)
constexpr unsigned long MXCFB_SEND_UPDATE = protocol::epdc::kSendUpdate;             // _IOW('F', 0x2E, update record)
constexpr unsigned long MXCFB_SET_PWRDOWN_DELAY = protocol::epdc::kSetPwrdownDelay;  // _IOW('F', 0x30, int32_t)
constexpr unsigned long MXCFB_SET_UPDATE_SCHEME = protocol::epdc::kSetUpdateScheme;  // _IOW('F', 0x32, uint32_t)
constexpr unsigned long MXCFB_GET_PMIC_TEMPERATURE = protocol::epdc::kGetPmicTemperature;  // _IOR('F', 0x33, int32_t)
constexpr unsigned long MXCFB_SET_VCOM = protocol::epdc::kSetVcom;                         // _IOW('F', 0x37, uint32_t)
constexpr unsigned long MXCFB_GET_VCOM = protocol::epdc::kGetVcom;                         // _IOR('F', 0x38, uint32_t)
constexpr unsigned long MXCFB_GET_WF_VERSION = protocol::epdc::kGetWfVersion;              // _IOR('F', 0x39, char[10])
constexpr unsigned long MXCFB_WRITE_WAVEFORM = protocol::epdc::kWriteWaveform;  // _IOW('F', 0x3A, waveform record)
constexpr unsigned long MXCFB_WRITE_STANDBY_SCREEN = protocol::epdc::kWriteStandbyScreen;  // _IOW('F', 0x3B, address)
constexpr unsigned long MXCFB_SET_PANEL_INIT_FLAG = protocol::epdc::kSetPanelInitFlag;     // _IOW('F', 0x3C, uint8_t)

constexpr uint32_t WAVEFORM_MODE_INIT = 0;
constexpr uint32_t WAVEFORM_MODE_DU = 1;
constexpr uint32_t WAVEFORM_MODE_GC16 = 2;
constexpr uint32_t WAVEFORM_MODE_A2 = 4;
constexpr uint32_t WAVEFORM_MODE_AUTO = 257;

constexpr uint32_t UPDATE_MODE_PARTIAL = 0;
constexpr uint32_t UPDATE_MODE_FULL = 1;

constexpr uint32_t UPDATE_SCHEME_QUEUE_AND_MERGE = 2;
constexpr int32_t TEMP_USE_AMBIENT = 0x1000;

constexpr uint32_t EPDC_FLAG_ENABLE_INVERSION = 0x1;
constexpr uint32_t EPDC_FLAG_FORCE_MONOCHROME = 0x2;
constexpr uint32_t EPDC_FLAG_USE_SP1 = 0x10000;
constexpr uint32_t EPDC_FLAG_DETECT_EDGE = 0x20000;

constexpr int WF_VERSION_LENGTH = 10;

struct mxcfb_rect {
    uint32_t top;
    uint32_t left;
    uint32_t width;
    uint32_t height;
};

// The alternate-buffer block; the reader's driver takes 32-bit fields here,
// and the display programs always send it zeroed.
struct mxcfb_alt_buffer_data {
    uint32_t virt_addr;
    uint32_t phys_addr;
    uint32_t width;
    uint32_t height;
    mxcfb_rect alt_update_region;
};

struct mxcfb_update_data {
    mxcfb_rect update_region;
    uint32_t waveform_mode;
    uint32_t update_mode;
    uint32_t update_marker;
    int32_t temp;
    uint32_t flags;
    mxcfb_alt_buffer_data alt_buffer_data;
};

static_assert(sizeof(mxcfb_rect) == 16);
static_assert(sizeof(mxcfb_update_data) == 68);
static_assert((MXCFB_SEND_UPDATE >> 16 & 0x3FFF) == sizeof(mxcfb_update_data));
static_assert(offsetof(mxcfb_update_data, waveform_mode) == 16);
static_assert(offsetof(mxcfb_update_data, temp) == 28);
static_assert(offsetof(mxcfb_update_data, flags) == 32);
static_assert(offsetof(mxcfb_update_data, alt_buffer_data) == 36);

// Waveform write record: byte count, then the address of the image data.
struct mxcfb_waveform_data {
    uint32_t size;
    const void* data;
};

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(mxcfb_waveform_data) == 8);
static_assert((MXCFB_WRITE_WAVEFORM >> 16 & 0x3FFF) == sizeof(mxcfb_waveform_data));
static_assert((MXCFB_WRITE_STANDBY_SCREEN >> 16 & 0x3FFF) == sizeof(void*));
static_assert(sizeof(fb_fix_screeninfo) == 68);
#endif
static_assert(sizeof(fb_var_screeninfo) == 160);

}  // namespace epdc
