// One LUN of the reader stand-in gadget: the disk commands a host's disk
// driver sends, answered on the LUN's backing store, and every other command
// (INQUIRY, the vendor commands, START STOP UNIT, PREVENT ALLOW MEDIUM
// REMOVAL) handed to the virtual reader's USB model for the volume behind
// the LUN, with its journal, state and faults. Portable, so it is tested
// natively; the FunctionFS side moves the bytes.
#pragma once

#include "tests/kernel/gadget/bot.hpp"
#include "tests/kernel/gadget/disk.hpp"
#include "vreader/model/usb/usb_storage.hpp"

#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

namespace kbench {

// What the device wants of a command's data phase, before it runs.
struct Want {
    bot::Direction direction = bot::Direction::None;
    std::uint32_t length = 0;
};

struct Result {
    bool failed = false;                 // CHECK CONDITION: the CSW says failed
    std::vector<std::uint8_t> data_in;   // what goes to the host
};

class ReaderLun {
public:
    ReaderLun(disk::Backing& backing, vreader::UsbStorage& reader, int volume)
        : disk_(backing), reader_(&reader), volume_(volume) {}
    // A plain disk beside the reader's volumes: its own INQUIRY, a medium
    // that is never locked or ejected, every other command the disk's.
    explicit ReaderLun(disk::Backing& backing) : disk_(backing) {}

    // The disk's commands want what their blocks say; the model's take the
    // data phase the host announced, as the reader's handler does.
    Want want(const bot::Cbw& cbw) const;

    // Runs the command with the `data_out` the host sent for it.
    Result run(const bot::Cbw& cbw, std::span<const std::uint8_t> data_out);

    // Time spent in the reader's model so far, and its exchanges: what a
    // throughput comparison takes out as the device's own work.
    std::chrono::nanoseconds model_time() const { return model_time_; }
    std::uint64_t model_exchanges() const { return model_exchanges_; }

    // A failure of the transport's own (an injected fault) that the host's
    // REQUEST SENSE reads next.
    void set_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) { disk_.set_sense(key, asc, ascq); }

private:
    Result plain(const bot::Cbw& cbw);

    disk::Lun disk_;
    vreader::UsbStorage* reader_ = nullptr;
    int volume_ = 0;
    std::chrono::nanoseconds model_time_{0};
    std::uint64_t model_exchanges_ = 0;
};

}  // namespace kbench
