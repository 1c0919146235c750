// The WAN modem's AT command interpreter: what it answers to one command
// line, from modem.conf. Commands are matched without regard to case:
//
//     AT         OK, or ERROR while handshake errors are still due
//     AT$QCGSN   "0x00" followed by the MEID, then OK (or as meid_answer says)
//     AT^PSN     "^PSN:" followed by the serial number, then OK (or as
//                psn_answer says)
//     any other  ERROR
//
// On the wire every answer line ends with "\r\n".
#pragma once

#include "vreader/model/devices/modem/modem_content.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::wan_modem {

struct Answer {
    std::vector<std::string> lines;  // without their line ends
    std::string_view kind;           // for the journal: "ok", "handshake_error", "unknown" or an answer name
};

// The answer to `command` (the line without its end). `handshakes` counts
// the "AT" commands since the port was opened; this one is added.
Answer answer(std::string_view command, const ModemContent& content, std::uint32_t& handshakes);

// The lines as the modem sends them: each followed by "\r\n", and preceded
// by "\r\n" too when the modem frames its answers with blank lines.
std::string wire(const std::vector<std::string>& lines, bool blank_lines);

}  // namespace vreader::wan_modem
