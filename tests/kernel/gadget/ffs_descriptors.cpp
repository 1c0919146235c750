// The gadget's FunctionFS descriptor and string blocks (see ffs_descriptors.hpp).
#include "tests/kernel/gadget/ffs_descriptors.hpp"

#include <array>

namespace kbench::ffs {
namespace {

// Little-endian as the wire and FunctionFS want it, whatever the build.
constexpr std::array<std::uint8_t, 4> le32(std::uint32_t v)
{
    return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
            static_cast<std::uint8_t>(v >> 24)};
}

constexpr std::uint32_t kDescriptorsMagicV2 = 3, kStringsMagic = 2;
constexpr std::uint32_t kHasFullSpeed = 1, kHasHighSpeed = 2;
constexpr std::uint8_t kInterface = 4, kEndpoint = 5, kBulk = 2, kIn = 0x80;

// Interface, bulk-in, bulk-out: 9 + 7 + 7 bytes for one speed.
constexpr std::array<std::uint8_t, 23> speed(std::uint16_t packet)
{
    const auto lo = static_cast<std::uint8_t>(packet), hi = static_cast<std::uint8_t>(packet >> 8);
    return {9, kInterface, 0, 0, 2, 0x08, 0x06, 0x50, 1,  // two endpoints, mass storage, SCSI, BOT, string 1
            7, kEndpoint, 1 | kIn, kBulk, lo, hi, 0,    // ep1: bulk in
            7, kEndpoint, 2, kBulk, lo, hi, 0};         // ep2: bulk out
}

template <std::size_t... N>
constexpr auto join(const std::array<std::uint8_t, N>&... parts)
{
    std::array<std::uint8_t, (N + ...)> out{};
    std::size_t at = 0;
    ((std::copy(parts.begin(), parts.end(), out.begin() + at), at += N), ...);
    return out;
}

constexpr std::size_t kDescriptorsSize = 5 * 4 + 2 * 23;
constexpr auto kDescriptors = join(le32(kDescriptorsMagicV2), le32(kDescriptorsSize), le32(kHasFullSpeed | kHasHighSpeed),
                                   le32(3), le32(3), speed(64), speed(512));
static_assert(kDescriptors.size() == kDescriptorsSize);

constexpr std::array<std::uint8_t, 13> kName{'M', 'a', 's', 's', ' ', 'S', 't', 'o', 'r', 'a', 'g', 'e', 0};
constexpr std::size_t kStringsSize = 4 * 4 + 2 + kName.size();
constexpr auto kStrings =
    join(le32(kStringsMagic), le32(kStringsSize), le32(1), le32(1), std::array<std::uint8_t, 2>{0x09, 0x04}, kName);
static_assert(kStrings.size() == kStringsSize);

}  // namespace

std::span<const std::uint8_t> descriptors() { return kDescriptors; }
std::span<const std::uint8_t> strings() { return kStrings; }

}  // namespace kbench::ffs
