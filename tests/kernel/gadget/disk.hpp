// The standard commands a host's disk driver sends to one LUN of the reader
// stand-in gadget, answered on a backing store of 512-byte blocks: TEST UNIT
// READY, READ CAPACITY (10 and 16), READ/WRITE (10), MODE SENSE (6 and 10),
// REQUEST SENSE (the sense of the last failed command), SYNCHRONIZE CACHE.
// INQUIRY, the vendor commands, START STOP UNIT and PREVENT ALLOW MEDIUM
// REMOVAL belong to the reader's model; the caller hands those over.
// Portable, so it is tested natively over memory.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace kbench::disk {

inline constexpr std::uint32_t kBlockSize = 512;

// Where a LUN's blocks live: a sparse file on the gadget, memory in tests.
class Backing {
public:
    virtual ~Backing() = default;
    virtual std::uint64_t blocks() const = 0;
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
    virtual bool write(std::uint64_t offset, std::span<const std::uint8_t> in) = 0;
    virtual bool flush() = 0;
};

struct Reply {
    std::uint8_t status = 0;              // 0 GOOD, 2 CHECK CONDITION
    std::vector<std::uint8_t> data_in;    // what goes to the host
    std::uint32_t data_out_wanted = 0;    // bytes the command takes from the host
};

class Lun {
public:
    explicit Lun(Backing& backing) : backing_(backing) {}

    // True when this LUN answers the operation itself.
    static bool handles(std::uint8_t operation);

    // How many bytes the command wants to move, and which way, before its
    // data phase (so the transport can plan it).
    static std::uint32_t data_length(std::span<const std::uint8_t> cdb, bool& data_in);

    // The command, with the data the host sent for it (for WRITE (10)).
    Reply execute(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data_out);

    // A failure outside this LUN (the model's CHECK CONDITION) that REQUEST
    // SENSE reports next.
    void set_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

private:
    Reply fail(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq = 0);
    Backing& backing_;
    std::array<std::uint8_t, 3> sense_{};  // key, ASC, ASCQ
};

}  // namespace kbench::disk
