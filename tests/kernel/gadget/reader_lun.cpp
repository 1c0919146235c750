// One LUN of the reader stand-in gadget (see reader_lun.hpp).
#include "tests/kernel/gadget/reader_lun.hpp"

#include <algorithm>
#include <string_view>

namespace kbench {
namespace {

std::span<const std::uint8_t> cdb_of(const bot::Cbw& cbw) { return {cbw.cb.data(), cbw.cb_length}; }

}  // namespace

Want ReaderLun::want(const bot::Cbw& cbw) const
{
    if (disk::Lun::handles(cbw.cb[0])) {
        bool data_in = true;
        const std::uint32_t length = disk::Lun::data_length(cdb_of(cbw), data_in);
        if (length == 0)
            return {};
        return {data_in ? bot::Direction::In : bot::Direction::Out, length};
    }
    return {cbw.direction, cbw.transfer_length};
}

Result ReaderLun::run(const bot::Cbw& cbw, std::span<const std::uint8_t> data_out)
{
    if (disk::Lun::handles(cbw.cb[0])) {
        disk::Reply reply = disk_.execute(cdb_of(cbw), data_out);
        return {reply.status != 0, std::move(reply.data_in)};
    }
    if (reader_ == nullptr)
        return plain(cbw);
    vreader::ScsiRequest request;
    std::copy(cbw.cb.begin(), cbw.cb.end(), request.cdb.begin());
    request.cdb_length = cbw.cb_length;
    request.data_in = cbw.direction == bot::Direction::In;
    request.transfer_length = cbw.transfer_length;
    if (cbw.direction == bot::Direction::Out)
        request.data_out.assign(data_out.begin(), data_out.end());
    const auto started = std::chrono::steady_clock::now();
    vreader::ScsiReply reply = reader_->exchange(volume_, request);
    model_time_ += std::chrono::steady_clock::now() - started;
    ++model_exchanges_;
    switch (reply.call) {
    case vreader::ScsiReply::Call::Done:
        if (reply.status != 0) {
            // The sense the model gives is what the host's REQUEST SENSE reads next.
            disk_.set_sense(reply.sense[2] & 0x0f, reply.sense[12], reply.sense[13]);
            return {true, {}};
        }
        disk_.set_sense(0, 0, 0);
        reply.data_in.resize(std::min<std::size_t>(reply.data_in.size(), reply.transfer_length));
        return {false, std::move(reply.data_in)};
    case vreader::ScsiReply::Call::NothingReturned:
        disk_.set_sense(0, 0, 0);
        return {};
    case vreader::ScsiReply::Call::Fails:
        break;
    }
    // A failure the model gives as the PC driver's own error: on a real
    // wire it is the device's hardware error (internal target failure).
    disk_.set_sense(0x04, 0x44, 0x00);
    return {true, {}};
}

Result ReaderLun::plain(const bot::Cbw& cbw)
{
    constexpr std::uint8_t kInquiry = 0x12, kStartStopUnit = 0x1b, kPreventAllowMediumRemoval = 0x1e;
    if (cbw.cb[0] == kStartStopUnit || cbw.cb[0] == kPreventAllowMediumRemoval)
        return {};
    if (cbw.cb[0] != kInquiry || (cbw.cb[1] & 1) != 0) {
        // An operation it does not know, or vital product data it has none of.
        disk_.set_sense(0x05, cbw.cb[0] != kInquiry ? 0x20 : 0x24, 0x00);
        return {true, {}};
    }
    // Standard data: a direct-access disk, SPC-3, vendor, product, revision.
    std::vector<std::uint8_t> data{0x00, 0x00, 0x05, 0x02, 31, 0, 0, 0};
    for (const char c : std::string_view("KBENCH  PLAIN DISK      1.00"))
        data.push_back(static_cast<std::uint8_t>(c));
    data.resize(std::min<std::size_t>(data.size(), cbw.cb[4]));
    return {false, std::move(data)};
}

}  // namespace kbench
