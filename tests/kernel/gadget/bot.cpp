// The Bulk-Only Transport's wrappers and data-phase plan (see bot.hpp).
#include "tests/kernel/gadget/bot.hpp"

#include <algorithm>
#include <cstring>

namespace kbench::bot {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

void put_le32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

CbwCheck parse_cbw(std::span<const std::uint8_t> bytes, Cbw& out) {
  if (bytes.size() != kCbwSize || le32(bytes.data() + offsetof(CbwWire, signature)) != kCbwSignature) {
    return CbwCheck::Invalid;
  }
  const std::uint8_t flags = bytes[offsetof(CbwWire, flags)];
  const std::uint8_t cb_length = bytes[offsetof(CbwWire, cb_length)];
  if ((flags & 0x7f) != 0 || cb_length == 0 || cb_length > kMaxCdb) return CbwCheck::NotMeaningful;
  out = Cbw{};
  out.tag = le32(bytes.data() + offsetof(CbwWire, tag));
  out.transfer_length = le32(bytes.data() + offsetof(CbwWire, transfer_length));
  out.direction = out.transfer_length == 0 ? Direction::None : (flags & 0x80) ? Direction::In : Direction::Out;
  out.lun = bytes[offsetof(CbwWire, lun)] & 0x0f;
  out.cb_length = cb_length;
  std::memcpy(out.cb.data(), bytes.data() + offsetof(CbwWire, cb), cb_length);
  return CbwCheck::Ok;
}

std::array<std::uint8_t, kCswSize> encode_csw(std::uint32_t tag, std::uint32_t residue, CswStatus status) {
  std::array<std::uint8_t, kCswSize> csw{};
  put_le32(csw.data() + offsetof(CswWire, signature), kCswSignature);
  put_le32(csw.data() + offsetof(CswWire, tag), tag);
  put_le32(csw.data() + offsetof(CswWire, residue), residue);
  csw[offsetof(CswWire, status)] = static_cast<std::uint8_t>(status);
  return csw;
}

Plan plan_data_phase(Direction host, std::uint32_t host_length, Direction device, std::uint32_t device_length) {
  if (host_length == 0) host = Direction::None;
  if (device_length == 0) device = Direction::None;
  Plan plan;
  plan.residue = host_length;
  if (host == Direction::None) {
    plan.phase_error = device != Direction::None;  // the device wants data the host did not announce
    return plan;
  }
  if (device != Direction::None && device != host) {
    // Directions disagree: nothing moves; a data-in the host waits for ends
    // in a stall, a data-out the host sends is drained.
    plan.phase_error = true;
    plan.stall_in = host == Direction::In;
    plan.discard_out = host == Direction::Out;
    return plan;
  }
  plan.move = std::min(host_length, device_length);
  plan.residue = host_length - plan.move;
  plan.phase_error = device_length > host_length;  // the device wanted more than the host allowed
  if (plan.residue != 0) {
    plan.stall_in = host == Direction::In;
    plan.discard_out = host == Direction::Out;
  }
  return plan;
}

}  // namespace kbench::bot
