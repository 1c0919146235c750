#include "vreader/model/usb/scsi_removal.hpp"

#include "vreader/model/state/gadget_content.hpp"

#include <cstring>

namespace vreader::scsi {
namespace {

constexpr std::uint8_t kCdbLength = 6;

RemovalAnswer refused(const Sense& sense, std::string why) { return {sense, std::move(why)}; }

// The gadget takes a longer block than the command's, but every byte it
// does not know must be zero (the LUN bits of byte 1 aside); within byte 1
// and byte 4 only the command's own bits may be set.
bool block_is_clean(const std::array<std::uint8_t, 16>& cdb, std::uint8_t cdb_length, std::uint8_t byte1_bits,
                    std::uint8_t byte4_bits)
{
    for (std::size_t i = 1; i < cdb_length && i < cdb.size(); ++i) {
        const std::uint8_t allowed = i == 1 ? static_cast<std::uint8_t>(byte1_bits | 0xE0) : i == 4 ? byte4_bits : 0;
        if ((cdb[i] & ~allowed) != 0)
            return false;
    }
    return true;
}

}  // namespace

RemovalAnswer removal(const std::array<std::uint8_t, 16>& cdb, std::uint8_t cdb_length, std::size_t lun,
                      const std::string& reader_dir, JsonLine& line)
{
    line.add("lun", static_cast<std::uint64_t>(lun));
    GadgetContent gadget;
    std::string why;
    if (!load_gadget(reader_dir, gadget, why))
        return refused(kInternalFailure, why);
    if (lun >= gadget.luns.size())
        return refused(kLunNotSupported, "the gadget has no LUN " + std::to_string(lun));
    GadgetLun& entry = gadget.luns[lun];
    const bool prevent_allow = cdb[0] == kPreventAllowMediumRemoval;
    if (cdb_length < kCdbLength ||
        !block_is_clean(cdb, cdb_length, prevent_allow ? 0x00 : 0x01, prevent_allow ? 0x01 : 0x03))
        return refused(kInvalidCdbField, "a malformed block");

    if (prevent_allow) {
        entry.prevent = (cdb[4] & 0x01) != 0;
        line.add("prevent", entry.prevent ? 1 : 0);
    } else {
        const bool load_eject = (cdb[4] & 0x02) != 0;
        const bool start = (cdb[4] & 0x01) != 0;
        line.add("load_eject", load_eject ? 1 : 0).add("start", start ? 1 : 0);
        // Starting needs a medium and changes nothing; stopping is allowed
        // only while the door is unlocked, and with LoEj takes the medium.
        if (start)
            return entry.file.empty() ? refused(kMediumNotPresent, "no medium") : RemovalAnswer{};
        if (entry.prevent)
            return refused(kMediumRemovalPrevented, "the door is locked");
        if (!load_eject || entry.file.empty())
            return {};
        line.add("ejected", entry.file);
        entry.file.clear();
        entry.device.clear();
        entry.sectors = 0;
    }
    if (const int e = save_gadget(reader_dir, gadget))
        return refused(kInternalFailure, "cannot write the gadget's state: " + std::string(std::strerror(e)));
    return {};
}

}  // namespace vreader::scsi
