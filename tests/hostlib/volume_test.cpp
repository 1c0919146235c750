// Volume identification: the INQUIRY a drive letter gets, the record it
// fills, and the predicates over that record.
#include "hostlib/include/fendrac.h"
#include "tests/hostlib/scripted_device.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using scripted::Answer;
using scripted::Exchange;

// INQUIRY data with the given text fields, space-padded.
std::vector<std::uint8_t> inquiry(const char* vendor, const char* product, const char* revision, const char* specific)
{
    std::vector<std::uint8_t> data(56, ' ');
    data[0] = 0;
    auto put = [&](std::size_t at, std::size_t size, const char* text) {
        std::memcpy(data.data() + at, text, std::min(size, std::strlen(text)));
    };
    put(8, 8, vendor);
    put(16, 16, product);
    put(32, 4, revision);
    put(36, 20, specific);
    return data;
}

VolumeIdentity identity(const char* vendor, const char* product, const char* revision)
{
    VolumeIdentity record{};
    // INQUIRY's fields are not terminated: a text as long as its field fills it.
    auto put = [](char* field, std::size_t size, const char* text) {
        std::memcpy(field, text, std::min(size, std::strlen(text)));
    };
    put(record.vendor, 8, vendor);
    put(record.product, 16, product);
    put(record.revision, 4, revision);
    return record;
}

TEST(Volume, TheInquiryFillsTheRecordAsReceived)
{
    scripted::reset();
    scripted::respond([](const Exchange&) {
        return Answer{true, 0, inquiry("ZEPA", "QLX-K1", "2081", "emb,1"), {}, {}};
    });
    VolumeIdentity record;
    std::memset(&record, 0x5A, sizeof record);
    ASSERT_EQ(FSVolumeGetDeviceInfo('E', &record), 0);
    EXPECT_EQ(record.caller_byte, 0x5A);
    EXPECT_STREQ(record.vendor, "ZEPA    ");
    EXPECT_STREQ(record.product, "QLX-K1          ");
    EXPECT_STREQ(record.revision, "2081");
    EXPECT_STREQ(record.vendor_specific, "emb,1               ");

    const Exchange& e = scripted::log().at(0);
    EXPECT_EQ(e.in_size, 44u);
    EXPECT_EQ(e.out_size, 335u);
    EXPECT_EQ(e.header[6], 6);   // CdbLength
    EXPECT_EQ(e.header[7], 24);  // SenseInfoLength
    EXPECT_EQ(e.header[8], 1);   // data in
    EXPECT_EQ(e.length, 255u);
    EXPECT_EQ(e.header[16], 1);  // time-out, seconds
    EXPECT_EQ(std::vector<std::uint8_t>(e.cdb.begin(), e.cdb.begin() + 6),
              (std::vector<std::uint8_t>{0x12, 0, 0, 0, 0xFF, 0}));
    EXPECT_EQ(scripted::volumes_closed(), 1);
}

TEST(Volume, EveryFailureIs22AndLeavesTheRecordAlone)
{
    const std::vector<Answer> failures = {
        {false, 0, {}, {}, {}},                 // the request fails
        {true, 2, {}, {}, {}},                  // CHECK CONDITION
        {true, 0, {}, {}, 0u},                  // nothing answered
    };
    for (const Answer& failure : failures) {
        scripted::reset();
        scripted::respond([&](const Exchange&) { return failure; });
        VolumeIdentity record{};
        record.vendor[0] = 'x';
        EXPECT_EQ(FSVolumeGetDeviceInfo('E', &record), 22);
        EXPECT_EQ(record.vendor[0], 'x');
        EXPECT_EQ(scripted::log().size(), 1u);  // never retried
    }
    scripted::reset();
    scripted::volumes_open(false);
    VolumeIdentity record{};
    EXPECT_EQ(FSVolumeGetDeviceInfo('Q', &record), 22);
    EXPECT_EQ(scripted::broker_calls(), 1);
    EXPECT_TRUE(scripted::log().empty());
}

TEST(Volume, WhichRecordsAreReaders)
{
    struct Case {
        const char* vendor;
        const char* product;
        const char* revision;
        int reader;
    };
    const Case cases[] = {
        {"ZEPA    ", "QLX-K1          ", "2081", 1},
        {"zepa    ", "qlx-k2", "2081", 1},            // upper-cased before comparing
        {"  ZEPA", "QLX-M1", "2081", 1},              // leading blanks go too
        {"ZEPAX   ", "QLX-K1", "2081", 0},            // more than the maker word
        {"        ", "QLX-K1", "2081", 0},            // only blanks
        {"", "QLX-K1", "2081", 0},
        {"ZEPA", "QLX-K1", "2080", 0},                // only 2081 for this group
        {"ZEPA", "QLX-K3", "2081", 0},
        {"ZEPA", "J-QLX-610 PLUS", "1000", 1},        // a prefix with more after it
        {"ZEPA", "J-QLX-310", "1xyz", 1},
        {"ZEPA", "J-QLX-610", "2081", 0},             // the first group needs a revision of 1...
        {"ZEPA", "QLX-K1", "1000", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.vendor) + "|" + c.product + "|" + c.revision);
        const VolumeIdentity record = identity(c.vendor, c.product, c.revision);
        EXPECT_EQ(IsEbookProduct(&record), c.reader);
        EXPECT_EQ(IsXmlDatabase(&record), c.revision[0] == '1' ? 1 : 0);
    }
    // The vendor is INQUIRY's 8 bytes, whatever a caller left in the field's last.
    VolumeIdentity full = identity("ZEPA    ", "QLX-K1", "2081");
    full.vendor[8] = 'X';
    EXPECT_EQ(IsEbookProduct(&full), 1);
}

TEST(Volume, VolumeKindsAndAudio)
{
    struct Case {
        const char* text;
        int reader, ms, sd;
    };
    for (const Case& c : {Case{"emb,", 1, 0, 0}, Case{"x ext,ms,1", 0, 1, 0}, Case{"ext,sd,", 0, 0, 1},
                          Case{"EMB,", 0, 0, 0}, Case{"ext,sd", 0, 0, 0}, Case{"", 0, 0, 0}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsVenderSpecificReader(c.text), c.reader);
        EXPECT_EQ(IsVenderSpecificMS(c.text), c.ms);
        EXPECT_EQ(IsVenderSpecificSD(c.text), c.sd);
    }
    EXPECT_EQ(IsAudioSupported("QLX-K1"), 1);
    EXPECT_EQ(IsAudioSupported("QLX-K2          "), 0);
    EXPECT_EQ(IsAudioSupported("J-QLX-310"), 0);
    EXPECT_EQ(IsAudioSupported("J-QLX-610"), 1);
    EXPECT_EQ(IsAudioSupported("qlx-k2"), 1);  // case matters here
    EXPECT_EQ(IsAudioSupported("other"), 1);
    // No text, no answer.
    EXPECT_EQ(IsAudioSupported(nullptr), 0);
    EXPECT_EQ(IsEbookProduct(nullptr), 0);
    EXPECT_EQ(IsVenderSpecificReader(nullptr) + IsVenderSpecificMS(nullptr) + IsVenderSpecificSD(nullptr), 0);
}

}  // namespace
