// CUSBProperty: what the library keeps of the open reader, shared by the
// manager and every command: the protocol version read at open, which
// gates the commands that need a newer reader.
#pragma once

#include <array>
#include <cstdint>

namespace fendrac {

class CUSBProperty {
public:
    virtual ~CUSBProperty() = default;

    // "0100" followed by a little-endian word above "/010" ("0010" passes,
    // "0000" does not). Eight zero bytes (a failed query) fail.
    bool version_gate_passes() const;

    std::array<std::uint8_t, 8> protocol_version{};
};

// The process-wide record, created by whichever object needs it first and
// destroyed with the manager.
CUSBProperty* shared_property();
void destroy_shared_property();

}  // namespace fendrac
