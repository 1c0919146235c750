// The command classes of the HTTP tunnel: the request the reader prepared,
// and the response handed back; both bring a body back in pieces into a
// buffer that the caller releases.
#pragma once

#include "hostlib/usb_command.hpp"
#include "protocol/vendor_records.hpp"

#include <cstdint>

namespace fendrac {

using vendor::kSelectionFieldSize;

// The body that came back: null and 0 when none did.
struct TunnelBody {
    void* buffer;
    std::int32_t size;
};
// The reply record as the dispatchers size it: two 32-bit words on the
// library's own platform.
inline constexpr std::uint32_t kTunnelReplySize = 8;
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(TunnelBody) == kTunnelReplySize);
#endif

// What code 65 is handed: the response to send.
struct TunnelResponse {
    const std::uint8_t* data;
    std::int32_t length;
};

// Code 64: the 512-byte selection block, then the header and the body.
class CUSBCommand_GetHttpRequest : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

// Code 65: the response's length and its pieces, then the header and, when
// its status is 0, the body. `request` is a TunnelResponse.
class CUSBCommand_SetHttpResponse : public CUSBCommand {
public:
    std::int32_t Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                         std::uint32_t reply_length) override;
};

}  // namespace fendrac
