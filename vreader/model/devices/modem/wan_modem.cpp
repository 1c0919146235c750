#include "vreader/model/devices/modem/wan_modem.hpp"

#include <algorithm>
#include <cctype>

namespace vreader::wan_modem {
namespace {

bool same_command(std::string_view line, std::string_view command)
{
    return line.size() == command.size() && std::equal(line.begin(), line.end(), command.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) == b;
           });
}

// A data command's answer: its line, then the result code the content asks for.
Answer data_answer(ModemAnswer how, std::string data_line)
{
    const std::string_view kind = modem_answer_name(how);
    switch (how) {
    case ModemAnswer::NoData:
        return {{"OK"}, kind};
    case ModemAnswer::Error:
        return {{"ERROR"}, kind};
    case ModemAnswer::CmeError:
        return {{"+CME ERROR: 10"}, kind};
    case ModemAnswer::Okay:
        return {{std::move(data_line), "OKAY"}, kind};
    case ModemAnswer::Silent:
        return {{}, kind};
    case ModemAnswer::Normal:
        break;
    }
    return {{std::move(data_line), "OK"}, kind};
}

}  // namespace

Answer answer(std::string_view command, const ModemContent& content, std::uint32_t& handshakes)
{
    if (same_command(command, "AT")) {
        if (handshakes < UINT32_MAX)
            ++handshakes;
        if (content.handshake_always || handshakes <= content.handshake_errors)
            return {{"ERROR"}, "handshake_error"};
        return {{"OK"}, "ok"};
    }
    if (same_command(command, "AT$QCGSN"))
        return data_answer(content.meid_answer, "0x00" + content.meid);
    if (same_command(command, "AT^PSN"))
        return data_answer(content.psn_answer, "^PSN:" + content.psn);
    return {{"ERROR"}, "unknown"};
}

std::string wire(const std::vector<std::string>& lines, bool blank_lines)
{
    std::string bytes;
    for (const std::string& line : lines)
        bytes += (blank_lines ? "\r\n" : "") + line + "\r\n";
    return bytes;
}

}  // namespace vreader::wan_modem
