// A stand-in gadget LUN over memory and a virtual reader's USB model: which
// side answers each command, the data phase each wants, and the model's
// refusal reaching the host's REQUEST SENSE.
#include "tests/kernel/gadget/reader_lun.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace kbench {
namespace {

class Memory : public disk::Backing {
public:
    std::uint64_t blocks() const override { return 64; }
    bool read(std::uint64_t, std::span<std::uint8_t> out) override { return std::memset(out.data(), 0, out.size()); }
    bool write(std::uint64_t, std::span<const std::uint8_t>) override { return true; }
    bool flush() override { return true; }
};

bot::Cbw command(std::vector<std::uint8_t> cdb, bot::Direction direction, std::uint32_t length)
{
    bot::Cbw cbw;
    std::copy(cdb.begin(), cdb.end(), cbw.cb.begin());
    cbw.cb_length = static_cast<std::uint8_t>(cdb.size());
    cbw.direction = direction;
    cbw.transfer_length = length;
    return cbw;
}

TEST(GadgetReaderLun, DiskAndModelCommandsAndTheModelsSense)
{
    const auto dir = std::filesystem::temp_directory_path() / ("kbench-lun-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "reader.conf") << "";
    std::string error;
    auto reader = vreader::UsbStorage::open(dir.string(), error);
    ASSERT_TRUE(reader) << error;
    Memory memory;
    ReaderLun lun(memory, *reader, 'E');

    // The disk's commands want what their blocks say, whatever the host announced.
    const auto capacity = command({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, bot::Direction::In, 64);
    EXPECT_EQ(lun.want(capacity).length, 8u);
    const Result capacity_result = lun.run(capacity, {});
    EXPECT_FALSE(capacity_result.failed);
    EXPECT_EQ(capacity_result.data_in, (std::vector<std::uint8_t>{0, 0, 0, 63, 0, 0, 2, 0}));

    // INQUIRY is the model's: its vendor and product, the host's phase.
    const auto inquiry = command({0x12, 0, 0, 0, 36, 0}, bot::Direction::In, 36);
    EXPECT_EQ(lun.want(inquiry).direction, bot::Direction::In);
    EXPECT_EQ(lun.want(inquiry).length, 36u);
    const Result identity = lun.run(inquiry, {});
    ASSERT_EQ(identity.data_in.size(), 36u);
    EXPECT_EQ(std::string(identity.data_in.begin() + 8, identity.data_in.begin() + 14), "ZEPA  ");

    // A command the model refuses fails, and the host's REQUEST SENSE reads its sense.
    EXPECT_TRUE(lun.run(command({0x5e, 0, 0, 0, 0, 0, 0, 0, 0, 0}, bot::Direction::None, 0), {}).failed);
    const Result sense = lun.run(command({0x03, 0, 0, 0, 18, 0}, bot::Direction::In, 18), {});
    ASSERT_EQ(sense.data_in.size(), 18u);
    EXPECT_EQ(sense.data_in[2], 0x05);   // illegal request
    EXPECT_EQ(sense.data_in[12], 0x20);  // invalid operation code
    std::filesystem::remove_all(dir);
}

TEST(GadgetReaderLun, APlainDiskAnswersItsOwnInquiryAndNoVendorCommand)
{
    Memory memory;
    ReaderLun lun(memory);
    const Result identity = lun.run(command({0x12, 0, 0, 0, 36, 0}, bot::Direction::In, 36), {});
    ASSERT_EQ(identity.data_in.size(), 36u);
    EXPECT_EQ(std::string(identity.data_in.begin() + 8, identity.data_in.begin() + 32), "KBENCH  PLAIN DISK      ");
    EXPECT_FALSE(lun.run(command({0x1b, 0, 0, 0, 2, 0}, bot::Direction::None, 0), {}).failed);
    EXPECT_TRUE(lun.run(command({0x20, 0, 1, 0, 1, 1, 0, 0, 0, 0}, bot::Direction::In, 8), {}).failed);
    EXPECT_EQ(lun.run(command({0x03, 0, 0, 0, 18, 0}, bot::Direction::In, 18), {}).data_in.at(12), 0x20);
}

}  // namespace
}  // namespace kbench
