// The reader's vendor commands that move data in pieces: the file service,
// update partitions and the HTTP tunnel, driven exchange by exchange with the
// phases a PC uses, and their state in the reader's directory.
#include "tests/support/json_line.hpp"
#include "tests/support/process.hpp"
#include "vreader/model/board/create_reader.hpp"
#include "vreader/model/core/reader_dir.hpp"
#include "vreader/model/usb/usb_storage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

using vreader::ScsiReply;
using vreader::ScsiRequest;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::uint8_t kOpening = 1, kClosing = 2, kContinuing = 3;

Bytes le32(std::int64_t v)
{
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}
std::int32_t word(const Bytes& b, std::size_t at = 0)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && at + i < b.size(); ++i)
        v |= std::uint32_t{b[at + i]} << (8 * i);
    return static_cast<std::int32_t>(v);
}
Bytes field(const std::string& text, std::size_t size)
{
    Bytes out(size, 0);
    std::memcpy(out.data(), text.data(), std::min(size, text.size()));
    return out;
}
Bytes pattern(std::size_t size)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    return out;
}
Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string string_of(const Bytes& b) { return std::string(b.begin(), b.end()); }

class UsbTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(vreader::create_reader(path_, vreader::ReaderConfig{}, true, error)) << error;
        usb_ = vreader::UsbStorage::open(path_, error);
        ASSERT_NE(usb_, nullptr) << error;
    }

    // Each exchange's journal line keeps the exchange's own keys, whatever
    // its command adds: the line kind, the transfer length, the SCSI status.
    void TearDown() override
    {
        std::vector<long long> lengths;
        for (const auto& line : testing_support::parse_journal(testing_support::read_file(path_ + "/journal.jsonl"))) {
            if (line.text("request") != "scsi")
                continue;
            lengths.push_back(line.number("length"));
            if (line.has("status")) {
                EXPECT_TRUE(line.number("status") == 0 || line.number("status") == 2) << line.text("status");
            }
        }
        EXPECT_EQ(lengths, sent_);
    }

    ScsiReply out(std::uint8_t code, std::uint8_t phase, const Bytes& data)
    {
        ScsiRequest request;
        request.cdb = {0x20, 0, code, 0, phase};
        request.cdb_length = 10;
        request.transfer_length = static_cast<std::uint32_t>(data.size());
        request.data_out = data;
        sent_.push_back(request.transfer_length);
        return usb_->exchange('E', request);
    }
    ScsiReply in(std::uint8_t code, std::uint8_t phase, std::uint32_t length)
    {
        ScsiRequest request;
        request.cdb = {0x20, 0, code, 0, phase};
        request.cdb_length = 10;
        request.data_in = true;
        request.transfer_length = length;
        sent_.push_back(request.transfer_length);
        return usb_->exchange('E', request);
    }
    // Out phase 1, then in phase 2 of `reply` bytes: the reply's data.
    Bytes plain(std::uint8_t code, const Bytes& request, std::uint32_t reply = 4)
    {
        EXPECT_EQ(out(code, kOpening, request).status, 0) << last().text("error");
        const ScsiReply answer = in(code, kClosing, reply);
        EXPECT_EQ(answer.status, 0) << last().text("error");
        return answer.data_in;
    }
    // Data pieces of a stretch, in or out, with the phases a PC uses.
    bool pieces_in(std::uint8_t code, std::size_t size, Bytes& data, bool all_continuing = false)
    {
        for (std::size_t at = 0; at < size;) {
            const std::size_t piece = std::min<std::size_t>(size - at, 4096);
            at += piece;
            const ScsiReply reply = in(code, at == size && !all_continuing ? kClosing : kContinuing,
                                       static_cast<std::uint32_t>(piece));
            if (reply.status != 0 || reply.data_in.size() != piece)
                return false;
            data.insert(data.end(), reply.data_in.begin(), reply.data_in.end());
        }
        return true;
    }
    bool pieces_out(std::uint8_t code, const Bytes& data, bool all_continuing = false)
    {
        for (std::size_t at = 0; at < data.size();) {
            const std::size_t piece = std::min<std::size_t>(data.size() - at, 4096);
            const Bytes chunk(data.begin() + static_cast<std::ptrdiff_t>(at),
                              data.begin() + static_cast<std::ptrdiff_t>(at + piece));
            at += piece;
            if (out(code, at == data.size() && !all_continuing ? kClosing : kContinuing, chunk).status != 0)
                return false;
        }
        return true;
    }

    Bytes file_request(const std::string& path, std::int32_t position, std::int32_t length, std::size_t size = 268)
    {
        Bytes request = field(path, 256);
        for (const std::int32_t value : {position, length, 0x1234})
            for (const std::uint8_t b : le32(value))
                request.push_back(b);
        request.resize(size);
        return request;
    }
    std::int32_t file_size(const std::string& path) { return word(plain(128, field(path, 256))); }
    std::int32_t file_delete(const std::string& path) { return word(plain(131, field(path, 256))); }
    // A whole read: the status, and the data when it is 0.
    std::int32_t read(const std::string& path, std::int32_t position, std::int32_t length, Bytes& data)
    {
        EXPECT_EQ(out(129, kOpening, file_request(path, position, length)).status, 0) << last().text("error");
        const ScsiReply status = in(129, length > 0 ? kContinuing : kClosing, 4);
        EXPECT_EQ(status.status, 0) << last().text("error");
        if (word(status.data_in) == 0 && length > 0) {
            EXPECT_TRUE(pieces_in(129, static_cast<std::size_t>(length), data)) << last().text("error");
        }
        return word(status.data_in);
    }
    std::int32_t write(const std::string& path, std::int32_t position, const Bytes& data)
    {
        const auto length = static_cast<std::int32_t>(data.size());
        EXPECT_EQ(out(130, kOpening, file_request(path, position, length, 264)).status, 0) << last().text("error");
        const ScsiReply status = in(130, length > 0 ? kContinuing : kClosing, 4);
        EXPECT_EQ(status.status, 0) << last().text("error");
        if (word(status.data_in) == 0) {
            EXPECT_TRUE(pieces_out(130, data)) << last().text("error");
        }
        return word(status.data_in);
    }

    std::string storage(const std::string& name) const { return path_ + "/storage/" + name; }
    std::string conf() const { return testing_support::read_file(path_ + "/usb.conf"); }
    void set(const std::string& line) { testing_support::write_file(path_ + "/usb.conf", conf() + line + "\n"); }
    void faults(const std::string& lines) { testing_support::write_file(path_ + "/faults", lines); }
    // The journal's last line, or one `back` lines before it.
    testing_support::JsonLine last(std::size_t back = 0) const
    {
        const auto journal = testing_support::parse_journal(testing_support::read_file(path_ + "/journal.jsonl"));
        return journal.at(journal.size() - 1 - back);
    }

    testing_support::TempDir dir_;
    std::string path_ = dir_.file("reader");
    std::unique_ptr<vreader::UsbStorage> usb_;
    std::vector<long long> sent_;  // each exchange's transfer length
};

void expect_refused(const ScsiReply& reply, std::uint8_t asc)
{
    EXPECT_EQ(reply.status, 2);
    EXPECT_EQ(reply.sense[12], asc);
}

TEST_F(UsbTransferTest, FilesOfEverySizeRoundTripThroughStorage)
{
    EXPECT_EQ(testing_support::read_file(storage("documents/readme.txt")).substr(0, 11), "This folder");
    for (const std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 1u << 20}) {
        SCOPED_TRACE(size);
        const std::string name = "/new/folder/f" + std::to_string(size);
        const Bytes data = pattern(size);
        ASSERT_EQ(write(name, 0, data), 0);
        EXPECT_EQ(bytes_of(testing_support::read_file(storage(name.substr(1)))), data);
        EXPECT_EQ(file_size(name.substr(1)), static_cast<std::int32_t>(size));
        Bytes back;
        ASSERT_EQ(read(name, 0, static_cast<std::int32_t>(size), back), 0);
        EXPECT_EQ(back, data);
        EXPECT_NE(conf().find("command=none"), std::string::npos);
    }
    // A transfer keeps where it is, never its data.
    ASSERT_EQ(out(129, kOpening, file_request("new/folder/f1048576", 0, 1 << 20)).status, 0);
    EXPECT_EQ(last().number("length"), 268);
    EXPECT_EQ(last().number("data_length"), 1 << 20);
    ASSERT_EQ(word(in(129, kContinuing, 4).data_in), 0);
    EXPECT_EQ(last().number("status"), 0);
    EXPECT_EQ(last().number("file_status"), 0);
    ASSERT_EQ(in(129, kContinuing, 4096).data_in.size(), 4096u);
    EXPECT_NE(conf().find("command_moved=4096\n"), std::string::npos);
    EXPECT_LT(conf().size(), 2000u);
    EXPECT_EQ(last().number("offset"), 0);
    EXPECT_EQ(file_size("new/folder/f4097"), 4097);
    EXPECT_EQ(last(1).text("abandoned"), "file_read");

    // A write at the end grows the file, one within it overwrites in place.
    ASSERT_EQ(write("documents/a.txt", 0, bytes_of("hello")), 0);
    ASSERT_EQ(write("documents/a.txt", 5, bytes_of(" world")), 0);
    ASSERT_EQ(write("/documents/a.txt", 0, bytes_of("J")), 0);
    EXPECT_EQ(testing_support::read_file(storage("documents/a.txt")), "Jello world");
    Bytes middle;
    ASSERT_EQ(read("documents/a.txt", 6, 5, middle), 0);
    EXPECT_EQ(string_of(middle), "world");
    EXPECT_EQ(last().number("moved"), 5);
    EXPECT_EQ(file_delete("/documents/a.txt"), 0);
    EXPECT_FALSE(fs::exists(storage("documents/a.txt")));
}

TEST_F(UsbTransferTest, PathsOutsideStorageNeverReachTheHost)
{
    testing_support::write_file(dir_.file("outside.txt"), "keep");
    fs::create_directory_symlink(dir_.path(), storage("link"));
    const std::string refused[] = {"",
                                   "/",
                                   "../usb.conf",
                                   "documents/../../usb.conf",
                                   "documents/./readme.txt",
                                   "//documents/readme.txt",
                                   "documents//readme.txt",
                                   "documents\\readme.txt",
                                   "C:/outside.txt",
                                   "documents/",
                                   "documents/CON",
                                   "nul.txt",
                                   "docu\x01ments",
                                   "link/outside.txt",
                                   "link/new.txt",
                                   std::string(300, '.')};
    for (const std::string& path : refused) {
        SCOPED_TRACE(path);
        EXPECT_EQ(file_size(path), -203);
        EXPECT_EQ(file_delete(path), -203);
        Bytes data;
        EXPECT_EQ(read(path, 0, 1, data), -203);
        EXPECT_EQ(write(path, 0, bytes_of("x")), -203);
    }
    EXPECT_EQ(testing_support::read_file(dir_.file("outside.txt")), "keep");
    EXPECT_FALSE(fs::exists(dir_.file("new.txt")));
    EXPECT_TRUE(fs::exists(path_ + "/usb.conf"));
    // 256 bytes with no terminator are a name of their own, if a valid one.
    EXPECT_EQ(file_size(std::string(256, 'a')), -201);
    EXPECT_EQ(last(1).text("path"), std::string(256, 'a'));
}

TEST_F(UsbTransferTest, PositionsAndMissingFilesGiveTheReadersCodes)
{
    const struct {
        std::string name;
        bool write;
        std::string path;
        std::int32_t position, length, status;
    } cases[] = {
        {"read before the start", false, "documents/readme.txt", -1, 1, -202},
        {"read past the end", false, "documents/readme.txt", 140, 10, -202},
        {"negative length", false, "documents/readme.txt", 0, -1, -202},
        {"read at the end, nothing", false, "documents/readme.txt", 149, 0, 0},
        {"read a missing file", false, "documents/none.txt", 0, 1, -201},
        {"read a folder", false, "documents", 0, 1, -205},
        {"write past the end", true, "documents/readme.txt", 150, 1, -202},
        {"write a missing file at 5", true, "documents/none.txt", 5, 1, -201},
        {"write under a file, as if a folder", true, "documents/readme.txt/new.txt", 0, 1, -204},
    };
    ASSERT_EQ(file_size("documents/readme.txt"), 149);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes data;
        EXPECT_EQ(c.write ? write(c.path, c.position, Bytes(static_cast<std::size_t>(std::max(c.length, 0)), 'x'))
                          : read(c.path, c.position, c.length, data),
                  c.status);
        EXPECT_TRUE(data.empty());
        EXPECT_NE(conf().find("command=none"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(storage("documents/none.txt")));
    EXPECT_EQ(file_size("documents"), -205);
    // A file of 2 GiB (sparse) has a size 31 bits cannot carry; it can still be deleted.
    testing_support::write_file(storage("huge.bin"), "");
    fs::resize_file(storage("huge.bin"), std::uintmax_t{1} << 31);
    EXPECT_EQ(file_size("huge.bin"), -206);
    EXPECT_EQ(file_delete("huge.bin"), 0);
    EXPECT_EQ(file_delete("documents/none.txt"), -201);
    EXPECT_EQ(write("empty.txt", 0, {}), 0);
    EXPECT_EQ(file_size("empty.txt"), 0);

    // The knob: the next read or write answers the status set, then all is as before.
    set("file_status=-77");
    Bytes data;
    EXPECT_EQ(read("documents/readme.txt", 0, 4, data), -77);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(read("documents/readme.txt", 0, 4, data), 0);
    EXPECT_EQ(string_of(data), "This");
}

TEST_F(UsbTransferTest, PiecesOutOfStepAreRefused)
{
    ASSERT_EQ(out(129, kOpening, file_request("documents/readme.txt", 0, 10)).status, 0);
    expect_refused(in(129, kClosing, 4), 0x2C);
    EXPECT_EQ(last().text("error"), "file_read expects in phase 3, not in phase 2");
    ASSERT_EQ(out(129, kOpening, file_request("documents/readme.txt", 0, 10)).status, 0);
    ASSERT_EQ(in(129, kContinuing, 4).status, 0);
    expect_refused(in(129, kClosing, 4), 0x1A);
    EXPECT_EQ(last().text("error"), "file_read piece of 4 bytes where 10 belong");
    expect_refused(out(129, kOpening, file_request("documents/readme.txt", 0, 10, 264)), 0x1A);
    // A continuing exchange of another command is still refused.
    ASSERT_EQ(out(130, kOpening, file_request("b.txt", 0, 5, 264)).status, 0);
    expect_refused(in(129, kContinuing, 4), 0x2C);
    EXPECT_EQ(last().text("error"), "file_read in phase 3 while file_write is unfinished");
}

TEST_F(UsbTransferTest, BrokenTransferIsAbandonedByTheNextCommand)
{
    // The fourth exchange of the read, its second piece, fails on the way.
    faults("usb:scsi_81 EIO 1 after 3\n");
    ASSERT_EQ(write("big.bin", 0, pattern(10000)), 0);
    Bytes data;
    EXPECT_EQ(out(129, kOpening, file_request("big.bin", 0, 10000)).status, 0);
    EXPECT_EQ(word(in(129, kContinuing, 4).data_in), 0);
    EXPECT_EQ(in(129, kContinuing, 4096).data_in.size(), 4096u);
    EXPECT_EQ(in(129, kContinuing, 4096).call, ScsiReply::Call::Fails);
    EXPECT_EQ(file_size("big.bin"), 10000);
    EXPECT_EQ(last(1).text("abandoned"), "file_read");
    EXPECT_EQ(last(1).number("abandoned_step"), 3);

    // Half of a write's second piece arrives: refused, the first piece stays.
    faults("usb:scsi_82 short 1 after 3\n");
    ASSERT_EQ(out(130, kOpening, file_request("half.bin", 0, 8192, 264)).status, 0);
    ASSERT_EQ(word(in(130, kContinuing, 4).data_in), 0);
    ASSERT_EQ(out(130, kContinuing, pattern(4096)).status, 0);
    expect_refused(out(130, kClosing, pattern(4096)), 0x1A);
    EXPECT_EQ(last().text("fault"), "short");
    EXPECT_EQ(file_size("half.bin"), 4096);
    // A write whose data never comes leaves the command open until the next one.
    ASSERT_EQ(out(130, kOpening, file_request("never.bin", 0, 10, 264)).status, 0);
    ASSERT_EQ(word(in(130, kContinuing, 4).data_in), 0);
    Bytes back;
    EXPECT_EQ(read("documents/readme.txt", 0, 4, back), 0);
    EXPECT_EQ(string_of(back), "This");
}

Bytes partition_request(const std::string& name, std::uint32_t third, std::int64_t image_bytes = -1,
                        const std::string& tag = "", const Bytes& extra = {})
{
    Bytes request = field(name, 32);
    for (const std::uint32_t value : {11u, 22u, third})
        for (const std::uint8_t b : le32(value))
            request.push_back(b);
    if (image_bytes >= 0) {
        for (const std::uint8_t b : le32(image_bytes))
            request.push_back(b);
        const Bytes tag_field = field(tag, 16);
        request.insert(request.end(), tag_field.begin(), tag_field.end());
        request.insert(request.end(), extra.begin(), extra.end());
    }
    return request;
}

TEST_F(UsbTransferTest, PartitionsAreMadeOnlyInUpdateModeAndKeptAsFiles)
{
    EXPECT_EQ(word(plain(114, partition_request("boot", 5))), -212);
    EXPECT_EQ(word(plain(113, field("boot", 32))), -212);
    EXPECT_EQ(plain(116, field("boot", 32), 12), Bytes({0x2C, 0xFF, 0xFF, 0xFF, 0x2C, 0xFF, 0xFF, 0xFF, 0x2C, 0xFF,
                                                        0xFF, 0xFF}));
    EXPECT_EQ(word(plain(112, le32(2))), -211);
    EXPECT_EQ(word(plain(112, le32(1))), 0);
    EXPECT_NE(conf().find("\nupdate_mode=1\n"), std::string::npos);

    EXPECT_EQ(word(plain(114, partition_request("boot", 0x02C90005))), 0);
    EXPECT_EQ(testing_support::read_file(path_ + "/partitions/boot.img"), "");
    const std::string kept = testing_support::read_file(path_ + "/partitions/boot.conf");
    EXPECT_NE(kept.find("third=46727173\nimage=no\n"), std::string::npos) << kept;
    EXPECT_EQ(plain(116, field("boot", 32), 12), Bytes({11, 0, 0, 0, 22, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(word(plain(114, partition_request("boot", 0))), -214);
    for (const std::string& name : {std::string(""), std::string("a/b"), std::string("a\x01"), std::string(32, 'n')})
        EXPECT_EQ(word(plain(114, partition_request(name, 0))), -213) << name;
    EXPECT_EQ(word(plain(113, field("boot", 32))), 0);
    EXPECT_FALSE(fs::exists(path_ + "/partitions/boot.img"));
    EXPECT_EQ(word(plain(113, field("boot", 32))), -215);
    EXPECT_EQ(word(plain(116, field("boot", 32), 12), 8), -215);
    expect_refused(out(114, kOpening, Bytes(40, 0)), 0x1A);
}

TEST_F(UsbTransferTest, ImagesCountAsAnnouncedOrTheCreateFails)
{
    ASSERT_EQ(word(plain(112, le32(1))), 0);
    const Bytes extra = pattern(128);
    for (const std::size_t size : {0u, 1u, 4096u, 8192u, 10000u}) {
        SCOPED_TRACE(size);
        const std::string name = "p" + std::to_string(size);
        const Bytes image = pattern(size);
        ASSERT_EQ(out(115, kOpening, partition_request(name, 1, size, "v1.2", size % 2 ? extra : Bytes{})).status, 0);
        ASSERT_TRUE(pieces_out(115, image, true)) << last().text("error");
        EXPECT_EQ(word(in(115, kClosing, 4).data_in), 0);
        EXPECT_EQ(bytes_of(testing_support::read_file(path_ + "/partitions/" + name + ".img")), image);
        EXPECT_EQ(word(plain(116, field(name, 32), 12), 8), static_cast<std::int32_t>(size));
        const std::string kept = testing_support::read_file(path_ + "/partitions/" + name + ".conf");
        EXPECT_NE(kept.find("image=yes\ntag=v1.2\nextra=" + std::string(size % 2 ? "00 07 0E" : "none")),
                  std::string::npos)
            << kept;
        EXPECT_NE(kept.find("announced=" + std::to_string(size)), std::string::npos);
    }
    // Short, nothing at all, or broken off: no partition, nothing left over.
    ASSERT_EQ(out(115, kOpening, partition_request("short", 1, 10000)).status, 0);
    ASSERT_TRUE(pieces_out(115, pattern(4096), true));
    EXPECT_EQ(word(in(115, kClosing, 4).data_in), -216);
    EXPECT_EQ(last().number("received"), 4096);
    ASSERT_EQ(out(115, kOpening, partition_request("none", 1, 100)).status, 0);
    EXPECT_EQ(word(in(115, kClosing, 4).data_in), -216);
    ASSERT_EQ(out(115, kOpening, partition_request("cut", 1, 8192)).status, 0);
    ASSERT_TRUE(pieces_out(115, pattern(4096), true));
    EXPECT_EQ(word(plain(116, field("cut", 32), 12), 8), -215);
    for (const std::string name : {"short", "none", "cut"}) {
        EXPECT_FALSE(fs::exists(path_ + "/partitions/" + name + ".conf")) << name;
        EXPECT_FALSE(fs::exists(path_ + "/partitions/" + name + ".incoming")) << name;
    }
    // Image pieces are all phase 3, and none beyond the count.
    ASSERT_EQ(out(115, kOpening, partition_request("q", 1, 10)).status, 0);
    expect_refused(out(115, kClosing, pattern(10)), 0x2C);
    ASSERT_EQ(out(115, kOpening, partition_request("q", 1, 10)).status, 0);
    ASSERT_EQ(out(115, kContinuing, pattern(10)).status, 0);
    expect_refused(out(115, kContinuing, pattern(1)), 0x2C);
    // A refused create still takes the pieces, then answers its code, for
    // every refusal: an existing name, a name that is no file name, normal
    // mode.
    struct Refusal {
        std::string name;
        std::uint32_t mode;
        std::int32_t code;
    };
    for (const Refusal& refusal : {Refusal{"p1", 1, -214}, Refusal{"a/b", 1, -213}, Refusal{"n", 0, -212}}) {
        SCOPED_TRACE(refusal.name);
        ASSERT_EQ(word(plain(112, le32(refusal.mode))), 0);
        ASSERT_EQ(out(115, kOpening, partition_request(refusal.name, 1, 5000)).status, 0);
        ASSERT_TRUE(pieces_out(115, pattern(5000), true)) << last().text("error");
        EXPECT_EQ(word(in(115, kClosing, 4).data_in), refusal.code);
    }
    EXPECT_EQ(testing_support::read_file(path_ + "/partitions/p1.img").size(), 1u);
    EXPECT_FALSE(fs::exists(path_ + "/partitions/n.conf"));
}

Bytes selection(const std::string& first, const std::string& second)
{
    Bytes block = field(first, 256);
    const Bytes other = field(second, 256);
    block.insert(block.end(), other.begin(), other.end());
    return block;
}

TEST_F(UsbTransferTest, TunnelHandsOutTheQueueAndKeepsTheResponses)
{
    const std::string tunnel = path_ + "/tunnel/";
    const std::string request = testing_support::read_file(tunnel + "000001.request");
    EXPECT_EQ(request.substr(0, 4), "GET ");
    EXPECT_NE(request.find("\r\nHost: "), std::string::npos);
    EXPECT_NE(request.find("\r\nUser-Agent: "), std::string::npos);

    // Code 64: the header, the body, and the request leaves the queue.
    ASSERT_EQ(out(64, kOpening, selection("catalog", "")).status, 0);
    EXPECT_EQ(last().text("first_text"), "catalog");
    const Bytes header = in(64, kContinuing, 8).data_in;
    EXPECT_EQ(last().text("request"), "scsi");
    EXPECT_EQ(last().text("request_file"), "000001.request");
    EXPECT_EQ(last().number("header_status"), 0);
    ASSERT_EQ(header.size(), 8u);
    EXPECT_EQ(word(header), 0);
    ASSERT_EQ(word(header, 4), static_cast<std::int32_t>(request.size()));
    Bytes body;
    ASSERT_TRUE(pieces_in(64, request.size(), body));
    EXPECT_EQ(string_of(body), request);
    EXPECT_FALSE(fs::exists(tunnel + "000001.request"));
    EXPECT_NE(conf().find("command=none"), std::string::npos);
    ASSERT_EQ(out(64, kOpening, selection("", "")).status, 0);
    EXPECT_EQ(in(64, kContinuing, 8).data_in, Bytes(8, 0));
    EXPECT_NE(conf().find("command=none"), std::string::npos);

    // Code 65 by sizes: the response is kept as it came, the next request follows.
    const struct {
        std::size_t response, next;
    } runs[] = {{0, 1}, {1, 4095}, {4096, 4096}, {4097, 4097}, {1u << 20, 0}};
    int number = 0;
    for (const auto& run : runs) {
        SCOPED_TRACE(run.response);
        const Bytes next = pattern(run.next);
        if (run.next > 0)
            testing_support::write_file(tunnel + "000009.request", string_of(next));
        const Bytes response = pattern(run.response);
        ASSERT_EQ(out(65, kOpening, le32(static_cast<std::int64_t>(run.response))).status, 0);
        ASSERT_TRUE(pieces_out(65, response, true)) << last().text("error");
        const Bytes head = in(65, kContinuing, 8).data_in;
        EXPECT_EQ(word(head), 0);
        ASSERT_EQ(word(head, 4), static_cast<std::int32_t>(run.next));
        Bytes got;
        ASSERT_TRUE(pieces_in(65, run.next, got)) << last().text("error");
        EXPECT_EQ(got, next);
        char name[32];
        std::snprintf(name, sizeof name, "responses/%06d.response", ++number);
        EXPECT_EQ(bytes_of(testing_support::read_file(tunnel + name)), response);
        EXPECT_FALSE(fs::exists(tunnel + "000009.request"));
    }

    // The knob: a status with a positive size, no body, the request stays.
    testing_support::write_file(tunnel + "000010.request", "GET / HTTP/1.1\r\n\r\n");
    set("tunnel_status=-9");
    ASSERT_EQ(out(65, kOpening, le32(0)).status, 0);
    const Bytes refused = in(65, kContinuing, 8).data_in;
    EXPECT_EQ(word(refused), -9);
    EXPECT_EQ(word(refused, 4), 18);
    EXPECT_NE(conf().find("command=none"), std::string::npos);
    EXPECT_TRUE(fs::exists(tunnel + "000010.request"));
    ASSERT_EQ(out(65, kOpening, le32(0)).status, 0);
    EXPECT_EQ(word(in(65, kContinuing, 8).data_in), 0);

    // Pieces out of step.
    ASSERT_EQ(out(65, kOpening, le32(10)).status, 0);
    expect_refused(in(65, kContinuing, 8), 0x2C);
    ASSERT_EQ(out(65, kOpening, le32(10)).status, 0);
    expect_refused(out(65, kClosing, pattern(10)), 0x2C);
}

// A response broken off, by the next command or by a refused piece, is
// never kept as one; a whole one takes the first free number.
TEST_F(UsbTransferTest, ResponseBrokenOffIsNotKept)
{
    const std::string responses = path_ + "/tunnel/responses/";
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused);
        ASSERT_EQ(out(65, kOpening, le32(8192)).status, 0);
        ASSERT_EQ(out(65, kContinuing, pattern(4096)).status, 0);
        if (refused)
            expect_refused(out(65, kContinuing, pattern(2048)), 0x1A);
        else
            EXPECT_EQ(word(plain(112, le32(0))), 0);
        EXPECT_TRUE(fs::is_empty(responses));
        EXPECT_NE(conf().find("command=none"), std::string::npos);
    }
    ASSERT_EQ(out(65, kOpening, le32(5000)).status, 0);
    ASSERT_TRUE(pieces_out(65, pattern(5000), true)) << last().text("error");
    EXPECT_EQ(bytes_of(testing_support::read_file(responses + "000001.response")), pattern(5000));
    EXPECT_EQ(word(in(65, kContinuing, 8).data_in), 0);
}

}  // namespace
