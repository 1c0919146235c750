// The identity area: what a new reader's factory left in it, seen through a
// shared mapping of the eMMC as the provisioning tool sees it, and its
// description field by field.
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/emmc/identity_area.hpp"

namespace vreader_test {
namespace {

constexpr off_t kIdOffset = 0x400000;
constexpr std::size_t kIdSize = 0x20000;

using IdentityTest = ReaderTest;

TEST_F(IdentityTest, ANewReaderHasTheFactoryFieldsAndErasedProvisioningFields)
{
    const int fd = sys::open("/dev/block/mmcblk2", O_RDWR);
    ASSERT_GE(fd, 0);
    void* map = sys::mmap(nullptr, kIdSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, kIdOffset);
    ASSERT_NE(map, MAP_FAILED);
    const std::string area(static_cast<const char*>(map), kIdSize);
    const auto at = [&](std::size_t offset, std::size_t length) { return area.substr(offset, length); };
    EXPECT_EQ(at(0x0000, 16), std::string("QLX-K1\0\0\0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(at(0x0010, 16), std::string("QLX-K1-WW-BK\0\0\0\0", 16));
    EXPECT_EQ(at(0x0020, 16), "ZPK1A4C71E2F9360");
    EXPECT_EQ(at(0x0030, 16), std::string("QK1W2405170042\0\0", 16));
    EXPECT_TRUE(at(0x1000, 4096).starts_with("ZEPA-FID/2;line=K1-03;"));
    EXPECT_EQ(at(0x1FFF, 1), std::string(1, '\0'));
    const std::pair<std::size_t, std::size_t> erased[] = {
        {0x100, 6}, {0x200, 14}, {0x210, 11}, {0x21B, 2}, {0x3000, kIdSize - 0x3000}};
    for (const auto& [offset, length] : erased)
        EXPECT_EQ(at(offset, length), std::string(length, '\xFF')) << offset;
    EXPECT_EQ(at(0x106, 0x200 - 0x106), std::string(0x200 - 0x106, '\0'));  // a gap

    // What the tool writes reaches the eMMC at the flush.
    std::memcpy(static_cast<char*>(map) + 0x100, "\x06\x3F\xA2\x91\x5C\xE7", 6);
    ASSERT_EQ(sys::munmap(map, kIdSize), 0);
    EXPECT_EQ(sys::fsync(fd), 0);
    sys::close(fd);
    std::string written;
    std::string error;
    ASSERT_EQ(vreader::read_emmc(*vreader::ReaderDir::open(path_, error), kIdOffset + 0x100, 6, written), 0);
    EXPECT_EQ(written, "\x06\x3F\xA2\x91\x5C\xE7");
}

TEST(IdentityDescription, ShowsTextHexErasedFieldsAndTheKeyBlob)
{
    std::string area = vreader::factory_identity(kIdSize);
    const std::string fresh = vreader::describe_identity(area);
    for (const char* line :
         {"product_name      0x0000     16  \"QLX-K1\"\n", "device_id         0x0020     16  \"ZPK1A4C71E2F9360\"\n",
          "psn_check_digit   0x021B      2  ff ff (erased)\n",
          "moa_size          0x3000      4  4294967295 (erased; more than the area holds)\n",
          "(key blob)        0x3004      -  ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ff ... "
          "(erased)\n"})
        EXPECT_NE(fresh.find(line), std::string::npos) << line << fresh;

    area.replace(0x100, 6, "\x06\x3F\xA2\x91\x5C\xE7");
    area.replace(0x210, 13, std::string("QK1NB40517449", 13));
    area.replace(0x200, 14, std::string(14, '\0'));
    area.replace(0x3000, 6, std::string("\x02\0\0\0\x0A\x1B", 6));
    const std::string provisioned = vreader::describe_identity(area);
    for (const char* line :
         {"wifi_mac_address  0x0100      6  06 3f a2 91 5c e7\n",
          "meid              0x0200     14  00 00 00 00 00 00 00 00 00 00 00 00 00 00\n",
          "psn               0x0210     11  \"QK1NB405174\"\n", "psn_check_digit   0x021B      2  \"49\"\n",
          "moa_size          0x3000      4  2\n", "(key blob)        0x3004      2  0a 1b\n"})
        EXPECT_NE(provisioned.find(line), std::string::npos) << line << provisioned;

    // An area cut short by the table shows what it holds.
    const std::string small = vreader::describe_identity(area.substr(0, 0x3004));
    EXPECT_NE(small.find("factoryid         0x1000   4096  \"ZEPA-FID/2;"), std::string::npos) << small;
    EXPECT_NE(small.find("moa_size          0x3000      4  2 (more than the area holds)\n"
                         "(key blob)        0x3004      -  (none)\n"),
              std::string::npos)
        << small;
    EXPECT_NE(
        vreader::describe_identity(area.substr(0, 0x200)).find("meid              0x0200     14  (outside the area)"),
        std::string::npos);
}

}  // namespace
}  // namespace vreader_test
