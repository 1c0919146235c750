// Files, update partitions and the HTTP tunnel against the virtual reader,
// as an application calls them: natively and, built for Windows, under Wine.
#include "tests/hostlib/exports_fixture.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace exports_fixture;
using Bytes = std::vector<unsigned char>;

Bytes read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TransferExports : public Exports {
protected:
    void SetUp() override
    {
        Exports::SetUp();
        ASSERT_EQ(MSC_OpenDriveW(built_in()), 1);
    }
};

TEST_F(TransferExports, AFileGoesToTheReaderAndComesBackTheSame)
{
    Bytes data(1 << 20);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 131 + i / 4096);
    ASSERT_EQ(MSC_UsbFile_Write("/documents/big.bin", data.data(), 0, static_cast<int>(data.size())), 0);
    EXPECT_EQ(read_bytes(dir_ / "storage" / "documents" / "big.bin"), data);
    int size = 0;
    EXPECT_EQ(MSC_UsbFile_GetSize("documents/big.bin", &size), 0);
    EXPECT_EQ(size, 1 << 20);
    Bytes back(data.size());
    ASSERT_EQ(MSC_UsbFile_Read("/documents/big.bin", back.data(), 0, static_cast<int>(back.size()), 0), 0);
    EXPECT_EQ(back, data);
    Bytes middle(5000);
    ASSERT_EQ(MSC_UsbFile_Read("/documents/big.bin", middle.data(), 4000, 5000, 0), 0);
    EXPECT_TRUE(std::equal(middle.begin(), middle.end(), data.begin() + 4000));

    // The reader's codes: a read past the end, a missing file, a path that
    // would leave its storage.
    EXPECT_EQ(MSC_UsbFile_Read("/documents/big.bin", middle.data(), (1 << 20) - 10, 11, 0), -2);
    EXPECT_EQ(MSC_UsbFile_GetSize("/documents/none", &size), -201);
    EXPECT_EQ(MSC_UsbFile_GetSize("../reader.conf", &size), -203);
    EXPECT_EQ(MSC_UsbFile_Delete("/../usb.conf"), -203);
    EXPECT_TRUE(fs::exists(dir_ / "usb.conf"));
    EXPECT_EQ(MSC_UsbFile_Delete("/documents/big.bin"), 0);
    EXPECT_EQ(MSC_UsbFile_Delete("/documents/big.bin"), -201);

    // A piece that fails in the middle fails the read; the next command runs.
    ASSERT_EQ(MSC_UsbFile_Write("/a.bin", data.data(), 0, 20000), 0);
    // (ten times, as the library tries a failed exchange ten times)
    faults("usb:scsi_81 EIO 10 after 3\n");
    EXPECT_EQ(MSC_UsbFile_Read("/a.bin", back.data(), 0, 20000, 0), -2);
    EXPECT_EQ(MSC_UsbFile_GetSize("/a.bin", &size), 0);
    EXPECT_EQ(size, 20000);

    // A non-zero status moves nothing, once.
    edit([](UsbContent& usb) { usb.file_status = -204; });
    std::fill(back.begin(), back.end(), 0);
    EXPECT_EQ(MSC_UsbFile_Read("/a.bin", back.data(), 0, 20000, 0), -2);
    EXPECT_EQ(back[0], 0);
    EXPECT_EQ(MSC_UsbFile_Read("/a.bin", back.data(), 0, 20000, 0), 0);
    EXPECT_EQ(back[0], data[0]);
}

TEST_F(TransferExports, AnUpdatePartitionFromAnImage)
{
    const fs::path image = dir_ / "kernel.img";
    Bytes data(8192 + 100, 0x5A);
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), 8192 + 100);

    EXPECT_EQ(MSC_ReqCreatePartition("boot", 1, 2, 3), -212) << "not in update mode";
    EXPECT_EQ(MSC_ReqChangeMode(1), 0);
    EXPECT_EQ(MSC_ReqCreatePartitionWithImage("kernel", 7, 8, 9, 8192, image.string().c_str(), "v2.1", nullptr), 0);
    unsigned first = 0, second = 0, bytes = 0;
    EXPECT_EQ(MSC_GetPartitionSize("kernel", &first, &second, &bytes), 0);
    EXPECT_EQ(std::vector<unsigned>({first, second, bytes}), std::vector<unsigned>({7, 8, 8192}));
    EXPECT_EQ(read_bytes(dir_ / "partitions" / "kernel.img"), Bytes(8192, 0x5A));
    EXPECT_EQ(MSC_ReqCreatePartitionWithImage("empty", 0, 0, 0, 10, (dir_ / "none.img").string().c_str(), "", nullptr),
              -216)
        << "a missing image sends nothing, and the reader says so";
    // An image shorter than announced fails, and still closes the command.
    EXPECT_EQ(MSC_ReqCreatePartitionWithImage("short", 0, 0, 0, 9000, image.string().c_str(), "", nullptr), -2);
    EXPECT_FALSE(usb().command) << "the reader waits for the rest of the image";
    EXPECT_FALSE(fs::exists(dir_ / "partitions" / "short.img"));
    EXPECT_EQ(MSC_ReqCreatePartitionWithImage("a/b", 0, 0, 0, 8192, image.string().c_str(), "", nullptr), -213)
        << "a name the reader refuses: its code after the image";
    EXPECT_EQ(MSC_ReqCreatePartition("rootfs", 4, 5, 6), 0);
    EXPECT_EQ(MSC_ReqDeletePartition("kernel"), 0);
    EXPECT_EQ(MSC_ReqDeletePartition("kernel"), -215);
    EXPECT_EQ(MSC_ReqChangeMode(0), 0);
}

// The exchanges of vendor command `code` in the reader's journal.
int journaled(const fs::path& dir, int code)
{
    std::ifstream journal(dir / "journal.jsonl");
    const std::string key = "\"code\":" + std::to_string(code) + ",";
    int count = 0;
    for (std::string line; std::getline(journal, line);)
        count += line.find(key) != std::string::npos ? 1 : 0;
    return count;
}

TEST_F(TransferExports, ADataOutPhaseTheReaderRefusesOrCutsFailsTheCommand)
{
    Bytes data(20000, 0x33);
    const fs::path image = dir_ / "five.img";
    std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), 20000);
    ASSERT_EQ(MSC_ReqChangeMode(1), 0);
    char info[16];
    void* body = nullptr;
    int body_size = 0;
    struct Row {
        const char* fault;
        std::function<int()> call;
        int expected;
        int code;
        int exchanges;  // of the code, retries included
    };
    const Row rows[] = {
        {"usb:scsi_82 short 1 after 2", [&] { return MSC_UsbFile_Write("/s.bin", data.data(), 0, 20000); }, -2, 130,
         12},
        {"usb:scsi_82 check 10 after 3", [&] { return MSC_UsbFile_Write("/c.bin", data.data(), 0, 20000); }, -2, 130,
         13},
        {"usb:scsi_A0 check 10 after 2", [&] { return MSC_GetInfo("model", info, sizeof info); }, -2, 160, 13},
        {"usb:scsi_04 check 10", [] { return MSC_UsbUnlockDevice("0000"); }, -16, 4, 10},
        {"usb:scsi_41 check 10 after 1",
         [&] { return MSC_ebookUsb_sendHTTPResponsetoDevice(data.data(), 5000, &body_size, &body); }, -2, 65, 11},
        {"usb:scsi_73 check always after 1",
         [&] { return MSC_ReqCreatePartitionWithImage("five", 0, 0, 0, 20000, image.string().c_str(), "", nullptr); },
         -2, 115, 11},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        std::ofstream(dir_ / "journal.jsonl", std::ios::trunc).flush();
        faults(std::string(row.fault) + "\n");
        EXPECT_EQ(row.call(), row.expected);
        EXPECT_EQ(journaled(dir_, row.code), row.exchanges);
        faults("");
    }
    // A write that failed says so; the reader holds what it took.
    int size = -1;
    EXPECT_EQ(MSC_UsbFile_GetSize("/c.bin", &size), 0);
    EXPECT_EQ(size, 4096);
    EXPECT_EQ(MSC_ReqChangeMode(0), 0);
    // The reader keeps the response it began to receive; the suite's next
    // tests (one process under Wine) start without it.
    fs::remove_all(dir_ / "tunnel" / "responses");
}

TEST_F(TransferExports, NullOutputsAreRefusedBeforeTheReaderIsAsked)
{
    // Nothing is sent for a result with nowhere to go: the reader's HTTP
    // request stays queued, and no command is left in the middle.
    const std::string prepared = "GET / HTTP/1.1\r\n\r\n";
    fs::create_directories(dir_ / "tunnel");
    std::ofstream(dir_ / "tunnel" / "000001.request", std::ios::binary) << prepared;
    void* body = nullptr;
    int size = 0;
    struct Row {
        const char* name;
        std::function<int()> call;
        int expected;
        int code;
    };
    const Row rows[] = {
        {"request, no body pointer", [&] { return MSC_ebookUsb_getHTTPRequestfromDevice("", "", nullptr, &size); }, -2,
         64},
        {"request, no size", [&] { return MSC_ebookUsb_getHTTPRequestfromDevice("", "", &body, nullptr); }, -2, 64},
        {"response, no size", [&] { return MSC_ebookUsb_sendHTTPResponsetoDevice("ok", 2, nullptr, &body); }, -2, 65},
        {"response, no body pointer", [&] { return MSC_ebookUsb_sendHTTPResponsetoDevice("ok", 2, &size, nullptr); },
         -2, 65},
        {"file size", [] { return MSC_UsbFile_GetSize("/a.bin", nullptr); }, -2, 128},
        {"file read", [] { return MSC_UsbFile_Read("/a.bin", nullptr, 0, 100, 0); }, -2, 129},
        {"file write", [] { return MSC_UsbFile_Write("/a.bin", nullptr, 0, 100); }, -2, 130},
        {"free space", [] { return MSC_ebookUsb_GetFreeSpace("", nullptr); }, -2, 8},
        {"property", [] { return MSC_UsbGetDevProperty(nullptr); }, -1, 6},
        {"media state", [] { return msc_CheckMediaState(nullptr); }, -2, 10},
        {"protocol version", [] { return MSC_UsbGetProtocolVer(1, nullptr, 8); }, -1, 1},
        {"partition size", [] { return MSC_GetPartitionSize("p", nullptr, nullptr, nullptr); }, -2, 116},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(dir_ / "journal.jsonl", std::ios::trunc).flush();
        EXPECT_EQ(row.call(), row.expected);
        EXPECT_EQ(journaled(dir_, row.code), 0);
        EXPECT_FALSE(usb().command);
    }
    // Nothing to write: the request and the reader's status close the command.
    EXPECT_EQ(MSC_UsbFile_Write("/a.bin", nullptr, 0, 0), 0);
    EXPECT_FALSE(usb().command);

    ASSERT_EQ(MSC_ebookUsb_getHTTPRequestfromDevice("", "", &body, &size), 0);
    EXPECT_EQ(std::string(static_cast<const char*>(body), static_cast<std::size_t>(size)), prepared);
    MSC_ebookUsb_freeHTTPRequestfromDevice(body);
}

TEST_F(TransferExports, OneTunnelExchange)
{
    const std::string prepared = "GET /store/catalog?lang=en&page=1 HTTP/1.1\r\nHost: books.example.com\r\n\r\n";
    fs::create_directories(dir_ / "tunnel");
    std::ofstream(dir_ / "tunnel" / "000001.request", std::ios::binary) << prepared;
    void* body = nullptr;
    int size = 0;
    ASSERT_EQ(MSC_ebookUsb_getHTTPRequestfromDevice("", "", &body, &size), 0);
    ASSERT_NE(body, nullptr);
    const std::string request(static_cast<const char*>(body), static_cast<std::size_t>(size));
    MSC_ebookUsb_freeHTTPRequestfromDevice(body);
    EXPECT_EQ(request, prepared);

    const std::string response = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    ASSERT_EQ(MSC_ebookUsb_sendHTTPResponsetoDevice(response.data(), static_cast<int>(response.size()), &size, &body),
              0);
    EXPECT_EQ(body, nullptr) << "nothing more queued";
    EXPECT_EQ(size, 0);
    std::vector<fs::path> responses;
    for (const auto& entry : fs::directory_iterator(dir_ / "tunnel" / "responses"))
        responses.push_back(entry.path());
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(read_bytes(responses[0]), Bytes(response.begin(), response.end()));

    // A header with a non-zero status brings no body, whatever its size.
    std::ofstream(dir_ / "tunnel" / "000002.request", std::ios::binary) << prepared;
    edit([](UsbContent& usb) { usb.tunnel_status = 3; });
    body = reinterpret_cast<void*>(1);
    ASSERT_EQ(MSC_ebookUsb_sendHTTPResponsetoDevice(nullptr, 0, &size, &body), 0);
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(size, 0);
}

}  // namespace
