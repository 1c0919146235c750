#include "hostlib/commands_file.hpp"

#include "hostlib/little_endian.hpp"
#include "hostlib/results.hpp"

namespace fendrac {
namespace {

constexpr std::uint32_t kWriteRequestSent = vendor::kWriteRequestSize;

}  // namespace

std::int32_t CUSBCommand_UsbFileRead::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                                              std::uint32_t)
{
    if (length != sizeof(FileRequest))
        return kBadArgument;
    if (SendPhase(*this, request, length, kPhaseOpening) != 0)
        return kExchangeFailed;
    std::int64_t remaining = static_cast<const FileRequest*>(request)->length;
    std::uint8_t status[4] = {};
    if (ReceivePhase(*this, status, sizeof status, nullptr, remaining > 0 ? kPhaseContinuing : kPhaseClosing) != 0)
        return kExchangeFailed;
    if (const std::int32_t reader_status = read_le32_signed(status))
        return reader_status;
    if (remaining <= 0)
        return kOk;
    if (reply == nullptr)
        return kBadArgument;
    auto* destination = static_cast<std::uint8_t*>(reply);
    while (remaining > 0) {
        const std::uint32_t piece = next_piece(remaining);
        std::uint32_t received = 0;
        if (ReceivePhase(*this, destination, piece, &received, piece_phase(remaining)) != 0 || received < piece)
            return kShortPiece;
        destination += piece;
        remaining -= piece;
    }
    return kOk;
}

std::int32_t CUSBCommand_UsbFileWrite::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void*,
                                               std::uint32_t)
{
    if (length != sizeof(FileRequest) || request == nullptr)
        return kPhaseFailed;
    const auto& call = *static_cast<const FileWriteCall*>(request);
    if (SendPhase(*this, &call.request, kWriteRequestSent, kPhaseOpening) != 0)
        return kPhaseFailed;
    std::int64_t remaining = call.request.length;
    std::uint8_t status[4] = {};
    if (ReceivePhase(*this, status, sizeof status, nullptr, remaining > 0 ? kPhaseContinuing : kPhaseClosing) != 0 ||
        read_le32_signed(status) != 0)
        return kPhaseFailed;
    if (remaining <= 0 || call.data == nullptr)
        return kOk;
    const auto* source = static_cast<const std::uint8_t*>(call.data);
    while (remaining > 0) {
        const std::uint32_t piece = next_piece(remaining);
        if (SendPhase(*this, source, piece, piece_phase(remaining)) != 0)
            return kPhaseFailed;
        source += piece;
        remaining -= piece;
    }
    return kOk;
}

std::int32_t CUSBCommand_UsbFileDelete::Execute(void* request, std::uint32_t length, void*, std::uint32_t, void* reply,
                                                std::uint32_t reply_length)
{
    if (length != kPathFieldSize)
        return kPhaseFailed;
    return CUSBCommand_PlainExchange::Execute(request, length, nullptr, 0, reply, reply_length);
}

}  // namespace fendrac
