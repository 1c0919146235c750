// The Bulk-Only Transport of the kernel bench's reader stand-in gadget: the
// command and status wrappers as they cross the wire, the checks a command
// wrapper passes before its command runs, and the plan for the data phase
// when what the host announced and what the command wants differ (the
// transport's thirteen cases). Portable, so it is tested natively; the
// FunctionFS side only moves the bytes this plan names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kbench::bot {

inline constexpr std::uint32_t kCbwSignature = 0x43425355;  // "USBC" on the wire
inline constexpr std::uint32_t kCswSignature = 0x53425355;  // "USBS" on the wire
inline constexpr std::size_t kCbwSize = 31;
inline constexpr std::size_t kCswSize = 13;
inline constexpr std::size_t kMaxCdb = 16;

// Class requests on ep0 (interface recipient).
inline constexpr std::uint8_t kRequestReset = 0xff;
inline constexpr std::uint8_t kRequestGetMaxLun = 0xfe;

#pragma pack(push, 1)
struct CbwWire {
  std::uint32_t signature;
  std::uint32_t tag;
  std::uint32_t transfer_length;
  std::uint8_t flags;
  std::uint8_t lun;
  std::uint8_t cb_length;
  std::uint8_t cb[kMaxCdb];
};
struct CswWire {
  std::uint32_t signature;
  std::uint32_t tag;
  std::uint32_t residue;
  std::uint8_t status;
};
#pragma pack(pop)
static_assert(sizeof(CbwWire) == kCbwSize);
static_assert(sizeof(CswWire) == kCswSize);

// The data phase's direction, seen from the host: In carries device data to
// the host.
enum class Direction : std::uint8_t { None, In, Out };

struct Cbw {
  std::uint32_t tag = 0;
  std::uint32_t transfer_length = 0;
  Direction direction = Direction::None;
  std::uint8_t lun = 0;
  std::array<std::uint8_t, kMaxCdb> cb{};
  std::uint8_t cb_length = 0;
};

// Invalid: not 31 bytes or a wrong signature. NotMeaningful: reserved flag
// bits set, or a command block length outside 1..16. Both leave the device
// stalling both bulk endpoints until the host's reset. A LUN beyond the last
// one passes here: the disk layer answers it with a sense.
enum class CbwCheck : std::uint8_t { Ok, Invalid, NotMeaningful };
CbwCheck parse_cbw(std::span<const std::uint8_t> bytes, Cbw& out);

enum class CswStatus : std::uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };
std::array<std::uint8_t, kCswSize> encode_csw(std::uint32_t tag, std::uint32_t residue, CswStatus status);

// What the device does in the data phase. `move` bytes go in the host's
// direction (never more than either side wants). stall_in: after them the
// bulk-in endpoint halts, which ends a short data-in or refuses one the
// device has no data for. discard_out: the device reads and drops what the
// host still sends, rather than stalling bulk-out, whose halt the host could
// miss once the controller has acknowledged the packets. phase_error: the
// status is 2 whatever the command's own. residue: what the host announced
// and did not get moved.
struct Plan {
  std::uint32_t move = 0;
  bool stall_in = false;
  bool discard_out = false;
  bool phase_error = false;
  std::uint32_t residue = 0;
  bool operator==(const Plan&) const = default;
};
Plan plan_data_phase(Direction host, std::uint32_t host_length, Direction device, std::uint32_t device_length);

}  // namespace kbench::bot
