// The property block: what is copied from the reader's 348-byte reply, for
// any entry count it claims.
#include "hostlib/include/fendrac.h"
#include "tests/hostlib/scripted_device.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using scripted::Answer;
using scripted::Exchange;

TEST(Property, OnlyTheEntryInTheReplyIsCopied)
{
    for (const std::uint32_t claimed : {0u, 1u, 2u, 0x01000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(claimed);
        scripted::reset();
        scripted::respond([claimed](const Exchange& e) {
            if (e.code() != 6)
                return scripted::good_reader(e);
            std::vector<std::uint8_t> reply(348, 0);
            std::memcpy(reply.data() + 32, "QLX-K1", 6);
            const auto count = scripted::word(static_cast<std::int32_t>(claimed));
            std::copy(count.begin(), count.end(), reply.begin() + 84);
            std::memcpy(reply.data() + 92, "entry", 5);
            return Answer{true, 0, reply, {}, {}};
        });
        ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
        DeviceProperty property{};
        ASSERT_EQ(MSC_UsbGetDevProperty(&property), 0);
        EXPECT_STREQ(property.device_type, "QLX-K1");
        EXPECT_EQ(property.entry_count, claimed == 0 ? 0u : 1u);
        ASSERT_NE(property.entries, nullptr);  // an allocation even for none
        if (claimed != 0) {
            EXPECT_STREQ(reinterpret_cast<const char*>(property.entries[0].bytes), "entry");
        }
        MSC_UsbFreeDevProperty(&property);
        EXPECT_EQ(property.entries, nullptr);
        MSC_CloseDrive();
    }
}

TEST(Property, AShortReplyFillsNothing)
{
    scripted::reset();
    scripted::respond([](const Exchange& e) {
        Answer answer = scripted::good_reader(e);
        if (e.code() == 6)
            answer.data.resize(100);
        return answer;
    });
    ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
    DeviceProperty property{};
    property.entry_count = 77;
    EXPECT_EQ(MSC_UsbGetDevProperty(&property), -13);
    EXPECT_EQ(property.entry_count, 77u);
    EXPECT_EQ(property.entries, nullptr);
    MSC_CloseDrive();
}

}  // namespace
