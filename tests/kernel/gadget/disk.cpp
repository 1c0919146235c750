// The gadget's disk commands for one LUN (see disk.hpp).
#include "tests/kernel/gadget/disk.hpp"

#include <algorithm>

namespace kbench::disk {
namespace {

enum : std::uint8_t {
    kTestUnitReady = 0x00, kRequestSense = 0x03, kModeSense6 = 0x1a, kReadCapacity10 = 0x25,
    kRead10 = 0x28, kWrite10 = 0x2a, kSynchronizeCache10 = 0x35, kModeSense10 = 0x5a,
    kServiceActionIn16 = 0x9e, kReadCapacity16 = 0x10,
};
// Sense keys and codes.
enum : std::uint8_t { kNotReady = 0x02, kMediumNotPresent = 0x3a, kIllegalRequest = 0x05, kMediumError = 0x03, kInvalidOpcode = 0x20,
                      kLbaOutOfRange = 0x21, kInvalidField = 0x24, kUnrecoveredRead = 0x11,
                      kWriteError = 0x0c };

std::uint32_t be(std::span<const std::uint8_t> p, std::size_t at, int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[at + i];
    return v;
}

void put_be(std::vector<std::uint8_t>& out, std::size_t at, std::uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i, v >>= 8) out[at + i] = static_cast<std::uint8_t>(v);
}

// A mode parameter header and no pages: no block descriptors, not write
// protected, which answers the disk driver's cache and write-protect probes.
std::vector<std::uint8_t> mode_header(bool ten, std::uint32_t allocation) {
    std::vector<std::uint8_t> out(ten ? 8 : 4, 0);
    if (ten) put_be(out, 0, 6, 2); else out[0] = 3;
    out.resize(std::min<std::size_t>(out.size(), allocation));
    return out;
}

}  // namespace

bool Lun::handles(std::uint8_t operation) {
    switch (operation) {
        case kTestUnitReady: case kRequestSense: case kModeSense6: case kReadCapacity10: case kRead10:
        case kWrite10: case kSynchronizeCache10: case kModeSense10: case kServiceActionIn16:
            return true;
        default:
            return false;
    }
}

std::uint32_t Lun::data_length(std::span<const std::uint8_t> cdb, bool& data_in) {
    data_in = true;
    if (cdb.empty()) return 0;
    switch (cdb[0]) {
        case kRequestSense: case kModeSense6: return cdb.size() >= 6 ? cdb[4] : 0;
        case kReadCapacity10: return 8;
        case kModeSense10: return cdb.size() >= 10 ? be(cdb, 7, 2) : 0;
        case kServiceActionIn16: return cdb.size() >= 16 && (cdb[1] & 0x1f) == kReadCapacity16 ? be(cdb, 10, 4) : 0;
        case kRead10: return cdb.size() >= 10 ? be(cdb, 7, 2) * kBlockSize : 0;
        case kWrite10: data_in = false; return cdb.size() >= 10 ? be(cdb, 7, 2) * kBlockSize : 0;
        default: return 0;
    }
}

Reply Lun::fail(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    set_sense(key, asc, ascq);
    Reply reply;
    reply.status = 2;
    return reply;
}

void Lun::set_sense(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) { sense_ = {key, asc, ascq}; }

Reply Lun::execute(std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data_out) {
    if (cdb.empty() || !handles(cdb[0])) return fail(kIllegalRequest, kInvalidOpcode);
    const std::uint8_t op = cdb[0];
    const std::size_t need = op < 0x20 ? 6 : op < 0x60 ? 10 : 16;  // the operation group's length
    if (cdb.size() < need) return fail(kIllegalRequest, kInvalidField);
    const std::uint64_t blocks = backing_.blocks();
    if (blocks == 0 && op != kRequestSense) return fail(kNotReady, kMediumNotPresent);
    Reply reply;
    switch (op) {
        case kTestUnitReady:
            break;
        case kRequestSense: {
            std::vector<std::uint8_t> s(18, 0);
            s[0] = 0x70; s[2] = sense_[0]; s[7] = 10; s[12] = sense_[1]; s[13] = sense_[2];
            s.resize(std::min<std::size_t>(s.size(), cdb[4]));
            sense_ = {};
            reply.data_in = std::move(s);
            return reply;  // REQUEST SENSE itself leaves no sense behind
        }
        case kModeSense6: reply.data_in = mode_header(false, cdb[4]); break;
        case kModeSense10: reply.data_in = mode_header(true, be(cdb, 7, 2)); break;
        case kReadCapacity10:
            reply.data_in.assign(8, 0);
            put_be(reply.data_in, 0, std::min<std::uint64_t>(blocks - 1, 0xffffffff), 4);
            put_be(reply.data_in, 4, kBlockSize, 4);
            break;
        case kServiceActionIn16: {
            if ((cdb[1] & 0x1f) != kReadCapacity16) return fail(kIllegalRequest, kInvalidField);
            std::vector<std::uint8_t> d(32, 0);
            put_be(d, 0, blocks - 1, 8);
            put_be(d, 8, kBlockSize, 4);
            d.resize(std::min<std::size_t>(d.size(), be(cdb, 10, 4)));
            reply.data_in = std::move(d);
            break;
        }
        case kRead10: case kWrite10: {
            const std::uint64_t lba = be(cdb, 2, 4);
            const std::uint64_t count = be(cdb, 7, 2);
            if (lba + count > blocks) return fail(kIllegalRequest, kLbaOutOfRange);
            const auto bytes = static_cast<std::size_t>(count * kBlockSize);  // at most 65535 blocks
            if (op == kRead10) {
                reply.data_in.resize(bytes);
                if (!backing_.read(lba * kBlockSize, reply.data_in)) return fail(kMediumError, kUnrecoveredRead);
            } else {
                reply.data_out_wanted = static_cast<std::uint32_t>(bytes);
                if (data_out.size() < bytes) return fail(kIllegalRequest, kInvalidField);
                if (!backing_.write(lba * kBlockSize, data_out.first(bytes))) return fail(kMediumError, kWriteError);
            }
            break;
        }
        case kSynchronizeCache10:
            if (!backing_.flush()) return fail(kMediumError, kWriteError);
            break;
        default:
            return fail(kIllegalRequest, kInvalidOpcode);
    }
    sense_ = {};
    return reply;
}

}  // namespace kbench::disk
