// SCSI INQUIRY on one of the reader's volumes: standard INQUIRY data with
// the reader's identification and the volume's vendor-specific text, which
// tells the built-in storage from the card slots.
#pragma once

#include "vreader/model/usb/scsi_sense.hpp"
#include "vreader/model/usb/usb_content.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vreader::scsi {

inline constexpr std::uint8_t kInquiry = 0x12;
inline constexpr std::uint8_t kInquiryCdbLength = 6;

// Standard INQUIRY data as the volumes send it; texts space-padded.
struct InquiryData {
    std::uint8_t peripheral;  // qualifier 0, direct-access block device
    std::uint8_t removable;   // bit 7: removable medium
    std::uint8_t version;
    std::uint8_t response_format;
    std::uint8_t additional_length;  // bytes after this one
    std::uint8_t flags[3];
    char vendor[8];
    char product[16];
    char revision[4];
    char vendor_specific[20];
};
static_assert(sizeof(InquiryData) == 56);
static_assert(offsetof(InquiryData, vendor) == 8);
static_assert(offsetof(InquiryData, product) == 16);
static_assert(offsetof(InquiryData, revision) == 32);
static_assert(offsetof(InquiryData, vendor_specific) == 36);

InquiryData inquiry_data(const UsbContent& content, const UsbVolume& volume);

struct InquiryAnswer {
    std::optional<Sense> refused;  // CHECK CONDITION with this sense
    std::string error;             // why, for the journal
    std::vector<std::uint8_t> data;
    std::uint8_t allocation_length = 0;
};

// The answer to an INQUIRY block: at most the allocation length (CDB byte
// 4) and at most `transfer_length` bytes. Vital product data pages are not
// offered.
InquiryAnswer inquiry(const std::array<std::uint8_t, 16>& cdb, std::uint8_t cdb_length, bool data_in,
                      std::uint32_t transfer_length, const UsbContent& content, const UsbVolume& volume);

}  // namespace vreader::scsi
