#include "hostlib/commands_tunnel.hpp"

#include "hostlib/commands_file.hpp"
#include "hostlib/little_endian.hpp"
#include "hostlib/results.hpp"

#include <cstdlib>

namespace fendrac {
namespace {

// Fetches the body the header announces into a buffer of its own. A body
// that cannot be allocated is left behind: the command still succeeds,
// with no body. A failed piece releases everything fetched.
std::int32_t fetch_body(CUSBCommand& command, const std::uint8_t (&header)[vendor::kTunnelHeaderSize], TunnelBody& body)
{
    const std::int32_t size = read_le32_signed(header + 4);
    if (size <= 0)
        return kOk;
    auto* buffer = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(size)));
    if (buffer == nullptr)
        return kOk;
    body = {buffer, size};
    std::int64_t remaining = size;
    std::uint8_t* at = buffer;
    while (remaining > 0) {
        const std::uint32_t piece = next_piece(remaining);
        std::uint32_t received = 0;
        if (ReceivePhase(command, at, piece, &received, piece_phase(remaining)) != 0 || received < piece) {
            std::free(buffer);
            body = {nullptr, 0};
            return kPhaseFailed;
        }
        at += piece;
        remaining -= piece;
    }
    return kOk;
}

}  // namespace

std::int32_t CUSBCommand_GetHttpRequest::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                                                 std::uint32_t reply_length)
{
    if (reply_length != kTunnelReplySize)
        return kPhaseFailed;
    auto& body = *static_cast<TunnelBody*>(reply);
    body = {nullptr, 0};
    if (SendPhase(*this, request, length, kPhaseOpening) != 0)
        return kPhaseFailed;
    std::uint8_t header[vendor::kTunnelHeaderSize] = {};
    if (ReceivePhase(*this, header, sizeof header, nullptr, kPhaseContinuing) != 0)
        return kPhaseFailed;
    return fetch_body(*this, header, body);
}

std::int32_t CUSBCommand_SetHttpResponse::Execute(void* request, std::uint32_t, void*, std::uint32_t, void* reply,
                                                  std::uint32_t reply_length)
{
    if (reply_length != kTunnelReplySize)
        return kPhaseFailed;
    auto& body = *static_cast<TunnelBody*>(reply);
    body = {nullptr, 0};
    const auto& response = *static_cast<const TunnelResponse*>(request);
    std::uint8_t length[4];
    write_le32(length, static_cast<std::uint32_t>(response.length));
    if (SendPhase(*this, length, sizeof length, kPhaseOpening) != 0)
        return kPhaseFailed;
    const std::uint8_t* at = response.data;
    for (std::int64_t remaining = response.length; remaining > 0;) {
        const std::uint32_t piece = next_piece(remaining);
        if (SendPhase(*this, at, piece, kPhaseContinuing) != 0)
            return kPhaseFailed;
        at += piece;
        remaining -= piece;
    }
    std::uint8_t header[vendor::kTunnelHeaderSize] = {};
    if (ReceivePhase(*this, header, sizeof header, nullptr, kPhaseContinuing) != 0)
        return kPhaseFailed;
    if (read_le32_signed(header) != 0)
        return kOk;
    return fetch_body(*this, header, body);
}

}  // namespace fendrac
