#include "vreader/model/devices/subcpu/subcpu_firmware.hpp"

#include <algorithm>

namespace vreader::sub_cpu {
namespace {

namespace codes = protocol::sub_cpu;

struct Sizes {
    std::uint8_t code;
    std::size_t request;
    std::size_t reply;
};

constexpr Sizes kSizes[] = {
    {codes::kRegWrite, 6, 6},      {codes::kRegRead, 5, 6},        {codes::kRegsConfig, 4, 18},
    {codes::kRegsStatus, 4, 15},   {codes::kVersionMcu, 4, 12},    {codes::kVersionSelf, 4, 12},
    {codes::kReqStatus, 4, 5},     {codes::kReqUpdateStart, 4, 5}, {codes::kReqUpdateEnd, 4, 5},
    {codes::kReqWrite, 22, 5},     {codes::kReqRead, 7, 7},        {codes::kReqErase, 5, 5},
    {codes::kReqVerify, 5, 5},     {codes::kReqSwap, 4, 5},        {codes::kReqReboot, 4, 5},
    {codes::kReqUpdateMode, 4, 5},
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
    if (!flash.read(cluster, address, stored.data(), kBlockSize) ||
        !flash.read(kReceived, address, sent.data(), kBlockSize))
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

bool answers(std::uint8_t code) { return sizes_of(code) != nullptr; }

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
    const bool needs_update_mode = code >= codes::kReqUpdateStart && code <= codes::kReqReboot;
    if (needs_update_mode && !state.update_mode) {
        if (code == codes::kReqRead)
            return framed(code, {0xFF, 0xFF, 0x00});  // an address that answers no read
        return framed(code, {kNotInUpdateMode});
    }
    switch (code) {
    case codes::kRegWrite: {
        const std::uint8_t reg = payload[0];
        // The status registers and the ones it does not have keep their value.
        if (is_config_register(reg)) {
            state.charger[reg] = payload[1];
            changed = true;
        }
        const auto found = state.charger.find(reg);
        return framed(code, {reg, found == state.charger.end() ? std::uint8_t{0} : found->second});
    }
    case codes::kRegRead: {
        const auto found = state.charger.find(payload[0]);
        return framed(code, {payload[0], found == state.charger.end() ? std::uint8_t{0} : found->second});
    }
    case codes::kRegsConfig:
    case codes::kRegsStatus: {
        Packet values;
        if (code == codes::kRegsConfig)
            for (const std::uint8_t reg : kConfigRegisters)
                values.push_back(state.charger[reg]);
        else
            for (const std::uint8_t reg : kStatusRegisters)
                values.push_back(state.charger[reg]);
        return framed(code, values);
    }
    case codes::kVersionMcu: {
        Packet record(8, 0xFF);
        flash.read(state.active_cluster, kFlashStart, record.data(), record.size());
        return framed(code, record);
    }
    case codes::kVersionSelf: {
        const auto record = version_bytes(state.version_self);
        return framed(code, Packet(record.begin(), record.end()));
    }
    case codes::kReqUpdateMode:
        state.update_mode = true;
        changed = true;
        return framed(code, {kOk});
    case codes::kReqWrite:
        return framed(code, {write16(flash, cluster, payload, corrupt)});
    case codes::kReqRead: {
        const std::uint32_t address = std::uint32_t{payload[0]} << 8 | payload[1];
        std::uint8_t value = 0;
        if (address < kFlashStart || address >= kFlashEnd || !flash.read(cluster, address, &value, 1))
            return framed(code, {0xFF, 0xFF, 0x00});
        return framed(code, {payload[0], payload[1], value});
    }
    case codes::kReqErase:
        return framed(code, {erase(flash, cluster, payload[0])});
    case codes::kReqVerify:
        return framed(code, {verify(flash, cluster, payload[0])});
    case codes::kReqSwap:
        state.boot_cluster = 1 - state.boot_cluster;
        changed = true;
        return framed(code, {kOk});
    case codes::kReqReboot:
        state.update_mode = false;
        state.active_cluster = state.boot_cluster;
        changed = true;
        return framed(code, {kOk});
    default:  // status, update start and end: acknowledged
        return framed(code, {kOk});
    }
}

}  // namespace vreader::sub_cpu
