#include "vreader/model/usb/scsi_inquiry.hpp"

#include <algorithm>
#include <cstring>

namespace vreader::scsi {
namespace {

template <std::size_t N>
void padded(char (&field)[N], const std::string& text)
{
    std::memset(field, ' ', N);
    std::memcpy(field, text.data(), std::min(N, text.size()));
}

}  // namespace

InquiryData inquiry_data(const UsbContent& content, const UsbVolume& volume)
{
    InquiryData data{};
    data.peripheral = 0x00;
    data.removable = 0x80;
    data.version = 0x02;
    data.response_format = 0x02;
    data.additional_length = sizeof(InquiryData) - 5;
    padded(data.vendor, content.vendor);
    padded(data.product, content.product);
    padded(data.revision, content.revision);
    padded(data.vendor_specific, volume.text);
    return data;
}

InquiryAnswer inquiry(const std::array<std::uint8_t, 16>& cdb, std::uint8_t cdb_length, bool data_in,
                      std::uint32_t transfer_length, const UsbContent& content, const UsbVolume& volume)
{
    InquiryAnswer answer;
    answer.allocation_length = cdb[4];
    if (cdb_length != kInquiryCdbLength) {
        answer.refused = kInvalidCdbField;
        answer.error = "INQUIRY with a " + std::to_string(cdb_length) + "-byte block";
    } else if ((cdb[1] & 0x01) != 0 || cdb[2] != 0) {
        answer.refused = kInvalidCdbField;
        answer.error = "INQUIRY for vital product data, which the reader does not offer";
    } else if (!data_in && answer.allocation_length != 0) {
        // The gadget's function checks the direction only when data is to move.
        answer.refused = kInvalidCdbField;
        answer.error = "INQUIRY with no data-in stage";
    }
    if (answer.refused)
        return answer;
    const InquiryData data = inquiry_data(content, volume);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&data);
    const std::size_t size = std::min<std::size_t>({sizeof data, answer.allocation_length, transfer_length});
    answer.data.assign(bytes, bytes + size);
    return answer;
}

}  // namespace vreader::scsi
