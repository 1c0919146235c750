// The stand-in gadget's disk commands over a LUN in memory: what each
// answers, the refusals with the sense REQUEST SENSE reports after them,
// and a write read back.
#include "tests/kernel/gadget/disk.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace kbench::disk {
namespace {

class Memory : public Backing {
public:
    explicit Memory(std::uint64_t blocks) : bytes_(static_cast<std::size_t>(blocks * kBlockSize)) {}
    std::uint64_t blocks() const override { return bytes_.size() / kBlockSize; }
    bool read(std::uint64_t at, std::span<std::uint8_t> out) override {
        std::memcpy(out.data(), bytes_.data() + at, out.size());
        return true;
    }
    bool write(std::uint64_t at, std::span<const std::uint8_t> in) override {
        std::memcpy(bytes_.data() + at, in.data(), in.size());
        return true;
    }
    bool flush() override { return true; }
    std::vector<std::uint8_t> bytes_;
};

using Bytes = std::vector<std::uint8_t>;

Bytes sense_of(Lun& lun) {
    const Bytes rs{0x03, 0, 0, 0, 18, 0};
    const Reply r = lun.execute(rs, {});
    EXPECT_EQ(r.status, 0);
    return r.data_in.size() == 18 ? Bytes{r.data_in[2], r.data_in[12], r.data_in[13]} : Bytes{};
}

TEST(GadgetDisk, AnswersAndRefusals) {
    struct Case { const char* name; Bytes cdb; std::uint8_t status; Bytes data; Bytes sense; };
    const Case cases[] = {
        {"test unit ready", {0x00, 0, 0, 0, 0, 0}, 0, {}, {0, 0, 0}},
        {"read capacity 10", {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, {0, 0, 0x07, 0xff, 0, 0, 2, 0}, {0, 0, 0}},
        {"read capacity 16, 12 bytes asked", {0x9e, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0}, 0,
         {0, 0, 0, 0, 0, 0, 0x07, 0xff, 0, 0, 2, 0}, {0, 0, 0}},
        {"mode sense 6", {0x1a, 0, 0x3f, 0, 192, 0}, 0, {3, 0, 0, 0}, {0, 0, 0}},
        {"mode sense 10, 4 bytes asked", {0x5a, 0, 0x3f, 0, 0, 0, 0, 0, 4, 0}, 0, {0, 6, 0, 0}, {0, 0, 0}},
        {"synchronize cache", {0x35, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, {}, {0, 0, 0}},
        {"read past the end", {0x28, 0, 0, 0, 0x07, 0xff, 0, 0, 2, 0}, 2, {}, {5, 0x21, 0}},
        {"unknown operation", {0xa0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 2, {}, {5, 0x20, 0}},
        {"service action other than capacity", {0x9e, 0x11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 2, {},
         {5, 0x24, 0}},
        {"command block too short", {0x28, 0, 0, 0, 0, 0}, 2, {}, {5, 0x24, 0}},
    };
    Memory memory(2048);  // 1 MiB
    Lun lun(memory);
    for (const auto& c : cases) {
        const Reply r = lun.execute(c.cdb, {});
        EXPECT_EQ(r.status, c.status) << c.name;
        EXPECT_EQ(r.data_in, c.data) << c.name;
        EXPECT_EQ(sense_of(lun), c.sense) << c.name;
    }
}

TEST(GadgetDisk, WriteReadsBackAndLengthsPlanTheDataPhase) {
    Memory memory(2048);
    Lun lun(memory);
    Bytes data(1024);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    const Bytes write{0x2a, 0, 0, 0, 0x07, 0xfe, 0, 0, 2, 0};
    const Bytes read{0x28, 0, 0, 0, 0x07, 0xfe, 0, 0, 2, 0};
    bool in = true;
    EXPECT_EQ(Lun::data_length(write, in), 1024u);
    EXPECT_FALSE(in);
    EXPECT_EQ(Lun::data_length(read, in), 1024u);
    EXPECT_TRUE(in);
    EXPECT_EQ(lun.execute(write, data).status, 0);
    EXPECT_EQ(lun.execute(read, {}).data_in, data);
    EXPECT_EQ(lun.execute(write, Bytes(512)).status, 2) << "less data than the blocks named";
}

TEST(GadgetDisk, EmptyBackingIsNotReady) {
    Memory memory(0);
    Lun lun(memory);
    EXPECT_EQ(lun.execute(Bytes{0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {}).status, 2);
    EXPECT_EQ(sense_of(lun), (Bytes{2, 0x3a, 0}));
}

}  // namespace
}  // namespace kbench::disk
