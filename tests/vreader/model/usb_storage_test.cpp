// The reader as a PC's storage driver sees it over USB: INQUIRY on its
// volumes and the vendor commands' exchanges, through UsbStorage as the
// Windows binding drives it.
#include "tests/support/json_line.hpp"
#include "tests/support/process.hpp"
#include "vreader/model/board/create_reader.hpp"
#include "vreader/model/core/reader_dir.hpp"
#include "vreader/model/state/gadget_content.hpp"
#include "vreader/model/usb/usb_storage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

using vreader::ScsiReply;
using vreader::ScsiRequest;
using Bytes = std::vector<std::uint8_t>;
using Call = ScsiReply::Call;

constexpr std::uint8_t kIn = 1, kOut = 0;

Bytes le32(std::uint32_t v)
{
    return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }
std::string repeated(const std::string& s, int times)
{
    std::string out;
    while (times-- > 0)
        out += s;
    return out;
}
std::string text_of(const Bytes& b, std::size_t at = 0, std::size_t n = std::string::npos)
{
    return std::string(b.begin(), b.end()).substr(at, n);
}

class UsbStorageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(vreader::create_reader(path_, vreader::ReaderConfig{}, true, error)) << error;
        reopen();
    }

    void reopen()
    {
        std::string error;
        usb_ = vreader::UsbStorage::open(path_, error);
        ASSERT_NE(usb_, nullptr) << error;
    }

    // One vendor exchange: data-out when `out` is given, else data-in of `length` bytes.
    ScsiReply vendor(std::uint8_t code, std::uint8_t phase, std::uint8_t direction, std::uint32_t length,
                     const Bytes& out = {}, char letter = 'E', std::uint8_t selector = 0)
    {
        ScsiRequest request;
        request.cdb = {0x20, 0, code, 0, phase, selector};
        request.cdb_length = 10;
        request.data_in = direction == kIn;
        request.transfer_length = direction == kIn ? length : static_cast<std::uint32_t>(out.size());
        request.data_out = out;
        return usb_->exchange(*usb_->volume(letter), request);
    }

    ScsiReply inquiry(char letter, std::uint8_t allocation, std::uint32_t transfer, std::uint8_t evpd = 0)
    {
        ScsiRequest request;
        request.cdb = {0x12, evpd, 0, 0, allocation, 0};
        request.cdb_length = 6;
        request.data_in = true;
        request.transfer_length = transfer;
        return usb_->exchange(*usb_->volume(letter), request);
    }

    // Code 4 with a code text in its 8-byte field, then its reply: the reader's answer.
    std::int32_t unlock(const std::string& code)
    {
        Bytes field(8, 0);
        std::memcpy(field.data(), code.data(), code.size());
        EXPECT_EQ(vendor(4, 1, kOut, 0, field).status, 0);
        const ScsiReply reply = vendor(4, 2, kIn, 4);
        EXPECT_EQ(reply.data_in.size(), 4u);
        std::int32_t answer = 0;
        std::memcpy(&answer, reply.data_in.data(), std::min<std::size_t>(4, reply.data_in.size()));
        return answer;
    }

    void set(const std::string& line) { testing_support::write_file(path_ + "/usb.conf", conf() + line + "\n"); }
    std::string conf() const { return testing_support::read_file(path_ + "/usb.conf"); }
    bool conf_has(const std::string& line) const { return conf().find("\n" + line + "\n") != std::string::npos; }
    void faults(const std::string& lines) { testing_support::write_file(path_ + "/faults", lines); }
    testing_support::JsonLine last() const
    {
        return testing_support::parse_journal(testing_support::read_file(path_ + "/journal.jsonl")).back();
    }

    testing_support::TempDir dir_;
    std::string path_ = dir_.file("reader");
    std::unique_ptr<vreader::UsbStorage> usb_;
};

void expect_check(const ScsiReply& reply, std::uint8_t key, std::uint8_t asc)
{
    EXPECT_EQ(reply.call, Call::Done);
    EXPECT_EQ(reply.status, 2);
    EXPECT_EQ(reply.transfer_length, 0u);
    EXPECT_TRUE(reply.data_in.empty());
    EXPECT_EQ(reply.sense[0], 0x70);
    EXPECT_EQ(reply.sense[2], key);
    EXPECT_EQ(reply.sense[12], asc);
}

TEST_F(UsbStorageTest, InquiryTellsTheVolumesApartWithinTheLengthsAsked)
{
    const struct {
        char letter;
        std::string specific;
    } volumes[] = {{'E', "emb,"}, {'f', "ext,sd,"}, {'G', "ext,ms,"}};
    for (const auto& volume : volumes) {
        const ScsiReply reply = inquiry(volume.letter, 255, 255);
        ASSERT_EQ(reply.data_in.size(), 56u) << volume.letter;
        EXPECT_EQ(reply.transfer_length, 56u);
        EXPECT_EQ(reply.data_in[0], 0x00);
        EXPECT_EQ(reply.data_in[1], 0x80);
        EXPECT_EQ(reply.data_in[4], 51);
        EXPECT_EQ(text_of(reply.data_in, 8, 28), "ZEPA    QLX-K1          2081");
        EXPECT_EQ(text_of(reply.data_in, 36), volume.specific + std::string(20 - volume.specific.size(), ' '));
    }
    const struct {
        std::uint8_t allocation;
        std::uint32_t transfer;
        std::size_t sent;
    } lengths[] = {{36, 255, 36}, {255, 20, 20}, {0, 255, 0}};
    for (const auto& length : lengths) {
        const ScsiReply reply = inquiry('E', length.allocation, length.transfer);
        EXPECT_EQ(reply.status, 0);
        EXPECT_EQ(reply.transfer_length, length.sent);
        EXPECT_EQ(reply.data_in.size(), length.sent);
    }
    // A block with no data stage carries no direction: asking for nothing
    // that way is no fault, asking for data is.
    EXPECT_EQ(usb_->exchange('E', ScsiRequest{{0x12, 0, 0, 0, 0}, 6, false, 0, {}}).status, 0);
    expect_check(usb_->exchange('E', ScsiRequest{{0x12, 0, 0, 0, 36}, 6, false, 0, {}}), 0x05, 0x24);
    EXPECT_EQ(last().text("error"), "INQUIRY with no data-in stage");
    expect_check(inquiry('E', 255, 255, 1), 0x05, 0x24);
    EXPECT_EQ(last().text("error"), "INQUIRY for vital product data, which the reader does not offer");

    EXPECT_FALSE(usb_->volume('H'));
    set("volumes=H:ext,sd,");
    set("product=QLX-K2");
    EXPECT_FALSE(usb_->volume('E'));
    EXPECT_EQ(text_of(inquiry('h', 255, 255).data_in, 16, 6), "QLX-K2");
    const ScsiReply gone = usb_->exchange('E', ScsiRequest{{0x12, 0, 0, 0, 36}, 6, true, 36, {}});
    EXPECT_EQ(gone.call, Call::Fails);
    EXPECT_EQ(gone.error, 21u);
}

TEST_F(UsbStorageTest, EachCommandAnswersThroughItsPhases)
{
    set("media_state=01 02 03 04 05 06 07 08");
    const Bytes clock(28, 0x5A);
    const struct {
        std::uint8_t code;
        Bytes request;  // empty: a command with only its data-in exchange
        std::uint32_t asked;
        Bytes reply;
        std::string kept;  // a usb.conf line the command leaves
    } commands[] = {
        {3, le32(1), 4, le32(0), "connected=1"},
        {7, clock, 4, le32(0), "clock=5A" + repeated(" 5A", 27)},
        {8, le32(0), 8, {0x00, 0x00, 0x00, 0x40, 0, 0, 0, 0}, "free_space=1073741824"},
        {9, le32(2), 4, le32(0), "notices=1"},
        {10, {}, 12, {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, "notice=2"},
        {144, text("hello"), 8, {0, 1, 2, 3, 4, 5, 6, 7}, "command=none"},
        {144, text("hello"), 64, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, "command=none"},
    };
    for (const auto& command : commands) {
        SCOPED_TRACE(static_cast<int>(command.code));
        ScsiReply reply;
        if (command.request.empty()) {
            reply = vendor(command.code, 1, kIn, command.asked);
        } else {
            const ScsiReply taken = vendor(command.code, 1, kOut, 0, command.request);
            EXPECT_EQ(taken.status, 0);
            EXPECT_EQ(taken.transfer_length, command.request.size());
            EXPECT_FALSE(conf_has("command=none"));
            reply = vendor(command.code, 2, kIn, command.asked);
        }
        EXPECT_EQ(reply.status, 0);
        EXPECT_EQ(reply.data_in, command.reply);
        EXPECT_EQ(reply.transfer_length, command.reply.size());
        EXPECT_TRUE(conf_has(command.kept)) << conf();
        EXPECT_TRUE(conf_has("command=none"));
    }
    EXPECT_EQ(last().text("command"), "fingerprint");
    EXPECT_EQ(last().number("moved"), 16);

    // The version for any selector, cut to the length asked; the property block.
    EXPECT_EQ(text_of(vendor(1, 1, kIn, 8, {}, 'G', 7).data_in), "01000010");
    EXPECT_EQ(last().number("selector"), 7);
    EXPECT_EQ(text_of(vendor(1, 1, kIn, 4).data_in), "0100");
    const ScsiReply property = vendor(6, 1, kIn, 348);
    ASSERT_EQ(property.data_in.size(), 348u);
    EXPECT_EQ(text_of(property.data_in, 32, 7), std::string("QLX-K1\0", 7));
    EXPECT_EQ(property.data_in[84], 1);
    EXPECT_EQ(text_of(property.data_in, 92, 13), std::string("ebook reader\0", 13));
}

TEST_F(UsbStorageTest, GetInfoSendsItsTotalThenPiecesAndTakesTheAcknowledgement)
{
    set("info.log=" + std::string(5000, 'x'));
    struct Run {
        std::string query;
        std::vector<std::uint32_t> pieces;
        std::uint32_t total;
        std::int32_t not_fetched;
    };
    for (const Run& run :
         {Run{"log", {4096, 904}, 5000, 0}, Run{"log", {100}, 5000, 4900}, Run{"nothing here", {}, 0, 0}}) {
        SCOPED_TRACE(run.query);
        EXPECT_EQ(vendor(160, 1, kOut, 0, text(run.query)).status, 0);
        EXPECT_EQ(vendor(160, 3, kIn, 4).data_in, le32(run.total));
        for (const std::uint32_t piece : run.pieces) {
            const ScsiReply reply = vendor(160, 3, kIn, piece);
            EXPECT_EQ(reply.data_in, Bytes(piece, 'x'));
        }
        EXPECT_EQ(vendor(160, 2, kOut, 0, le32(static_cast<std::uint32_t>(run.not_fetched))).status, 0);
        EXPECT_EQ(last().number("not_fetched"), run.not_fetched);
        EXPECT_TRUE(conf_has("getinfo_ack=" + std::to_string(run.not_fetched)));
        EXPECT_TRUE(conf_has("command=none"));
    }
    // A reader with the older protocol does not know the command.
    set("version=01000000");
    expect_check(vendor(160, 1, kOut, 0, text("log")), 0x05, 0x20);
}

TEST_F(UsbStorageTest, RefusedExchangesAreJournaledAndEndTheCommandInProgress)
{
    struct Case {
        std::string name;
        ScsiRequest request;
        std::uint8_t sense_key, asc;
        std::string error;
    };
    const auto block = [](std::array<std::uint8_t, 16> cdb, bool in, Bytes out = {}, std::uint8_t length = 10) {
        return ScsiRequest{cdb, length, in, in ? 4u : static_cast<std::uint32_t>(out.size()), out};
    };
    const Case cases[] = {
        {"phase out of order", block({0x20, 0, 4, 0, 3}, true), 0x05, 0x2C,
         "unlock expects in phase 2, not in phase 3"},
        {"another command's reply", block({0x20, 0, 9, 0, 2}, true), 0x05, 0x2C,
         "begin_end in phase 2 while unlock is unfinished"},
        {"unknown code", block({0x20, 0, 99, 0, 1}, true), 0x05, 0x20, "unknown vendor command 99"},
        {"byte 1 set", block({0x20, 1, 4, 0, 2}, true), 0x05, 0x24, "byte 1 of the vendor block is 1, not 0"},
        {"selector on code 4", block({0x20, 0, 4, 0, 2, 1}, true), 0x05, 0x24,
         "byte 5 of the vendor block is 1, not 0"},
        {"phase code 4", block({0x20, 0, 4, 0, 4}, true), 0x05, 0x24, "phase code 4 in byte 4"},
        {"12-byte block", block({0x20, 0, 4, 0, 2}, true, {}, 12), 0x05, 0x24, "a vendor block of 12 bytes, not 10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(vendor(4, 1, kOut, 0, Bytes(8, 0)).status, 0);
        expect_check(usb_->exchange('E', c.request), c.sense_key, c.asc);
        EXPECT_EQ(last().text("error"), c.error);
        EXPECT_EQ(last().number("status"), 2);
        // The unlock was forgotten: its reply is out of order now.
        expect_check(vendor(4, 2, kIn, 4), 0x05, 0x2C);
        EXPECT_EQ(last().text("error"), "unlock in phase 2 with no command open");
    }
    expect_check(vendor(4, 1, kOut, 0, Bytes(4, 0)), 0x05, 0x1A);
    EXPECT_EQ(last().text("error"), "4 bytes where 8 belong");
    expect_check(vendor(6, 1, kOut, 0, Bytes(4, 0)), 0x05, 0x2C);
}

TEST_F(UsbStorageTest, TheDoorAndTheEjectOfTheGadgetLunBehindAVolume)
{
    // Volume F is LUN 1, with a medium; the gadget has no third LUN.
    vreader::GadgetContent gadget;
    gadget.luns.resize(2);
    gadget.luns[1].file = "/tmp/lun1";
    gadget.luns[1].device = "179:0";
    ASSERT_EQ(vreader::save_gadget(path_, gadget), 0);
    struct Step {
        char letter;
        std::array<std::uint8_t, 16> cdb;
        std::uint8_t sense_key, asc;  // 0, 0: GOOD
        std::string file_after;
        bool locked_after;
    };
    const Step steps[] = {
        {'F', {0x1E, 0, 0, 0, 1}, 0, 0, "/tmp/lun1", true},        // prevent
        {'F', {0x1B, 0, 0, 0, 2}, 0x05, 0x53, "/tmp/lun1", true},  // eject: removal prevented
        {'F', {0x1B, 0, 0, 0, 1}, 0, 0, "/tmp/lun1", true},        // start: the medium is there
        {'F', {0x1E, 0, 0, 0, 3}, 0x05, 0x24, "/tmp/lun1", true},
        {'F', {0x1E, 0, 0, 0, 0}, 0, 0, "/tmp/lun1", false},  // allow
        {'F', {0x1B, 0, 0, 0, 0}, 0, 0, "/tmp/lun1", false},  // stop, no eject
        {'F', {0x1B, 0, 0, 0, 6}, 0x05, 0x24, "/tmp/lun1", false},
        {'F', {0x1B, 1, 0, 0, 2}, 0, 0, "", false},            // eject (immediate)
        {'F', {0x1B, 0, 0, 0, 1}, 0x02, 0x3A, "", false},      // nothing to start
        {'F', {0x1B, 0, 0, 0, 2}, 0, 0, "", false},            // nothing to eject
        {'G', {0x1E, 0, 0, 0, 1}, 0x05, 0x25, "", false},      // no LUN
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(::testing::PrintToString(std::vector<int>(step.cdb.begin(), step.cdb.begin() + 6)));
        const ScsiReply reply = usb_->exchange(*usb_->volume(step.letter), ScsiRequest{step.cdb, 6, false, 0, {}});
        if (step.sense_key == 0)
            EXPECT_EQ(reply.status, 0);
        else
            expect_check(reply, step.sense_key, step.asc);
        if (step.asc == 0x53) {
            EXPECT_EQ(reply.sense[13], 0x02) << "medium removal prevented";
        }
        std::string why;
        ASSERT_TRUE(vreader::load_gadget(path_, gadget, why)) << why;
        EXPECT_EQ(gadget.luns[1].file, step.file_after);
        EXPECT_EQ(gadget.luns[1].prevent, step.locked_after);
    }
    const auto journal = testing_support::parse_journal(testing_support::read_file(path_ + "/journal.jsonl"));
    const auto ejected = std::count_if(journal.begin(), journal.end(), [](const testing_support::JsonLine& line) {
        return line.text("command") == "start_stop_unit" && line.has("ejected") && line.number("lun") == 1;
    });
    EXPECT_EQ(ejected, 1);
}

TEST_F(UsbStorageTest, CommandInProgressOutlivesTheProcessThatOpenedIt)
{
    ASSERT_EQ(vendor(3, 1, kOut, 0, le32(1)).status, 0);
    usb_.reset();
    reopen();
    EXPECT_EQ(vendor(3, 2, kIn, 4).data_in, le32(0));
    EXPECT_TRUE(conf_has("connected=1"));
    const auto line = last();
    EXPECT_EQ(line.text("device"), "usb");
    EXPECT_EQ(line.text("volume"), "E");
    EXPECT_EQ(line.text("command"), "connect");
    EXPECT_EQ(line.number("code"), 3);
    EXPECT_EQ(line.number("phase"), 2);
    EXPECT_EQ(line.text("direction"), "in");
    EXPECT_EQ(line.text("data_in"), "00 00 00 00");
}

TEST_F(UsbStorageTest, LockedReaderAnswersMinusFiveUntilTheRightCode)
{
    EXPECT_EQ(unlock("-1"), 0);
    set("locked=1");
    set("unlock_code=4321");
    EXPECT_EQ(unlock("-1"), -5);
    EXPECT_EQ(unlock("1234"), -5);
    EXPECT_TRUE(conf_has("locked=1"));
    EXPECT_EQ(unlock("4321"), 0);
    EXPECT_TRUE(conf_has("locked=0"));
    EXPECT_EQ(unlock("-1"), 0);
}

TEST_F(UsbStorageTest, FaultsHitAttemptsAndTheReaderSeesOnlyShortOnes)
{
    const struct {
        std::string fault;
        Call call;
        std::uint32_t error;
        std::uint8_t status;
    } effects[] = {
        {"usb:scsi check 1", Call::Done, 0, 2},
        {"usb:scsi_04 EIO 1", Call::Fails, 1117, 0},
        {"scsi fail 1", Call::Fails, 1117, 0},
        {"usb:scsi ETIMEDOUT 1", Call::Fails, 121, 0},
        {"usb:scsi_04 empty 1", Call::NothingReturned, 0, 0},
    };
    for (const auto& effect : effects) {
        SCOPED_TRACE(effect.fault);
        faults(effect.fault + "\n");
        const ScsiReply hit = vendor(4, 1, kOut, 0, Bytes(8, 0));
        EXPECT_EQ(hit.call, effect.call);
        EXPECT_EQ(hit.error, effect.error);
        EXPECT_EQ(hit.status, effect.status);
        EXPECT_TRUE(last().has("fault"));
        // The retry is the command's first exchange still.
        EXPECT_EQ(vendor(4, 1, kOut, 0, Bytes(8, 0)).status, 0);
        EXPECT_EQ(vendor(4, 2, kIn, 4).data_in, le32(0));
        EXPECT_EQ(testing_support::read_file(path_ + "/faults"), "");
    }

    // No answer to the reply twice; the third attempt gets it.
    faults("usb:reply_04 silent 2\nusb:reply lead:1 1\n");
    ASSERT_EQ(vendor(4, 1, kOut, 0, Bytes(8, 0)).status, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ScsiReply silent = vendor(4, 2, kIn, 4);
        EXPECT_EQ(silent.call, Call::Fails);
        EXPECT_EQ(silent.error, 121u);
    }
    EXPECT_EQ(vendor(4, 2, kIn, 4).data_in, le32(0));
    EXPECT_EQ(testing_support::read_file(path_ + "/faults"), "usb:reply lead:01 1\n");

    // Short: the reader answers (or takes) it all, half of it gets across.
    faults("usb:scsi_01 short 1\n");
    const ScsiReply half = vendor(1, 1, kIn, 8);
    EXPECT_EQ(text_of(half.data_in), "0100");
    EXPECT_EQ(half.transfer_length, 4u);
    faults("usb:scsi_04 short 1\n");
    expect_check(vendor(4, 1, kOut, 0, Bytes(8, 0)), 0x05, 0x1A);
    EXPECT_EQ(last().text("fault"), "short");
}

}  // namespace
