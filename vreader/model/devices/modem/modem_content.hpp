// What the WAN modem on /dev/ttyUSB0 answers with: modem.conf in the
// reader's directory, key=value, for a person or a test to edit (or through
// `vreader set DIR modem.KEY VALUE`):
//
//     meid=A100004A7C2E91     what AT$QCGSN reports after "0x00"
//     psn=QK1NB405174         what AT^PSN reports after "^PSN:"
//     echo=off                on: every byte written comes back at once
//     blank_lines=off         on: each answer line is preceded by an empty
//                             line ("\r\n"), as a modem in verbose mode frames
//                             its answers
//     meid_answer=normal      how AT$QCGSN and AT^PSN are answered: normal
//     psn_answer=normal       (data line, OK), no_data (OK alone), error
//                             (ERROR), cme_error (+CME ERROR: 10 and nothing
//                             more), okay (data line, OKAY), silent (nothing)
//     handshake_errors=0      "AT" is answered ERROR this many times after
//                             each open of the port, or always
//     delivery=whole          whole: a read takes a whole answer (or echo);
//                             bytes: one byte a read
//     unsolicited=none        a line (+CREG: 1) the modem sends unasked
//                             every 100 ms while nothing else waits to be
//                             read
//
// Missing keys, and a missing file, mean the defaults. Whether the reader
// has a modem at all is reader.conf's `modem`, as its device tree is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vreader {

inline constexpr std::string_view kModemFile = "modem.conf";
inline constexpr std::size_t kMaxModemValue = 64;

enum class ModemAnswer { Normal, NoData, Error, CmeError, Okay, Silent };

struct ModemContent {
    std::string meid = "A100004A7C2E91";  // 14 hexadecimal digits
    std::string psn = "QK1NB405174";      // 11 of 0-9 and A-Y
    bool echo = false;
    bool blank_lines = false;
    ModemAnswer meid_answer = ModemAnswer::Normal;
    ModemAnswer psn_answer = ModemAnswer::Normal;
    std::uint32_t handshake_errors = 0;
    bool handshake_always = false;  // every "AT" is answered ERROR
    bool bytewise = false;          // delivery=bytes
    std::string unsolicited;        // empty: none
};

std::string_view modem_answer_name(ModemAnswer answer);

std::string format_modem(const ModemContent& content);
bool parse_modem(std::string_view text, ModemContent& out, std::string& error);

}  // namespace vreader
