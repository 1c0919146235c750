#include "vreader/model/sub_cpu.hpp"

#include <algorithm>

namespace vreader::sub_cpu {
namespace {

struct Sizes {
    std::uint8_t code;
    std::size_t request;
    std::size_t reply;
};

constexpr Sizes kSizes[] = {
    {0x01, 6, 6},  {0x02, 5, 6},  {0x03, 4, 18}, {0x04, 4, 15}, {0x80, 4, 12}, {0x81, 4, 12},
    {0xF0, 4, 5},  {0xF1, 4, 5},  {0xF2, 4, 5},  {0xF3, 22, 5}, {0xF4, 7, 7},  {0xF5, 5, 5},
    {0xF6, 5, 5},  {0xF7, 4, 5},  {0xF8, 4, 5},  {0xF9, 4, 5},
};

const Sizes* sizes_of(std::uint8_t code)
{
    for (const Sizes& sizes : kSizes)
        if (sizes.code == code)
            return &sizes;
    return nullptr;
}

std::uint8_t sum(const std::uint8_t* bytes, std::size_t count)
{
    std::uint8_t total = 0;
    for (std::size_t i = 0; i < count; ++i)
        total = static_cast<std::uint8_t>(total + bytes[i]);
    return total;
}

Packet framed(std::uint8_t code, Packet payload)
{
    const std::size_t size = sizes_of(code)->reply;
    payload.resize(size - 4, 0);
    Packet packet{kLead, static_cast<std::uint8_t>(size - 2), code};
    packet.insert(packet.end(), payload.begin(), payload.end());
    packet.push_back(sum(packet.data() + 1, packet.size() - 1));
    return packet;
}

bool block_in_range(std::uint8_t block) { return block >= kFirstBlock && block <= kLastBlock; }

std::uint8_t erase(Flash& flash, unsigned cluster, std::uint8_t block)
{
    if (!block_in_range(block))
        return kBadBlock;
    const Packet blank(kBlockSize, 0xFF);
    const std::uint32_t address = block * kBlockSize;
    flash.write(cluster, address, blank.data(), blank.size());
    flash.write(kReceived, address, blank.data(), blank.size());
    return kOk;
}

std::uint8_t verify(Flash& flash, unsigned cluster, std::uint8_t block)
{
    if (!block_in_range(block))
        return kBadBlock;
    Packet stored(kBlockSize), sent(kBlockSize);
    const std::uint32_t address = block * kBlockSize;
    if (!flash.read(cluster, address, stored.data(), kBlockSize) || !flash.read(kReceived, address, sent.data(), kBlockSize))
        return kVerifyFailed;
    return stored == sent ? kOk : kVerifyFailed;
}

std::uint8_t write16(Flash& flash, unsigned cluster, const std::uint8_t* payload, bool corrupt)
{
    const std::uint32_t address = std::uint32_t{payload[0]} << 8 | payload[1];
    if (address < kFlashStart || address + 16 > kFlashEnd)
        return kBadAddress;
    std::uint8_t present[16];
    if (!flash.read(cluster, address, present, sizeof present))
        return kBadAddress;
    // Flash only takes what is erased.
    if (std::any_of(std::begin(present), std::end(present), [](std::uint8_t b) { return b != 0xFF; }))
        return kNotErased;
    std::uint8_t data[16];
    std::copy(payload + 2, payload + 18, data);
    flash.write(kReceived, address, data, sizeof data);
    if (corrupt)
        data[0] ^= 0x01;
    flash.write(cluster, address, data, sizeof data);
    return kOk;
}

}  // namespace

std::string refusal(const Packet& packet)
{
    if (packet.size() < 4 || packet[0] != kLead)
        return "lead byte";
    if (packet[1] != packet.size() - 2)
        return "length";
    if (sum(packet.data() + 1, packet.size() - 2) != packet.back())
        return "checksum";
    const Sizes* sizes = sizes_of(packet[2]);
    if (sizes == nullptr || sizes->request != packet.size())
        return "unknown code";
    return {};
}

Packet answer(const Packet& request, SubCpuState& state, Flash& flash, bool corrupt, bool& changed)
{
    const std::uint8_t code = request[2];
    const std::uint8_t* payload = request.data() + 3;
    const unsigned cluster = state.update_cluster();
    // Every request after the change to update mode needs update mode.
    const bool needs_update_mode = code >= 0xF1 && code <= 0xF8;
    if (needs_update_mode && !state.update_mode) {
        if (code == 0xF4)
            return framed(code, {0xFF, 0xFF, 0x00});  // an address that answers no read
        return framed(code, {kNotInUpdateMode});
    }
    switch (code) {
    case 0x01: {
        const std::uint8_t reg = payload[0];
        // The status registers and the ones it does not have keep their value.
        if (is_config_register(reg)) {
            state.charger[reg] = payload[1];
            changed = true;
        }
        const auto found = state.charger.find(reg);
        return framed(code, {reg, found == state.charger.end() ? std::uint8_t{0} : found->second});
    }
    case 0x02: {
        const auto found = state.charger.find(payload[0]);
        return framed(code, {payload[0], found == state.charger.end() ? std::uint8_t{0} : found->second});
    }
    case 0x03:
    case 0x04: {
        Packet values;
        if (code == 0x03)
            for (const std::uint8_t reg : kConfigRegisters)
                values.push_back(state.charger[reg]);
        else
            for (const std::uint8_t reg : kStatusRegisters)
                values.push_back(state.charger[reg]);
        return framed(code, values);
    }
    case 0x80: {
        Packet record(8, 0xFF);
        flash.read(state.active_cluster, kFlashStart, record.data(), record.size());
        return framed(code, record);
    }
    case 0x81: {
        const auto record = version_bytes(state.version_self);
        return framed(code, Packet(record.begin(), record.end()));
    }
    case 0xF9:
        state.update_mode = true;
        changed = true;
        return framed(code, {kOk});
    case 0xF3:
        return framed(code, {write16(flash, cluster, payload, corrupt)});
    case 0xF4: {
        const std::uint32_t address = std::uint32_t{payload[0]} << 8 | payload[1];
        std::uint8_t value = 0;
        if (address < kFlashStart || address >= kFlashEnd || !flash.read(cluster, address, &value, 1))
            return framed(code, {0xFF, 0xFF, 0x00});
        return framed(code, {payload[0], payload[1], value});
    }
    case 0xF5:
        return framed(code, {erase(flash, cluster, payload[0])});
    case 0xF6:
        return framed(code, {verify(flash, cluster, payload[0])});
    case 0xF7:
        state.boot_cluster = 1 - state.boot_cluster;
        changed = true;
        return framed(code, {kOk});
    case 0xF8:
        state.update_mode = false;
        state.active_cluster = state.boot_cluster;
        changed = true;
        return framed(code, {kOk});
    default:  // 0xF0, 0xF1, 0xF2: acknowledged
        return framed(code, {kOk});
    }
}

}  // namespace vreader::sub_cpu
