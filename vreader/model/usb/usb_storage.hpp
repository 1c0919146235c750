// The reader as a PC's storage driver sees it over USB: its volumes (the
// built-in storage and the card slots), each answering SCSI requests, and
// behind them the reader's handler of the vendor commands with the state it
// keeps in the reader's directory. Portable C++: it builds into the native
// tests and into the Windows builds that run under Wine.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vreader {

// One SCSI request that the PC's storage driver passes to a volume.
struct ScsiRequest {
    std::array<std::uint8_t, 16> cdb{};
    std::uint8_t cdb_length = 0;
    bool data_in = false;                // data from the reader to the PC
    std::uint32_t transfer_length = 0;   // bytes asked for (in) or offered (out)
    std::vector<std::uint8_t> data_out;  // the bytes offered, transfer_length of them
};

// What comes back through the pass-through request.
struct ScsiReply {
    enum class Call {
        Done,             // the request went through; status and data hold
        Fails,            // the driver fails the request with `error`
        NothingReturned,  // the request succeeds but reports no bytes
    };
    Call call = Call::Done;
    std::uint32_t error = 0;               // a Windows error code, for Call::Fails
    std::uint8_t status = 0;               // SCSI status: 0 GOOD, 2 CHECK CONDITION
    std::vector<std::uint8_t> data_in;     // what the reader sent, at most transfer_length
    std::uint32_t transfer_length = 0;     // bytes moved, as the driver reports back
    std::array<std::uint8_t, 32> sense{};  // fixed-format sense data on CHECK CONDITION
};

class UsbStorage {
public:
    virtual ~UsbStorage() = default;

    // The reader in `reader_dir`, or nullptr with the reason in `error`.
    // The directory is a path as the calling process names it: "/tmp/r"
    // natively, "Z:\tmp\r" or "Z:/tmp/r" in a Windows process (under Wine,
    // Z: is the host's root); a trailing separator is allowed. Every call
    // reads the reader's state afresh, so any number of objects, in any
    // number of processes, may work on one reader one exchange at a time.
    static std::unique_ptr<UsbStorage> open(const std::string& reader_dir, std::string& error);

    // The volume behind a drive letter (either case), if the reader has one:
    // its number is the upper-case letter's character code ('E' is 69).
    virtual std::optional<int> volume(char letter) = 0;

    // One request to a volume: the reader's answer, with the misbehaviour
    // asked of it through the faults file, journaled. A volume that has gone
    // since (usb.conf changed) fails the call with ERROR_NOT_READY. Nothing
    // is thrown.
    virtual ScsiReply exchange(int volume, const ScsiRequest& request) = 0;
};

}  // namespace vreader
