// The two SCSI commands of a removable medium, as the stock USB
// mass-storage gadget answers them for the LUN behind a volume: PREVENT
// ALLOW MEDIUM REMOVAL locks or unlocks the LUN's door, and START STOP UNIT
// with LoEj ejects its medium (the LUN's backing file empties) unless the
// door is locked. The door and the medium are the gadget's, kept in the
// reader's gadget.conf, where the reader's side sees them too: a locked door
// keeps the LUN's "file" attribute from changing.
#pragma once

#include "vreader/model/state/json_line.hpp"
#include "vreader/model/usb/scsi_sense.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vreader::scsi {

inline constexpr std::uint8_t kStartStopUnit = 0x1B;
inline constexpr std::uint8_t kPreventAllowMediumRemoval = 0x1E;

struct RemovalAnswer {
    std::optional<Sense> refused;  // CHECK CONDITION with this sense
    std::string error;             // why, for the journal
};

// One of the two commands to LUN `lun` of the gadget of the reader in
// `reader_dir`; what it learnt goes to `line` (lun; prevent; load_eject,
// start, and ejected: the file the eject took away).
RemovalAnswer removal(const std::array<std::uint8_t, 16>& cdb, std::uint8_t cdb_length, std::size_t lun,
                      const std::string& reader_dir, JsonLine& line);

}  // namespace vreader::scsi
