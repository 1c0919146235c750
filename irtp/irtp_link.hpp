// The serial link to the infra-red touch-panel controller on /dev/ttymxc1:
// port settings, the two hand-shake lines, the request pulse, the set-up
// exchanges and the collection of framed replies.
//
// The lines are named from the panel's side: "CTS" is the line the host
// drives (its RTS output, bit TIOCM_RTS), "RTS" the line it watches (its
// CTS input, bit TIOCM_CTS, which reads set while the panel holds it low).
//
// A reply frame: 0xEE, LEN (the bytes that follow it), the request's code,
// then LEN - 1 payload bytes, little-endian where wider than a byte.
#pragma once

#include "platform/unique_fd.hpp"
#include "protocol/touch_panel_codes.hpp"

#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>

namespace irtp {

inline constexpr const char* IR_DEVICE = "/dev/ttymxc1";
inline constexpr std::uint8_t kLeadByte = protocol::touch_panel::kLead;
inline constexpr std::size_t kReplyBuffer = 128;
inline constexpr std::size_t kSetupBuffer = 32;

// No read waits for ever: each waits at most this long for its first byte.
// A panel that stays silent, or stops inside a frame, fails the attempt.
inline constexpr int kReadWaitMs = 1000;

void setline(int fd, tcflag_t character_size, speed_t speed);

int cts_on(int fd);
int cts_off(int fd);

// 0 once the watched line is high, -1 when `timeout_ms` x 100 polls of
// 10 us each (failed looks included) did not see it high, or when the
// line could not be read ten times in this wait.
int rts_wait_high(int fd, int timeout_ms);
// Waits, without a time limit, for the watched line to go low: 0; -1 when
// the line could not be read ten times.
int rts_wait_low(int fd);

// The request pulse, then the request in one write: whether it went out
// whole. A request written short or not at all is a failed attempt.
bool request_command(int fd, const std::uint8_t* request, std::size_t length);

// Set-up exchanges: 0 when the panel accepted, -1 after a failed read or
// three attempts that were not sent whole or answered as they should be.
int send_active(int fd);
int send_setconfig(int fd);
// -1 when the request did not go out whole or the read failed.
int send_deactive(int fd);
// Sends touch start and reads nothing: 0, or -1 when it did not go out whole.
int send_touchstart(int fd);

// Opens and sets the panel UART and releases the driven line: the port, or
// an empty owner when it did not open.
sys::UniqueFd initialize();

// Waits for input for at most kReadWaitMs, then reads once: the read's
// result, or 0 when nothing came (errno untouched), -1 with errno.
ssize_t read_waiting(int fd, std::uint8_t* buffer, std::size_t size);

struct ReplyRequest {
    const std::uint8_t* bytes;  // sent after the request pulse, in one write
    std::size_t length;
    std::uint8_t code;         // the reply's expected code
    int read_error_status;     // the tool's exit status after a read error
    bool report_format_error;  // print "data format error(%x)" for another code
};

// Collects one framed reply into `buffer` with up to three attempts, the
// request sent again for each; an attempt whose request did not go out
// whole reads nothing. true when a frame with the expected code is
// there. Otherwise the failure has been printed and `exit_status` holds the
// status the tool ends with.
bool read_reply(int fd, const ReplyRequest& request, std::uint8_t (&buffer)[kReplyBuffer], int& exit_status);

}  // namespace irtp
