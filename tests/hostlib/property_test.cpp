// The property block: what is copied from the reader's 348-byte reply, for
// any entry count it claims; and what a null record or unlock code sends.
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

TEST(Property, NullArgumentsSendWhatTheyMust)
{
    // A null record has nowhere to take the reader's reply; a null unlock
    // code, which a locked reader would count as a wrong code: neither is
    // sent.
    struct Row {
        const char* name;
        int (*call)();
        int expected;
        std::vector<std::uint32_t> exchanges;  // their lengths
    };
    const Row rows[] = {
        {"MSC_UsbGetDevProperty(NULL)", [] { return MSC_UsbGetDevProperty(nullptr); }, -1, {}},
        {"MSC_UsbUnlockDevice(NULL)", [] { return MSC_UsbUnlockDevice(nullptr); }, -2, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        scripted::reset();
        ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
        const std::size_t before = scripted::log().size();
        EXPECT_EQ(row.call(), row.expected);
        std::vector<std::uint32_t> lengths;
        for (std::size_t i = before; i < scripted::log().size(); ++i)
            lengths.push_back(scripted::log()[i].length);
        EXPECT_EQ(lengths, row.exchanges);
        MSC_CloseDrive();
    }
}

}  // namespace
