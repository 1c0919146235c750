#include "vreader/model/usb/usb_exchange.hpp"

#include <algorithm>

namespace vreader::usb {

Bytes le32(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

std::uint32_t read_le32(const Bytes& data, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && at + i < data.size(); ++i)
        value |= std::uint32_t{data[at + i]} << (8 * i);
    return value;
}

std::string text_of(const Bytes& data)
{
    const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
    return std::string(data.begin(), end);
}

VendorAnswer refuse(const scsi::Sense& sense, std::string error)
{
    VendorAnswer answer;
    answer.refused = sense;
    answer.error = std::move(error);
    return answer;
}

std::string phase_text(bool data_in, std::uint8_t phase)
{
    return std::string(data_in ? "in" : "out") + " phase " + std::to_string(phase);
}

std::optional<VendorAnswer> expect(std::string_view command, const VendorExchange& exchange, bool data_in,
                                   std::uint8_t phase)
{
    // With no data to move the block carries no direction: the gadget's
    // mass-storage function takes a transfer length of 0 as "no data", and
    // the PC's kernel sends a data-in of 0 bytes as no data too.
    const bool no_data = exchange.asked == 0 && exchange.data.empty();
    if ((exchange.data_in == data_in || no_data) && exchange.phase == phase)
        return std::nullopt;
    return refuse(scsi::kCommandSequence, std::string(command) + " expects " + phase_text(data_in, phase) + ", not " +
                                              phase_text(exchange.data_in, exchange.phase));
}

std::optional<VendorAnswer> expect_size(const VendorExchange& exchange, std::size_t min, std::size_t max)
{
    if (exchange.data.size() >= min && exchange.data.size() <= max)
        return std::nullopt;
    return refuse(scsi::kParameterLength,
                  std::to_string(exchange.data.size()) + " bytes where " +
                      (min == max ? std::to_string(min) : std::to_string(min) + " to " + std::to_string(max)) +
                      " belong");
}

Piece next_piece(std::uint32_t length, std::uint32_t moved)
{
    const std::uint32_t remaining = length - std::min(length, moved);
    if (remaining <= kMaxPhase)
        return {remaining, kClosing};
    return {static_cast<std::uint32_t>(kMaxPhase), kContinuing};
}

std::optional<VendorAnswer> expect_piece(std::string_view command, const VendorExchange& exchange, bool data_in,
                                         const Piece& piece)
{
    if (auto wrong = expect(command, exchange, data_in, piece.phase))
        return wrong;
    const std::size_t size = data_in ? exchange.asked : exchange.data.size();
    if (size == piece.size)
        return std::nullopt;
    return refuse(scsi::kParameterLength, std::string(command) + " piece of " + std::to_string(size) + " bytes where " +
                                              std::to_string(piece.size) + " belong");
}

VendorAnswer send_at_most(const VendorExchange& exchange, Bytes data)
{
    VendorAnswer answer;
    data.resize(std::min<std::size_t>(data.size(), exchange.asked));
    answer.data = std::move(data);
    return answer;
}

}  // namespace vreader::usb
