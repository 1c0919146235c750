// The device table's fault check against the models it speaks for: a reply
// fault is taken on a command exactly when the model answers that command,
// so no fault is refused that could fire, and none set that could not.
#include "vreader/model/board/device_table.hpp"
#include "vreader/model/devices/subcpu/subcpu_firmware.hpp"
#include "vreader/model/devices/touch_panel/touch_panel.hpp"
#include "vreader/model/devices/touch_panel/touch_panel_content.hpp"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

bool fault_fits(const std::string& device, unsigned code)
{
    char request[16];
    std::snprintf(request, sizeof request, "reply_%02X", code);
    vreader::Fault fault;
    fault.device = device;
    fault.request = request;
    fault.kind = vreader::FaultKind::Silent;
    return vreader::fault_misfit(vreader::ReaderConfig{}, fault).empty();
}

TEST(FaultScopeTest, ReplyFaultsFitTheCommandsTheModelsAnswer)
{
    vreader::use_device_table();
    for (unsigned code = 0; code <= 0xFF; ++code) {
        const auto byte = static_cast<std::uint8_t>(code);
        std::vector<std::uint8_t> request(1 + vreader::touch_panel::parameter_count(byte), 0);
        request[0] = byte;
        vreader::TouchPanelContent content = vreader::default_touch_panel();
        bool changed = false;
        const bool panel_answers = !vreader::touch_panel::answer(request, content, changed).empty();
        EXPECT_EQ(fault_fits("ttymxc1", code), panel_answers) << "panel command " << code;
        EXPECT_EQ(fault_fits("sub_cpu", code), vreader::sub_cpu::answers(byte)) << "sub-CPU command " << code;
    }
}

}  // namespace
