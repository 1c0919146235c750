// Argument decoding of the display commands and their fixed sequence:
// fill the image buffer, copy the region, send the update.
#include "display/command_line.hpp"
#include "display/drawing.hpp"
#include "display/morvane_state.hpp"
#include "platform/numbers.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace morvane {
namespace {

uint32_t decode_waveform_mode(const char* word)
{
    static constexpr struct {
        const char* word;
        uint32_t mode;
    } modes[] = {{"INIT", epdc::WAVEFORM_MODE_INIT},
                 {"DU", epdc::WAVEFORM_MODE_DU},
                 {"GC16", epdc::WAVEFORM_MODE_GC16},
                 {"A2", epdc::WAVEFORM_MODE_A2}};
    for (const auto& mode : modes)
        if (std::strcmp(word, mode.word) == 0)
            return mode.mode;
    return epdc::WAVEFORM_MODE_AUTO;
}

uint32_t decode_update_mode(const char* word)
{
    return std::strcmp(word, "FULL") == 0 ? epdc::UPDATE_MODE_FULL : epdc::UPDATE_MODE_PARTIAL;
}

uint32_t decode_conv(const char* word)
{
    static constexpr struct {
        const char* word;
        uint32_t flags;
        const char* message;
    } conversions[] = {
        {"MONO", epdc::EPDC_FLAG_FORCE_MONOCHROME, "monochrome"},
        {"INVT", epdc::EPDC_FLAG_ENABLE_INVERSION, "inversion"},
        {"MOIN", epdc::EPDC_FLAG_FORCE_MONOCHROME | epdc::EPDC_FLAG_ENABLE_INVERSION, "monochrome & inversion"},
        {"SP1_1", epdc::EPDC_FLAG_USE_SP1, "sp1_1"},
        {"SP1_2", epdc::EPDC_FLAG_DETECT_EDGE, "sp1_2 (detect edge)"},
        {"SP1_1-2", epdc::EPDC_FLAG_USE_SP1 | epdc::EPDC_FLAG_DETECT_EDGE, "sp1_1 & sp1_2"},
    };
    for (const auto& conversion : conversions) {
        if (std::strcmp(word, conversion.word) == 0) {
            std::printf("%s\n", conversion.message);
            return conversion.flags;
        }
    }
    return 0;
}

void report_pseudo_temperature(int32_t temperature) { std::printf("Use pseudo temperature %d\n", temperature); }

// "AMB" keeps the ambient temperature; any other word is a temperature.
void decode_pseudo_temperature(const char* word, epdc::mxcfb_update_data& record)
{
    if (std::strcmp(word, "AMB") == 0)
        return;
    record.temp = sys::atoi(word);
    report_pseudo_temperature(record.temp);
}

int decode_position(const char* word, const char* format)
{
    const int value = sys::atoi(word);
    std::printf(format, value);
    return value;
}

int send_update(char** argv, epdc::mxcfb_update_data& record)
{
    record.waveform_mode = decode_waveform_mode(argv[2]);
    record.update_mode = decode_update_mode(argv[3]);
    const int result = updateimg(record);
    if (result < 0)
        std::printf("updata panel failed. errno=%d\n", errno);
    return result;
}

void set_region(epdc::mxcfb_update_data& record, int left, int top, int width, int height)
{
    record.update_region.left = static_cast<uint32_t>(left);
    record.update_region.top = static_cast<uint32_t>(top);
    record.update_region.width = static_cast<uint32_t>(width);
    record.update_region.height = static_cast<uint32_t>(height);
}

}  // namespace

int display_file(int argc, char** argv, epdc::mxcfb_update_data& record)
{
    int left = 0;
    int top = 0;
    if (argc > 6)
        left = decode_position(argv[6], "left pos = %d\n");
    if (argc > 7)
        top = decode_position(argv[7], "top pos = %d\n");
    if (argc > 8)
        record.flags = decode_conv(argv[8]);

    int width = ResX;
    int height = ResY;
    load_img_file(argv[4], left, top, &width, &height);
    set_region(record, left, top, width, height);
    write_img_to_fb(left, top, width, height, var_info);
    if (argc > 5)
        decode_pseudo_temperature(argv[5], record);
    return send_update(argv, record);
}

int display_pattern(int argc, char** argv, epdc::mxcfb_update_data& record, int vertical)
{
    makepattern(argv[4], vertical);
    set_region(record, 0, 0, ResX, ResY);
    write_img_to_fb(0, 0, ResX, ResY, var_info);
    if (argc > 5) {
        record.temp = sys::atoi(argv[5]);
        report_pseudo_temperature(record.temp);
    }
    return send_update(argv, record);
}

int display_gray(int argc, char** argv, epdc::mxcfb_update_data& record)
{
    makegray(sys::atoi(argv[4]));
    int left = 0;
    int top = 0;
    int width = ResX;
    int height = ResY;
    if (argc > 6)
        left = decode_position(argv[6], "left pos = %d\n");
    if (argc > 7)
        top = decode_position(argv[7], "top pos = %d\n");
    if (argc > 8)
        width = decode_position(argv[8], "width = %d\n");
    if (argc > 9)
        height = decode_position(argv[9], "height = %d\n");
    if (argc > 10)
        record.flags = decode_conv(argv[10]);
    set_region(record, left, top, width, height);
    write_img_to_fb(left, top, width, height, var_info);
    if (argc > 5)
        decode_pseudo_temperature(argv[5], record);
    return send_update(argv, record);
}

}  // namespace morvane
