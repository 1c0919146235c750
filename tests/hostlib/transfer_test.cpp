// The file service, the update partitions and the HTTP tunnel against a
// scripted reader: the exchanges each command makes, piece by piece, and
// what the caller gets back.
#include "hostlib/include/fendrac.h"
#include "hostlib/os/portable_control.hpp"
#include "tests/hostlib/scripted_device.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using scripted::Answer;
using scripted::Exchange;
using Bytes = std::vector<std::uint8_t>;

// One exchange as the tests compare them: direction, phase, length.
struct Step {
    char direction;
    int phase;
    std::uint32_t length;
    bool operator==(const Step&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Step& s) { return out << s.direction << s.phase << ":" << s.length; }

std::uint8_t pattern(std::size_t at) { return static_cast<std::uint8_t>(at * 7 + at / 4096); }

class Transfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        scripted::reset();
        hostos::portable::reset_clock();
        ASSERT_EQ(MSC_OpenDriveW(L"\\\\.\\R:"), 1);
        opened = scripted::log().size();
    }
    void TearDown() override
    {
        while (MSC_canConnect())
            MSC_CloseDrive();
    }

    // A reader whose data-in answers come from `answer` per command code:
    // given the exchange and how many data-in exchanges of the command came
    // before it.
    void reader(std::function<Bytes(const Exchange&, int)> answer)
    {
        scripted::respond([answer, count = std::map<int, int>{}](const Exchange& e) mutable {
            Answer a = scripted::good_reader(e);
            if (e.data_in && e.code() != 1 && e.code() != 3 && e.code() != 4) {
                if (e.phase() == 1 || !e.data_in)
                    count[e.code()] = 0;
                a.data = answer(e, count[e.code()]++);
            }
            if (!e.data_in && e.phase() == 1)
                count[e.code()] = 0;
            return a;
        });
    }

    std::vector<Step> steps() const
    {
        std::vector<Step> out;
        for (std::size_t i = opened; i < scripted::log().size(); ++i) {
            const Exchange& e = scripted::log()[i];
            out.push_back({e.data_in ? 'i' : 'o', e.phase(), e.length});
        }
        return out;
    }
    Bytes sent(std::size_t from = 0) const
    {
        Bytes out;
        for (std::size_t i = opened + from; i < scripted::log().size(); ++i)
            out.insert(out.end(), scripted::log()[i].data_out.begin(), scripted::log()[i].data_out.end());
        return out;
    }
    const Exchange& first() const { return scripted::log().at(opened); }

    std::size_t opened = 0;
};

// The pieces of a transfer of `length` bytes in direction `d`.
std::vector<Step> pieces(char d, std::uint32_t length)
{
    std::vector<Step> out;
    for (std::uint32_t left = length; left > 0;) {
        const std::uint32_t piece = left <= 4096 ? left : 4096;
        out.push_back({d, left <= 4096 ? 2 : 3, piece});
        left -= piece;
    }
    return out;
}

TEST_F(Transfer, ReadsAndWritesMoveTheirDataIn4096BytePieces)
{
    for (const std::uint32_t length : {0u, 1u, 4095u, 4096u, 4097u, 1u << 20}) {
        SCOPED_TRACE(length);
        std::size_t offset = 0;
        reader([&](const Exchange& e, int index) {
            if (index == 0)
                return scripted::word(0);
            Bytes data(e.length);
            for (auto& b : data)
                b = pattern(offset++);
            return data;
        });
        opened = scripted::log().size();
        Bytes destination(length + 1, 0xEE);
        ASSERT_EQ(MSC_UsbFile_Read("/books/a.txt", destination.data(), 12, static_cast<int>(length), 5), 0);
        std::vector<Step> expected = {{'o', 1, 268}, {'i', length > 0 ? 3 : 2, 4}};
        for (const Step& s : pieces('i', length))
            expected.push_back(s);
        EXPECT_EQ(steps(), expected);
        const Bytes& request = first().data_out;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.data())), "/books/a.txt");
        EXPECT_EQ(Bytes(request.begin() + 256, request.end()),
                  (Bytes{12, 0, 0, 0, std::uint8_t(length), std::uint8_t(length >> 8), std::uint8_t(length >> 16), 0, 5,
                         0, 0, 0}));
        for (std::uint32_t i = 0; i < length; ++i)
            ASSERT_EQ(destination[i], pattern(i)) << i;
        EXPECT_EQ(destination[length], 0xEE);

        reader([](const Exchange&, int) { return scripted::word(0); });
        opened = scripted::log().size();
        Bytes source(length);
        for (std::uint32_t i = 0; i < length; ++i)
            source[i] = pattern(i);
        ASSERT_EQ(MSC_UsbFile_Write("/books/a.txt", source.data(), 0, static_cast<int>(length)), 0);
        expected = {{'o', 1, 264}, {'i', length > 0 ? 3 : 2, 4}};
        for (const Step& s : pieces('o', length))
            expected.push_back(s);
        EXPECT_EQ(steps(), expected);
        EXPECT_EQ(sent(1), source);
        EXPECT_EQ(first().data_out.size(), 264u);
    }
}

TEST_F(Transfer, TheReadersStatusAndCodesReachTheCallerAsThePartsSay)
{
    // A non-zero status moves no data, and both read and write say -2.
    reader([](const Exchange&, int) { return scripted::word(-4); });
    Bytes destination(10, 0xEE);
    EXPECT_EQ(MSC_UsbFile_Read("a", destination.data(), 0, 10, 0), -2);
    EXPECT_EQ(destination, Bytes(10, 0xEE));
    EXPECT_EQ(steps().size(), 2u);
    EXPECT_EQ(MSC_UsbFile_Write("a", destination.data(), 0, 10), -2);
    EXPECT_EQ(steps().size(), 4u);

    // Size: a negative size is the result and the value; delete: the result.
    reader([](const Exchange&, int) { return scripted::word(-9); });
    int size = 0;
    EXPECT_EQ(MSC_UsbFile_GetSize("a", &size), -9);
    EXPECT_EQ(size, -9);
    EXPECT_EQ(MSC_UsbFile_Delete("a"), -9);
    reader([](const Exchange&, int) { return scripted::word(1234); });
    EXPECT_EQ(MSC_UsbFile_GetSize("a", &size), 0);
    EXPECT_EQ(size, 1234);

    // Data that is not there is refused before the request, which would
    // leave the reader waiting for it; with nothing to move the request
    // and its status close the command.
    reader([](const Exchange&, int) { return scripted::word(0); });
    opened = scripted::log().size();
    EXPECT_EQ(MSC_UsbFile_Write("a", nullptr, 0, 100), -2);
    EXPECT_EQ(MSC_UsbFile_Read("a", nullptr, 0, 100, 0), -2);
    EXPECT_TRUE(steps().empty());
    EXPECT_EQ(MSC_UsbFile_Write("a", nullptr, 0, 0), 0);
    EXPECT_EQ(steps(), (std::vector<Step>{{'o', 1, 264}, {'i', 2, 4}}));

    // A 256-byte path travels without a terminator; the size query has no
    // room for one and sends nothing.
    const std::string path(300, 'p');
    opened = scripted::log().size();
    EXPECT_EQ(MSC_UsbFile_GetSize(path.substr(0, 256).c_str(), &size), -2);
    EXPECT_EQ(MSC_UsbFile_GetSize(nullptr, &size), -2);
    EXPECT_TRUE(steps().empty());
    EXPECT_EQ(MSC_UsbFile_Delete(path.c_str()), 0);
    EXPECT_EQ(first().data_out, Bytes(256, 'p'));
    opened = scripted::log().size();
    EXPECT_EQ(MSC_UsbFile_Read(path.c_str(), nullptr, 0, 0, 0), 0);
    EXPECT_EQ(Bytes(first().data_out.begin(), first().data_out.begin() + 256), Bytes(256, 'p'));

    // A short piece ends the read; no drive is -3 for all four.
    reader([](const Exchange& e, int index) { return index == 0 ? scripted::word(0) : Bytes(e.length / 2); });
    Bytes big(5000);
    EXPECT_EQ(MSC_UsbFile_Read("a", big.data(), 0, 5000, 0), -2);
    MSC_CloseDrive();
    EXPECT_EQ(MSC_UsbFile_GetSize("a", &size), -3);
    EXPECT_EQ(MSC_UsbFile_Read("a", big.data(), 0, 1, 0), -3);
    EXPECT_EQ(MSC_UsbFile_Write("a", big.data(), 0, 1), -3);
    EXPECT_EQ(MSC_UsbFile_Delete("a"), -3);
}

TEST_F(Transfer, CreatingAPartitionWaitsByItsThirdParameter)
{
    struct Row {
        unsigned upper;
        std::string message;
        std::uint64_t slept;
    };
    // The product needs more than 32 bits from an upper half of 45211 on.
    for (const Row& row : {Row{713, "wait:sleep=20004\n", 4}, Row{712, "", 0}, Row{0, "", 0},
                           Row{1000, "wait:sleep=28056\n", 8056}, Row{45210, "wait:sleep=1268443\n", 1248443},
                           Row{45211, "wait:sleep=1268471\n", 1248471}, Row{65535, "wait:sleep=1838696\n", 1818696}}) {
        SCOPED_TRACE(row.upper);
        reader([](const Exchange&, int) { return scripted::word(3); });
        opened = scripted::log().size();
        hostos::portable::reset_clock();
        testing::internal::CaptureStderr();
        EXPECT_EQ(MSC_ReqCreatePartition("rootfs", 1, 2, row.upper << 16 | 0x55), 3);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.message);
        EXPECT_EQ(hostos::portable::clock_ms(), row.slept);
        EXPECT_EQ(steps(), (std::vector<Step>{{'o', 1, 44}, {'i', 2, 4}}));
        const Bytes& request = first().data_out;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(request.data())), "rootfs");
        EXPECT_EQ(request.at(32), 1);
        EXPECT_EQ(request.at(42), std::uint8_t(row.upper));
    }
}

TEST_F(Transfer, APartitionFromAnImageStreamsTheFile)
{
    const auto dir = std::filesystem::temp_directory_path() / ("fendrac-image-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string image = (dir / "rootfs.img").string();
    Bytes content(8192);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = pattern(i);
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(content.data()), 8192);
    reader([](const Exchange&, int) { return scripted::word(0); });

    struct Row {
        const char* name;
        unsigned count;
        std::string path;
        bool extra;
        int result;
        std::vector<Step> expected;
    };
    const std::vector<Row> rows = {
        {"two pieces", 8192, image, false, 0, {{'o', 1, 64}, {'o', 3, 4096}, {'o', 3, 4096}, {'i', 2, 4}}},
        {"extra block", 10, image, true, 0, {{'o', 1, 192}, {'o', 3, 10}, {'i', 2, 4}}},
        // The reader is asked for its result all the same: it ends the command.
        {"file too short", 8193, image, false, -2, {{'o', 1, 64}, {'o', 3, 4096}, {'o', 3, 4096}, {'i', 2, 4}}},
        {"missing file", 100, (dir / "none.img").string(), false, 0, {{'o', 1, 64}, {'i', 2, 4}}},
    };
    const Bytes extra(128, 0xAB);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        opened = scripted::log().size();
        EXPECT_EQ(MSC_ReqCreatePartitionWithImage("boot", 1, 2, 3, row.count, row.path.c_str(), "v1.2",
                                                  row.extra ? extra.data() : nullptr),
                  row.result);
        EXPECT_EQ(steps(), row.expected);
        const Bytes& request = first().data_out;
        EXPECT_EQ(request.at(44), std::uint8_t(row.count));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&request.at(48)), 4), "v1.2");
        if (row.extra) {
            EXPECT_EQ(Bytes(request.begin() + 64, request.end()), extra);
        }
    }
    opened = scripted::log().size();
    EXPECT_EQ(MSC_ReqCreatePartitionWithImage("boot", 1, 2, 3, 8192, image.c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(sent(1), content);

    // What cannot be placed in its field is refused before anything is sent.
    opened = scripted::log().size();
    const std::string long_name(32, 'n');
    EXPECT_EQ(MSC_ReqCreatePartition(long_name.c_str(), 0, 0, 0), -2);
    EXPECT_EQ(MSC_ReqDeletePartition(long_name.c_str()), -2);
    EXPECT_EQ(MSC_ReqCreatePartitionWithImage("boot", 0, 0, 0, 1, image.c_str(), "seventeen-chars!!", nullptr), -2);
    EXPECT_EQ(MSC_ReqCreatePartitionWithImage("boot", 0, 0, 0, 1, std::string(256, 'x').c_str(), "", nullptr), -2);
    EXPECT_TRUE(steps().empty());
    EXPECT_EQ(MSC_ReqCreatePartition(long_name.substr(0, 31).c_str(), 0, 0, 0), 0);

    // Mode, delete and the size query's three words.
    reader([](const Exchange& e, int) {
        Bytes words{1, 0, 0, 0, 2, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
        words.resize(e.length);
        return words;
    });
    unsigned a = 0, b = 0, c = 0;
    EXPECT_EQ(MSC_GetPartitionSize("boot", &a, &b, &c), 0);
    EXPECT_EQ(std::vector<unsigned>({a, b, c}), std::vector<unsigned>({1, 2, 0xFFFFFFFF}));
    EXPECT_EQ(MSC_ReqChangeMode(1), 1);
    EXPECT_EQ(MSC_ReqDeletePartition("boot"), 1);
    std::filesystem::remove_all(dir);
}

TEST_F(Transfer, TheTunnelFetchesBodiesOfAnySize)
{
    struct Row {
        std::int32_t size;
        std::vector<Step> body;
    };
    for (const Row& row :
         {Row{0, {}}, Row{-5, {}}, Row{4096, {{'i', 2, 4096}}}, Row{4097, {{'i', 3, 4096}, {'i', 2, 1}}}}) {
        SCOPED_TRACE(row.size);
        reader([&](const Exchange& e, int index) {
            if (index == 0) {
                Bytes header = scripted::word(0);
                const Bytes size = scripted::word(row.size);
                header.insert(header.end(), size.begin(), size.end());
                return header;
            }
            return Bytes(e.length, 'b');
        });
        opened = scripted::log().size();
        void* body = reinterpret_cast<void*>(1);
        int size = -1;
        ASSERT_EQ(MSC_ebookUsb_getHTTPRequestfromDevice("GET", nullptr, &body, &size), 0);
        std::vector<Step> expected = {{'o', 1, 512}, {'i', 3, 8}};
        expected.insert(expected.end(), row.body.begin(), row.body.end());
        EXPECT_EQ(steps(), expected);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(first().data_out.data())), "GET");
        EXPECT_EQ(Bytes(first().data_out.begin() + 256, first().data_out.end()), Bytes(256, 0));
        EXPECT_EQ(size, std::max(row.size, 0));
        EXPECT_EQ(body == nullptr, row.size <= 0);
        if (body != nullptr) {
            EXPECT_EQ(static_cast<char*>(body)[size - 1], 'b');
        }
        MSC_ebookUsb_freeHTTPRequestfromDevice(body);

        // The response goes out in pieces, and the same body comes back.
        opened = scripted::log().size();
        const Bytes response(5000, 'r');
        ASSERT_EQ(MSC_ebookUsb_sendHTTPResponsetoDevice(response.data(), 5000, &size, &body), 0);
        expected = {{'o', 1, 4}, {'o', 3, 4096}, {'o', 3, 904}, {'i', 3, 8}};
        expected.insert(expected.end(), row.body.begin(), row.body.end());
        EXPECT_EQ(steps(), expected);
        EXPECT_EQ(size, std::max(row.size, 0));
        MSC_ebookUsb_freeHTTPResponsetoDevice(body);
    }
}

TEST_F(Transfer, EachSelectionTravelsInItsOwnFieldCutToIt)
{
    struct Row {
        std::string first;
        std::string second;
        std::string first_field;  // what each 256-byte field carries before its zeros
        std::string second_field;
    };
    reader([](const Exchange& e, int) { return Bytes(e.length); });  // no body
    const std::string long_first(300, 'f');
    const std::string long_second(300, 's');
    // A cut first field spills nothing into an empty second one.
    for (const Row& row : {Row{long_first, "GET", long_first.substr(0, 256), "GET"},
                           Row{long_first, "", long_first.substr(0, 256), ""},
                           Row{"a", long_second, "a", long_second.substr(0, 256)}, Row{"", "", "", ""}}) {
        SCOPED_TRACE(row.first.size());
        opened = scripted::log().size();
        void* body = nullptr;
        int size = -1;
        ASSERT_EQ(MSC_ebookUsb_getHTTPRequestfromDevice(row.first.c_str(), row.second.c_str(), &body, &size), 0);
        Bytes expected(512, 0);
        std::copy(row.first_field.begin(), row.first_field.end(), expected.begin());
        std::copy(row.second_field.begin(), row.second_field.end(), expected.begin() + 256);
        EXPECT_EQ(first().data_out, expected);
    }
}

TEST_F(Transfer, TunnelStatusAndFailuresLeaveNoBody)
{
    // A non-zero status in the response's header ends with no body.
    reader([](const Exchange& e, int) { return e.length == 8 ? Bytes{1, 0, 0, 0, 16, 0, 0, 0} : Bytes(e.length); });
    void* body = reinterpret_cast<void*>(1);
    int size = -1;
    EXPECT_EQ(MSC_ebookUsb_sendHTTPResponsetoDevice(nullptr, 0, &size, &body), 0);
    EXPECT_EQ(steps(), (std::vector<Step>{{'o', 1, 4}, {'i', 3, 8}}));
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(size, 0);

    // A failed piece releases everything; nothing is stored.
    reader([](const Exchange& e, int index) {
        return index == 0 ? Bytes{0, 0, 0, 0, 0x10, 0x27, 0, 0} : Bytes(index == 2 ? 1 : e.length);
    });
    body = reinterpret_cast<void*>(1);
    size = -1;
    EXPECT_EQ(MSC_ebookUsb_getHTTPRequestfromDevice("", "", &body, &size), -2);
    EXPECT_EQ(body, reinterpret_cast<void*>(1));
    EXPECT_EQ(size, -1);

    // A null response with a length sends nothing; one function, two names.
    opened = scripted::log().size();
    EXPECT_EQ(MSC_ebookUsb_sendHTTPResponsetoDevice(nullptr, 10, &size, &body), -2);
    EXPECT_TRUE(steps().empty());
    EXPECT_EQ(&MSC_ebookUsb_freeHTTPRequestfromDevice, &MSC_ebookUsb_freeHTTPResponsetoDevice);
    MSC_ebookUsb_freeHTTPRequestfromDevice(nullptr);
    MSC_CloseDrive();
    EXPECT_EQ(MSC_ebookUsb_getHTTPRequestfromDevice("", "", &body, &size), -3);
    EXPECT_EQ(MSC_ebookUsb_sendHTTPResponsetoDevice(nullptr, 0, &size, &body), -3);
}

}  // namespace
