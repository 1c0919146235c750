// The vreader launcher, run as a user runs it.
#include "tests/support/process.hpp"

#include <gtest/gtest.h>

#ifdef VREADER_TEST_PNG
#include <png.h>
#endif

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

namespace {

using testing_support::ProcessResult;

class LauncherTest : public ::testing::Test {
protected:
    ProcessResult vreader(const std::vector<std::string>& arguments,
                          std::map<std::string, std::string> environment = {}, const std::string& input = {}) const
    {
        std::vector<std::string> command = testing_support::emulator_prefix();
        command.push_back(VREADER_EXECUTABLE);
        command.insert(command.end(), arguments.begin(), arguments.end());
        environment.emplace("VREADER_EMULATOR", READER_TEST_EMULATOR);
        return testing_support::run_process(command, environment, input);
    }

    // A reader created through the launcher.
    std::string reader(const std::vector<std::string>& options = {}) const
    {
        std::vector<std::string> arguments{"init", reader_};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const ProcessResult result = vreader(arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        return reader_;
    }

    testing_support::TempDir dir_;
    std::string reader_ = dir_.file("reader");
};

TEST_F(LauncherTest, HelpAndUsage)
{
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"help"}, {"init", "--help"}, {"help", "fail"}, {"run", "--help"}}) {
        const ProcessResult result = vreader(arguments);
        EXPECT_EQ(result.status, 0) << arguments.back();
        EXPECT_NE(result.out.find("usage: vreader"), std::string::npos) << arguments.back();
    }
    for (const auto& arguments :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"init"},
                                               {"state"},
                                               {"init", "a", "--screen", "0x10"},
                                               {"screenshot", "a", "b", "--memory", "--standby"}}) {
        const ProcessResult result = vreader(arguments);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_TRUE(result.out.empty());
        EXPECT_NE(result.err.find("usage: vreader"), std::string::npos) << result.err;
    }
}

TEST_F(LauncherTest, InitCreatesResetsAndRefuses)
{
    reader({"--screen", "32x24", "--stride-pad=4", "--graphics-node"});
    const std::string conf = testing_support::read_file(reader_ + "/reader.conf");
    EXPECT_NE(conf.find("panel_width=32\npanel_height=24\nstride_pad=4\ngraphics_node=yes\n"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(reader_ + "/panel.gray"), 32u * 24u);
    EXPECT_EQ(std::filesystem::file_size(reader_ + "/fb0.mem"), 4096u);  // (24 + 4) * 64 * 2, in whole pages

    ProcessResult result = vreader({"init", reader_});
    EXPECT_EQ(result.status, 125);
    EXPECT_NE(result.err.find("--force"), std::string::npos);
    testing_support::write_file(reader_ + "/journal.jsonl", "{}\n");
    ASSERT_EQ(vreader({"fail", reader_, "open", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"init", reader_, "--force"}).status, 0);
    EXPECT_EQ(testing_support::read_file(reader_ + "/journal.jsonl"), "");
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "");
    EXPECT_NE(testing_support::read_file(reader_ + "/reader.conf").find("panel_width=600\n"), std::string::npos);

    testing_support::write_file(dir_.file("notes.txt"), "mine");
    result = vreader({"init", dir_.path()});
    EXPECT_EQ(result.status, 125);
    EXPECT_EQ(testing_support::read_file(dir_.file("notes.txt")), "mine");
}

// Every entry under `root`, by relative path: its type, and a regular
// file's bytes.
std::map<std::string, std::string> tree_of(const std::string& root)
{
    namespace fs = std::filesystem;
    std::map<std::string, std::string> tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const fs::file_status status = entry.symlink_status();
        const std::string name = fs::relative(entry.path(), root).string();
        if (fs::is_regular_file(status))
            tree[name] = "file " + testing_support::read_file(entry.path().string());
        else
            tree[name] = fs::is_directory(status) ? "directory" : fs::is_fifo(status) ? "fifo" : "other";
    }
    return tree;
}

TEST_F(LauncherTest, InitForceGivesWhatANewDirectoryGets)
{
    const std::vector<std::string> options{"--emmc-size", "16M", "--touch-devices", "2"};
    const std::string fresh = dir_.file("fresh");
    std::vector<std::string> init{"init", fresh};
    init.insert(init.end(), options.begin(), options.end());
    ASSERT_EQ(vreader(init).status, 0);

    // A reader made otherwise, then used: every verb that leaves something.
    reader({"--emmc-size", "32M", "--touch-devices", "4", "--luns", "5", "--wifi", "eth7", "--no-modem",
            "--graphics-node"});
    const std::vector<std::vector<std::string>> uses{
        {"set", reader_, "tree.attached", "0"},
        {"set", reader_, "subcpu.update_mode", "1"},
        {"set", reader_, "panel.rts", "low"},
        {"set", reader_, "usb.locked", "1"},
        {"set", reader_, "lun0.prevent", "1"},
        {"set", reader_, "vcom", "1"},
        {"fail", reader_, "open", "EIO"},
        {"pastlog", reader_, "--generate", "3"},
        {"uevent", reader_, "--at-bind", "ACTION=add"},
    };
    for (const auto& use : uses)
        EXPECT_EQ(vreader(use).status, 0) << use[1] << " " << use[2];
    EXPECT_EQ(vreader({"tunnel", reader_, "--add", "-"}, {}, "GET / HTTP/1.1\r\n\r\n").status, 0);
    for (const char* left : {"ttymxc1.termios", "ttyUSB0.termios", "nodes.list", "standby.raw",
                             "ZEPA_EBOOK_QLX_STATE1.lock", "storage/documents/mine.txt", "partitions/X.img", "notes"})
        testing_support::write_file(reader_ + "/" + left, "left over");
    std::filesystem::create_directories(reader_ + "/sys/class/extra");

    init[1] = reader_;
    init.push_back("--force");
    ASSERT_EQ(vreader(init).status, 0);
    const auto reset = tree_of(reader_);
    const auto made = tree_of(fresh);
    for (const auto& [name, what] : made) {
        const auto found = reset.find(name);
        if (found == reset.end())
            ADD_FAILURE() << name << " is missing after the reset";
        else
            EXPECT_TRUE(found->second == what) << name << " differs after the reset";
    }
    for (const auto& [name, what] : reset)
        EXPECT_TRUE(made.count(name) != 0) << name << " is left after the reset";
}

TEST_F(LauncherTest, FaultsAreListedAndChecked)
{
    reader();
    EXPECT_EQ(vreader({"fail", reader_, "MXCFB_SEND_UPDATE", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "open", "13", "always"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "MXCFB_SEND_UPDATE", "ETIMEDOUT", "3"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "MXCFB_SEND_UPDATE ETIMEDOUT 3\nopen EACCES always\n");

    ProcessResult result = vreader({"fail", reader_, "MXCFB_FROB", "EIO"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("MXCFB_SET_PANEL_INIT_FLAG"), std::string::npos);
    EXPECT_EQ(vreader({"fail", reader_, "open", "EWHATEVER"}).status, 2);
    EXPECT_EQ(vreader({"fail", reader_, "open", "EIO", "0"}).status, 2);
    EXPECT_EQ(vreader({"fail", dir_.path(), "open", "EIO"}).status, 125);

    // Scoped to a device, and effects other than an errno.
    EXPECT_EQ(vreader({"fail", reader_, "mmcblk2:read", "short"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "mmcblk2:write", "lost", "2"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "fb0:read", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "ttymxc1:read", "EIO", "1", "--after", "2"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "reply_1E", "split:3", "always"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out,
              "MXCFB_SEND_UPDATE ETIMEDOUT 3\nopen EACCES always\nmmcblk2:read short 1\nmmcblk2:write lost 2\n"
              "fb0:read EIO 1\nttymxc1:read EIO 1 after 2\nreply_1E split:3 always\n");
    for (const auto& good : std::vector<std::vector<std::string>>{
             {"event1:read", "short"}, {"ttyGS0:tcsetattr", "EIO"}, {"tcgetattr", "ENOTTY"}, {"net:read", "EIO"}})
        EXPECT_EQ(vreader({"fail", reader_, good[0], good[1]}).status, 0) << good[0] << " " << good[1];
    // Faults that no request could ever fire.
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"mmcblk7:read", "EIO"}, {"open", "short"}, {"read", "lost"}, {"mmc-2:read", "EIO"},
             {"reply", "EIO"}, {"read", "split:2"}, {"reply_1E", "split:1"}, {"reply_XX", "silent"},
             {"event2:read", "EIO"}, {"event01:read", "EIO"}, {"net:write", "lost"}, {"net:read", "short"},
             {"uevent:write", "EIO"}, {"log_past:write", "lost"}, {"tcsetattr", "short"}})
        EXPECT_EQ(vreader({"fail", reader_, bad[0], bad[1]}).status, 2) << bad[0] << " " << bad[1];
    EXPECT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "");
}

// A fault is checked against what the device it names (or, with none, any
// device) journals and can do: one that could never fire is refused, with
// what the device or the request takes.
TEST_F(LauncherTest, FaultsThatCouldNeverFireAreRefusedWithWhatTheDeviceTakes)
{
    reader();
    const struct {
        std::string request, effect, said;
    } rows[] = {
        {"ttymxc1:reply", "sum:5", "ttymxc1:reply takes silent, split:N, lead:B, code:B, len:N or result:B"},
        {"sub_cpu:reply", "split:3", "sub_cpu:reply takes silent, lead:B, code:B, len:N, result:B or sum:B"},
        {"ttymxc1:flash", "corrupt", "ttymxc1 takes no flash; it takes open, close, read, write, tcgetattr,"},
        {"sub_cpu:TIOCMGET", "EIO", "sub_cpu takes no TIOCMGET; it takes open, close, read, write, reply,"},
        {"ttymxc1:reply_F0", "silent", "ttymxc1 answers no command F0: its reply_XX has XX 00 01 03 0A 0E 0F 1B 1E"},
        {"ttymxc1:reply_04", "silent", "ttymxc1 answers no command 04"},  // touch start streams reports
        {"reply_ff", "silent", "no device answers command FF: ttymxc1 answers 00 01 03"},
        {"reply_1E", "sum:1", "reply_1E takes silent, split:N, lead:B, code:B, len:N or result:B"},
        {"usb:scsi_ff", "check", "usb answers no command FF"},
        {"fb0:fsync", "EIO", "fb0 takes no fsync"},
        {"fb0:fstat", "EIO", "fb0 takes no fstat"},
        {"ttymxc1:poll", "EIO", "ttymxc1 takes no poll"},
        {"mmcblk2:MXCFB_SEND_UPDATE", "EIO", "mmcblk2 takes no MXCFB_SEND_UPDATE"},
        {"ttyGS0:TIOCMGET", "EIO", "ttyGS0 takes no TIOCMGET"},
        {"control_mode:lseek", "EIO", "control_mode takes no lseek"},
        {"melgrin:read", "EIO", "melgrin takes no read; it takes open, close, PASTLOG_FLUSH"},
        {"sub_cpu:reply", "lead:1EE", "'lead' takes :B, a byte in hexadecimal"},
        {"ttymxc2:read", "EIO", "this reader has no device 'ttymxc2'; its devices are fb0, ttymxc1,"},
    };
    for (const auto& row : rows) {
        const ProcessResult result = vreader({"fail", reader_, row.request, row.effect});
        EXPECT_EQ(result.status, 2) << row.request << " " << row.effect;
        EXPECT_NE(result.err.find(row.said), std::string::npos) << result.err;
    }
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "");
}

// A command code and a byte value mean one thing however they are written;
// the faults file keeps the spelling the devices look for.
TEST_F(LauncherTest, FaultSpellingsMeanOneFault)
{
    reader();
    const struct {
        std::string request, effect, listed;
    } rows[] = {
        {"usb:scsi_a0", "check", "usb:scsi_A0 check 1\n"},
        {"reply_1e", "silent", "reply_1E silent 1\n"},
        {"sub_cpu:reply_f0", "silent", "sub_cpu:reply_F0 silent 1\n"},
        {"reply_1E", "lead:EE", "reply_1E lead:EE 1\n"},
        {"reply_1E", "lead:0xEE", "reply_1E lead:EE 1\n"},
        {"reply_1e", "lead:ee", "reply_1E lead:EE 1\n"},
        {"reply_0E", "code:F", "reply_0E code:0F 1\n"},
        {"reply_02", "result:31", "reply_02 result:31 1\n"},
        {"sub_cpu:reply_F0", "sum:0xf4", "sub_cpu:reply_F0 sum:F4 1\n"},
        {"reply_1E", "len:40", "reply_1E len:40 1\n"},  // a length is a number
        {"reply_1E", "len:0x28", "reply_1E len:40 1\n"},
    };
    for (const auto& row : rows) {
        ASSERT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
        const ProcessResult result = vreader({"fail", reader_, row.request, row.effect});
        EXPECT_EQ(result.status, 0) << row.request << " " << row.effect << ": " << result.err;
        EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, row.listed);
    }
    // The lower-case code and the bare hexadecimal byte reach the panel's reply.
    ASSERT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
    ASSERT_EQ(vreader({"fail", reader_, "reply_0a", "lead:ef"}).status, 0);
    const ProcessResult run = vreader({"run", reader_, "probe", "tty"}, {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string journal = vreader({"journal", reader_}).out;
    EXPECT_NE(journal.find("\"request\":\"panel_reply\",\"code\":10,\"bytes\":\"EF"), std::string::npos) << journal;
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "");
}

// The help names every effect a fault can have.
TEST_F(LauncherTest, FailHelpListsEveryEffect)
{
    const std::string help = vreader({"fail", "--help"}).out;
    for (const char* effect : {"ERRNO", "short", "lost", "reject", "corrupt", "check", "empty", "fail", "silent",
                               "split:N", "lead:B", "code:B", "result:B", "len:N", "sum:B"})
        EXPECT_NE(help.find(std::string("\n  ") + effect), std::string::npos) << effect;
}

TEST_F(LauncherTest, StateAndSet)
{
    reader();
    EXPECT_EQ(vreader({"set", reader_, "vcom", "2100000"}).status, 0);
    EXPECT_EQ(vreader({"set", reader_, "pmic_temperature", "-12"}).status, 0);
    EXPECT_EQ(vreader({"set", reader_, "wf_version", "00112233445566778899"}).status, 0);
    EXPECT_EQ(vreader({"set", reader_, "wf_version", "0011"}).status, 2);
    EXPECT_EQ(vreader({"set", reader_, "rotate", "1"}).status, 2);
    const ProcessResult result = vreader({"state", reader_});
    EXPECT_EQ(result.status, 0);
    for (const char* line : {"xres_virtual=608\n", "smem_len=1945600\n", "vcom=2100000\n", "pmic_temperature=-12\n",
                             "wf_version=00112233445566778899\n", "standby=no\n", "rotate=0\n",
                             "emmc_size=4294967296\nemmc_unit=2\nemmc_nodes=both\nboot_env=normal\n"})
        EXPECT_NE(result.out.find(line), std::string::npos) << line;
    EXPECT_EQ(vreader({"set", reader_, "boot_env", "recovery"}).status, 0);
    EXPECT_NE(vreader({"state", reader_}).out.find("boot_env=recovery\n"), std::string::npos);
    EXPECT_EQ(vreader({"set", reader_, "boot_env", "default"}).status, 2);
}

// The value of `line` in `state`, or "(no line)".
std::string state_line(const std::string& state, const std::string& line)
{
    for (const std::string& text : testing_support::split_lines(state))
        if (text.starts_with(line + "="))
            return text.substr(line.size() + 1);
    return "(no line)";
}

// Whether `word` is one of `text`'s blank-parted words, or a run of them.
bool has_words(const std::string& text, const std::string& word)
{
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        if ((at == 0 || text[at - 1] == ' ') && (at + word.size() == text.size() || text[at + word.size()] == ' '))
            return true;
    return false;
}

TEST_F(LauncherTest, StateShowsEveryKeyAsSetTakesIt)
{
    reader();
    const std::string clock = "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B";
    const std::string head =
        "AA BB 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
        "00 00 01";
    // KEY VALUE, then the state line that shows it: VALUE as its whole
    // value, or `words` among its words (VALUE with the key's part of the
    // line). In order: later keys build on earlier ones.
    const struct {
        const char* key;
        std::string value;
        const char* line;
        std::string words = {};
    } cases[] = {
        {"pmic_temperature", "-12", "pmic_temperature"},
        {"vcom", "2100000", "vcom"},
        {"wf_version", "00112233445566778899", "wf_version"},
        {"boot_env", "recovery", "boot_env"},
        {"block.mmcblk2p4", "0", "block_removed", "mmcblk2p4"},
        {"panel.version", "1 2 3 4", "panel_version"},
        {"panel.active", "1", "panel_active"},
        {"panel.scanning_counter", "77", "panel_scanning_counter"},
        {"panel.config", "1", "panel_config"},
        {"panel.scanning_freq", "1 2 3", "panel_scanning_freq"},
        {"panel.resolution", "640 480", "panel_resolution"},
        {"panel.active_leds", "1 2 3 4", "panel_active_leds"},
        {"panel.max_area", "3 4", "panel_max_area"},
        {"panel.light_counts", "10 20", "panel_light_counts"},
        {"panel.light.1F", "10 20 30 / 40 50", "panel_light.1F"},
        {"panel.led.0E", "33 34 / 35", "panel_led.0E"},
        {"panel.led.1B", "1 / 2", "panel_led.1B"},
        {"panel.touch", "EE 06 04 01 2C 01 90 01", "panel_touch"},
        {"panel.rts", "low", "panel_rts"},
        {"subcpu.update_mode", "1", "subcpu_update_mode"},
        {"subcpu.active_cluster", "1", "subcpu_active_cluster"},
        {"subcpu.boot_cluster", "1", "subcpu_boot_cluster"},
        {"subcpu.version_self", "20200131_7", "subcpu_version_self"},
        {"subcpu.control_mode", "update", "control_mode"},
        {"charger.30", "0x29", "charger", "30:0x29"},
        {"charger.05", "0x7F", "charger", "05:0x7F"},
        {"usb.vendor", "ACME", "usb_identity", "ACME"},
        {"usb.product", "QLX-K2", "usb_identity", "QLX-K2"},
        {"usb.revision", "3001", "usb_identity", "3001"},
        {"usb.volumes", "E:emb, H:ext,sd,", "usb_volumes"},
        {"usb.locked", "1", "usb_locked"},
        {"usb.unlock_code", "4321", "usb_unlock_code"},
        {"usb.version", "01000000", "usb_version"},
        {"usb.connected", "1", "usb_connected"},
        {"usb.clock", clock, "usb_clock"},
        {"usb.notice", "7", "usb_notice"},
        {"usb.notices", "9", "usb_notices"},
        {"usb.free_space", "4096", "usb_free_space"},
        {"usb.media_state", "01 02 03 04 05 06 07 08", "usb_media_state"},
        {"usb.property_head", head, "usb_property_head"},
        {"usb.device_type", "QLX-K9", "usb_device_type"},
        {"usb.property_entry", "reader two", "usb_property_entry"},
        {"usb.fingerprint", "01 02 03", "usb_fingerprint"},
        {"usb.info.serial", "X 1", "usb_info.serial"},
        {"usb.getinfo_ack", "-3", "usb_getinfo_ack"},
        {"usb.update_mode", "1", "usb_update_mode"},
        {"usb.file_status", "-204", "usb_file_status"},
        {"usb.tunnel_status", "-1", "usb_tunnel_status"},
        {"usb.command", "6", "usb_command", "6"},
        {"usb.command_step", "2", "usb_command", "after 2 exchanges"},
        {"usb.command_reply", "0A 0B", "usb_command_reply"},
        {"usb.command_sent", "1", "usb_command_sent"},
        {"usb.command_target", "documents/readme.txt", "usb_command_target"},
        {"usb.command_position", "5", "usb_command_position"},
        {"usb.command_length", "9", "usb_command_length"},
        {"usb.command_moved", "3", "usb_command_moved"},
        {"usb.command_status", "-5", "usb_command_status"},
        {"usb.command_stage", "1", "usb_command_stage"},
        {"usb.command", "none", "usb_command"},
        {"usb.clock", "none", "usb_clock"},
        {"tree.disk_number", "2", "usb_tree", "disk_number=2"},
        {"tree.removable", "0", "usb_tree", "removable=0"},
        {"tree.volume_busy", "1", "usb_tree", "volume_busy=1"},
        {"tree.eject", "veto", "usb_tree", "eject=veto"},
        {"tree.attached", "0", "usb_tree", "attached=0"},
        {"tree.ejects", "4", "usb_tree", "ejects=4"},
        {"modem.present", "0", "modem_present"},
        {"modem.meid", "A1000012345678", "modem_meid"},
        {"modem.psn", "QK1NB000001", "modem_psn"},
        {"modem.echo", "on", "modem_echo"},
        {"modem.blank_lines", "on", "modem_blank_lines"},
        {"modem.meid_answer", "cme_error", "modem_meid_answer"},
        {"modem.psn_answer", "silent", "modem_psn_answer"},
        {"modem.handshake_errors", "3", "modem_handshake_errors"},
        {"modem.handshake_errors", "always", "modem_handshake_errors"},
        {"modem.delivery", "bytes", "modem_delivery"},
        {"net.wlan0.mac", "0A:1B:2C:3D:4E:5F", "net.wlan0", "0A:1B:2C:3D:4E:5F"},
        {"net.wlan0.appears_after", "3", "net.wlan0", "appears_after=3"},
        {"net.wlan0", "none", "net"},
        {"luns", "4", "gadget_luns"},
        {"lun0.ro", "1", "lun0", "ro=1"},
        {"lun0.prevent", "1", "lun0", "prevent=1"},
        {"lun1.file", "/tmp/disk.img", "lun1", "/tmp/disk.img"},
        {"lun1.sectors", "390", "lun1", "390 sectors"},
        {"lun2.file", "/tmp/lun2", "lun2", "/tmp/lun2"},
        {"lun2.device", "179:68", "lun2", "179:68"},
        {"usb_modules", "ehci-hcd g_android", "usb_modules"},
    };
    for (const auto& c : cases) {
        const ProcessResult set = vreader({"set", reader_, c.key, c.value});
        ASSERT_EQ(set.status, 0) << c.key << " " << c.value << ": " << set.err;
        const std::string shown = state_line(vreader({"state", reader_}).out, c.line);
        if (c.words.empty())
            EXPECT_EQ(shown, c.value) << "set " << c.key << " " << c.value;
        else
            EXPECT_TRUE(has_words(shown, c.words))
                << "set " << c.key << " " << c.value << ": " << c.line << "=" << shown;
    }
}

TEST_F(LauncherTest, UsbSideIsShownSetAndFaulted)
{
    reader();
    EXPECT_NE(testing_support::read_file(reader_ + "/usb.conf").find("\nversion=01000010\n"), std::string::npos);
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"usb.locked", "1"}, {"usb.volumes", "e:emb, h:ext,sd,"}, {"usb.info.serial", "X 1"}})
        EXPECT_EQ(vreader({"set", reader_, key, value}).status, 0) << key;
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"usb.locked", "2"}, {"usb.version", "0100001"}, {"usb.volumes", "E:emb, E:ext,sd,"},
             {"usb.unlock_code", "12345678"}, {"usb.frob", "1"}})
        EXPECT_EQ(vreader({"set", reader_, key, value}).status, 2) << key;
    const std::string state = vreader({"state", reader_}).out;
    for (const char* line : {"usb_volumes=E:emb, H:ext,sd,\n", "usb_identity=ZEPA QLX-K1 2081\n", "usb_locked=1\n",
                             "usb_version=01000010\n", "usb_clock=none\n", "usb_command=none\n"})
        EXPECT_NE(state.find(line), std::string::npos) << line;

    for (const std::string fault : {"usb:scsi", "usb:scsi_A0", "scsi_04"})
        EXPECT_EQ(vreader({"fail", reader_, fault, "check"}).status, 0) << fault;
    EXPECT_EQ(vreader({"fail", reader_, "usb:reply_04", "silent", "10"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "usb:scsi", "fail", "2"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out,
              "usb:scsi EIO 2\nusb:scsi_A0 check 1\nscsi_04 check 1\nusb:reply_04 silent 10\n");
    for (const auto& bad : std::vector<std::vector<std::string>>{{"usb:reply", "lead:1"}, {"usb:read", "EIO"},
                                                                  {"fb0:scsi", "check"}, {"read", "check"},
                                                                  {"usb:scsi_4", "check"}, {"usb:scsi", "silent"}})
        EXPECT_EQ(vreader({"fail", reader_, bad[0], bad[1]}).status, 2) << bad[0] << " " << bad[1];
}

TEST_F(LauncherTest, TunnelQueueAndUpdatePartitionsAreShown)
{
    reader();
    EXPECT_EQ(vreader({"tunnel", reader_}).out.substr(0, 27), "request 000001.request 167 ");
    testing_support::write_file(dir_.file("post.http"), "POST /sync HTTP/1.1\r\n\r\n");
    EXPECT_EQ(vreader({"tunnel", reader_, "--add", dir_.file("post.http")}).out, "queued 000002.request (23 bytes)\n");
    EXPECT_EQ(vreader({"tunnel", reader_, "--add", "-"}, {}, "GET /\r\n").out, "queued 000003.request (7 bytes)\n");
    EXPECT_EQ(testing_support::read_file(reader_ + "/tunnel/000003.request"), "GET /\r\n");
    testing_support::write_file(reader_ + "/tunnel/responses/000001.response", "HTTP/1.1 200 OK\r\n");
    const std::string listed = vreader({"tunnel", reader_}).out;
    EXPECT_NE(listed.find("\nrequest 000002.request 23 POST /sync HTTP/1.1\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\nresponse 000001.response 17 HTTP/1.1 200 OK\n"), std::string::npos) << listed;
    EXPECT_EQ(vreader({"tunnel", reader_, "--add"}).status, 2);
    EXPECT_EQ(vreader({"tunnel", reader_, "--add", dir_.file("missing")}).status, 125);

    testing_support::write_file(reader_ + "/partitions/boot.conf",
                                "first=1\nsecond=2\nthird=3\nimage=yes\ntag=v1\nextra=none\nannounced=4\n");
    testing_support::write_file(reader_ + "/partitions/boot.img", "abcd");
    EXPECT_EQ(vreader({"set", reader_, "usb.update_mode", "1"}).status, 0);
    EXPECT_EQ(vreader({"set", reader_, "usb.update_mode", "2"}).status, 2);
    std::string state = vreader({"state", reader_}).out;
    for (const char* line : {"\nusb_update_mode=1\n", "\nusb_tunnel_queued=3\nusb_tunnel_responses=1\n",
                             "\nusb_partition.boot=first=1 second=2 third=3 image=yes tag=v1 extra=no announced=4 "
                             "bytes=4\n"})
        EXPECT_NE(state.find(line), std::string::npos) << line << state;
    EXPECT_EQ(vreader({"tunnel", reader_, "--clear"}).status, 0);
    EXPECT_EQ(vreader({"tunnel", reader_}).out, "");
}

TEST_F(LauncherTest, NetworkInterfacesAreMadeShownSetAndFaulted)
{
    reader({"--wifi", "wl0"});
    const auto state = [&] { return vreader({"state", reader_}).out; };
    EXPECT_NE(state().find("\nnet.wl0=06:3F:A2:91:5C:E7 appears_after=0\n"), std::string::npos) << state();
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"net.wl0.appears_after", "3"}, {"net.eth0.100.mac", "0a:1b:2c:3d:4e:5f"}})
        EXPECT_EQ(vreader({"set", reader_, key, value}).status, 0) << key;
    EXPECT_NE(state().find("\nnet.wl0=06:3F:A2:91:5C:E7 appears_after=3\nnet.eth0.100=0A:1B:2C:3D:4E:5F "
                           "appears_after=0\n"),
              std::string::npos)
        << state();
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"net.wl0.mac", "06:3F:A2:91:5C"}, {"net.wl0.mac", "none"}, {"net.wl1.appears_after", "1"},
             {"net.wl0.appears_after", "1.5"}, {"net.a/b.mac", "0a:1b:2c:3d:4e:5f"}, {"net.wl0.speed", "1"},
             {"net.abcdefghijklmnop.mac", "0a:1b:2c:3d:4e:5f"}})
        EXPECT_EQ(vreader({"set", reader_, key, value}).status, 2) << key << " " << value;
    EXPECT_EQ(vreader({"set", reader_, "net.wl0", "none"}).status, 0);
    EXPECT_EQ(vreader({"set", reader_, "net.eth0.100", "none"}).status, 0);
    EXPECT_NE(state().find("\nnet=none\n"), std::string::npos);
    EXPECT_EQ(vreader({"init", dir_.file("other"), "--wifi", "a:b"}).status, 2);

    EXPECT_EQ(vreader({"fail", reader_, "net:SIOCGIFHWADDR", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "socket", "EMFILE", "always"}).status, 0);
    for (const auto& bad : std::vector<std::vector<std::string>>{
             {"fb0:SIOCGIFHWADDR", "EIO"}, {"net:MXCFB_SEND_UPDATE", "EIO"}, {"SIOCGIFHWADDR", "short"}})
        EXPECT_EQ(vreader({"fail", reader_, bad[0], bad[1]}).status, 2) << bad[0];
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "net:SIOCGIFHWADDR EIO 1\nsocket EMFILE always\n");
}

TEST_F(LauncherTest, ModemIsShownSetAndFaulted)
{
    reader();
    const auto state = [&] { return vreader({"state", reader_}).out; };
    EXPECT_NE(state().find("\nmodem_present=1\nmodem_meid=A100004A7C2E91\nmodem_psn=QK1NB405174\nmodem_echo=off\n"),
              std::string::npos)
        << state();
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"modem.meid", "A0000012345678"}, {"modem.psn_answer", "cme_error"}, {"modem.handshake_errors", "always"},
             {"modem.delivery", "bytes"}, {"modem.present", "0"}})
        EXPECT_EQ(vreader({"set", reader_, key, value}).status, 0) << key;
    for (const char* line : {"\nmodem_present=0\n", "\nmodem_meid=A0000012345678\n", "\nmodem_psn_answer=cme_error\n",
                             "\nmodem_handshake_errors=always\n", "\nmodem_delivery=bytes\n"})
        EXPECT_NE(state().find(line), std::string::npos) << line;
    for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"modem.echo", "yes"}, {"modem.meid_answer", "maybe"}, {"modem.present", "2"},
             {"modem.handshake_errors", "-1"}, {"modem.speed", "1"}, {"modem.psn", std::string(65, '1')}})
        EXPECT_EQ(vreader({"set", reader_, key, value}).status, 2) << key;
    // A reader without a modem has no device to fault.
    EXPECT_EQ(vreader({"fail", reader_, "ttyUSB0:read", "EIO"}).status, 2);
    EXPECT_EQ(vreader({"set", reader_, "modem.present", "1"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "ttyUSB0:read", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "ttyUSB0:reply", "split:4", "always"}).status, 0);
    for (const auto& bad :
         std::vector<std::vector<std::string>>{{"ttyUSB0:reply", "lead:1"}, {"ttyUSB0:reply_41", "silent"}})
        EXPECT_EQ(vreader({"fail", reader_, bad[0], bad[1]}).status, 2) << bad[1];
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "ttyUSB0:read EIO 1\nttyUSB0:reply split:4 always\n");

    EXPECT_EQ(vreader({"init", dir_.file("none"), "--no-modem"}).status, 0);
    EXPECT_NE(testing_support::read_file(dir_.file("none") + "/reader.conf").find("\nmodem=no\n"), std::string::npos);
}

TEST_F(LauncherTest, TableDumpAndPutReachTheEmmcAreas)
{
    reader({"--emmc-size", "32M", "--emmc-unit", "0", "--emmc-nodes", "block"});
    ProcessResult result = vreader({"table", reader_});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("Recovery Boot Env    0x00640000   0x00020000   0x00660000\n"), std::string::npos);
    EXPECT_NE(result.out.find("eMMC: 32M, /dev/block/mmcblk0; mmc_dev_no: 0\n"), std::string::npos) << result.out;

    testing_support::write_file(dir_.file("wf"), "WAVEFORM");
    EXPECT_EQ(vreader({"put", reader_, "waveform", dir_.file("wf")}).out,
              "8 bytes into 'Waveform Data' at 0x00100000\n");
    result = vreader({"dump", reader_, "Waveform Data", "--length", "32"});
    EXPECT_EQ(result.out,
              "00000000  57 41 56 45 46 4f 52 4d  00 00 00 00 00 00 00 00  |WAVEFORM........|\n"
              "00000010  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  |................|\n"
              "00000020\n");
    EXPECT_EQ(vreader({"dump", reader_, "id", "--raw", dir_.file("id.bin")}).status, 0);
    EXPECT_EQ(std::filesystem::file_size(dir_.file("id.bin")), 0x20000u);

    testing_support::write_file(dir_.file("big"), std::string(0x20001, 'x'));
    EXPECT_EQ(vreader({"put", reader_, "id", dir_.file("big")}).status, 125);
    EXPECT_EQ(vreader({"dump", reader_, "boot env", "--length", "4"}).out.substr(10, 11), "62 6f 6f 74");
    EXPECT_NE(vreader({"dump", reader_, "env"}).err.find("no area is named 'env'"), std::string::npos);
    EXPECT_EQ(vreader({"init", dir_.file("small"), "--emmc-size", "1M"}).status, 2);
}

TEST_F(LauncherTest, DumpShowsTheIdentityAreaFieldByField)
{
    reader();
    const ProcessResult result = vreader({"dump", reader_, "id", "--fields"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(testing_support::split_lines(result.out).size(), 11u);
    EXPECT_TRUE(result.out.starts_with("product_name      0x0000     16  \"QLX-K1\"\n"
                                       "sku_name          0x0010     16  \"QLX-K1-WW-BK\"\n"))
        << result.out;
    EXPECT_NE(result.out.find("wifi_mac_address  0x0100      6  ff ff ff ff ff ff (erased)\n"), std::string::npos);
    for (const auto& bad : std::vector<std::vector<std::string>>{{"waveform", "--fields"},
                                                                  {"id", "--fields", "--length", "4"},
                                                                  {"id", "--fields", "--raw", dir_.file("x")}}) {
        std::vector<std::string> arguments{"dump", reader_};
        arguments.insert(arguments.end(), bad.begin(), bad.end());
        EXPECT_EQ(vreader(arguments).status, 2) << bad[0] << " " << bad.back();
    }
}

TEST_F(LauncherTest, RunExecutesTheVirtualProgram)
{
    reader();
    const std::map<std::string, std::string> programs{{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}};
    // A relative reader directory reaches the program as an absolute path.
    std::vector<std::string> command = testing_support::emulator_prefix();
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    ProcessResult result = vreader({"run", "reader", "probe", "7", "--help"}, programs);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(result.status, 7) << result.err;
    EXPECT_EQ(result.out, "xres=600 dir=" + reader_ + " args=7,--help\n");
    EXPECT_EQ(result.err, "probe done\n");
    EXPECT_NE(testing_support::read_file(reader_ + "/journal.jsonl").find("FBIOGET_VSCREENINFO"), std::string::npos);

    // Standard input reaches the program.
    std::vector<std::string> with_input = testing_support::emulator_prefix();
    for (const std::string word : {VREADER_EXECUTABLE, "run", reader_.c_str(), "probe", "stdin"})
        with_input.push_back(word);
    result = testing_support::run_process(
        with_input, {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}, {"VREADER_EMULATOR", READER_TEST_EMULATOR}},
        "0a1b2\n");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(result.out.ends_with("args=stdin\nstdin=0a1b2\n")) << result.out;

    result = vreader({"run", reader_, "nonexistent"}, programs);
    EXPECT_EQ(result.status, 127);
    EXPECT_NE(result.err.find("available programs: probe"), std::string::npos) << result.err;
    EXPECT_EQ(vreader({"run", reader_, "../probe"}, programs).status, 2);
    EXPECT_EQ(vreader({"run", dir_.path(), "probe"}, programs).status, 125);
}

// --at N fails exactly the Nth journaled request of the next run, whatever it
// is, or, when that one cannot take the effect, none and says so; the run
// takes the fault, so the one after it runs clean.
TEST_F(LauncherTest, AtFailsTheNthRequestOfTheNextRun)
{
    reader();
    const std::map<std::string, std::string> programs{{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}};
    struct Row {
        std::string at, effect;
        int status;           // of the probe: 99 when it cannot read the screen
        std::string injected;  // the request journaled with "injected":true
        std::string mode = {};  // the probe's argument
        bool refused = false;   // request N cannot take the effect
    };
    // With "tty" the probe's requests 4 to 10 are the UART's open, tcgetattr,
    // tcsetattr, write, the panel_request and panel_reply lines, and close.
    const Row rows[] = {
        {"1", "ENODEV", 99, "open"},
        {"2", "EIO", 99, "FBIOGET_VSCREENINFO"},
        {"3", "EBADF", 0, "close"},
        {"9", "EIO", 0, ""},                 // the probe makes three requests
        {"1", "short", 0, "", "", true},     // none of them moves data
        {"5", "EIO", 0, "tcgetattr", "tty"},
        {"6", "ENOTTY", 0, "tcsetattr", "tty"},
        {"8", "EIO", 0, "", "tty", true},    // a line the panel's model adds
        {"5", "short", 0, "", "tty", true},  // not the write after it
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.at + " " + row.effect + " " + row.mode);
        ASSERT_EQ(vreader({"journal", reader_, "--clear"}).status, 0);
        ASSERT_EQ(vreader({"fail", reader_, "--at", row.at, row.effect}).status, 0);
        EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "at " + row.at + " " + row.effect + "\n");
        const ProcessResult run = vreader({"run", reader_, "probe", row.mode}, programs);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_EQ(run.err.find("injected nothing") != std::string::npos, row.refused) << run.err;
        const std::string journal = vreader({"journal", reader_}).out;
        const auto injected = journal.find("\"injected\":true");
        if (row.injected.empty()) {
            EXPECT_EQ(injected, std::string::npos) << journal;
        } else {
            const auto line_start = journal.rfind('\n', injected) + 1;
            EXPECT_NE(journal.find("\"seq\":" + row.at + ",\"request\":\"" + row.injected + "\"", line_start),
                      std::string::npos)
                << journal;
        }
        EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "") << row.at;
        EXPECT_EQ(vreader({"run", reader_, "probe"}, programs).status, 0) << row.at;
    }
    // A new --at replaces the one set; other faults stay beside it.
    EXPECT_EQ(vreader({"fail", reader_, "--at", "4", "EIO"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "mmcblk2:read", "short"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--at", "2", "5"}).status, 0);
    EXPECT_EQ(vreader({"fail", reader_, "--list"}).out, "at 2 EIO\nmmcblk2:read short 1\n");
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--at", "0", "EIO"}, {"--at", "x", "EIO"}, {"--at", "3", "lost"},
          {"--at", "3", "EWHATEVER"}, {"--at", "3"}, {"--at", "3", "EIO", "2"}}) {
        std::vector<std::string> arguments{"fail", reader_};
        arguments.insert(arguments.end(), bad.begin(), bad.end());
        EXPECT_EQ(vreader(arguments).status, 2) << bad[1];
    }
}

// A run that ends with an "at" fault not reached, or a counted fault set
// when it started with firings left, says so after the program, one line
// each, and keeps the program's status.
TEST_F(LauncherTest, ARunSaysWhichFaultsItLeftUnfired)
{
    reader();
    const std::map<std::string, std::string> programs{{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}};
    struct Row {
        std::vector<std::vector<std::string>> faults;
        std::string mode;  // the probe's argument
        int status;
        std::string said;  // after the probe's own standard error
    };
    // The probe opens fb0, asks it FBIOGET_VSCREENINFO and closes it.
    const Row rows[] = {
        {{{"--at", "999", "EIO"}}, "", 0, "vreader run: 'at 999 EIO' left unfired: the run ended before its request 999\n"},
        {{{"--at", "2", "EIO"}}, "", 99, ""},
        {{{"--at", "3", "EIO"}}, "none", 0,
         "vreader run: 'at 3 EIO' left unfired: the program made no request; it stays set for the next run\n"},
        {{{"ttymxc1:read", "EIO", "2", "--after", "1"}, {"fb0:close", "EIO", "3"}}, "", 0,
         "vreader run: fault 'ttymxc1:read EIO' left unfired: 2 of 2 still to fire, after 1 more pass\n"
         "vreader run: fault 'fb0:close EIO' left unfired: 2 of 3 still to fire\n"},
        {{{"fb0:close", "EIO"}, {"mmcblk2:read", "EIO", "always"}}, "", 0, ""},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
        for (const auto& fault : row.faults) {
            std::vector<std::string> arguments{"fail", reader_};
            arguments.insert(arguments.end(), fault.begin(), fault.end());
            ASSERT_EQ(vreader(arguments).status, 0) << fault[0];
        }
        SCOPED_TRACE(row.faults[0][0] + " " + row.faults[0][1] + " " + row.mode);
        const ProcessResult run = vreader({"run", reader_, "probe", row.mode}, programs);
        EXPECT_EQ(run.status, row.status) << run.err;
        const std::string own = row.status == 0 && row.mode.empty() ? "probe done\n" : "";
        EXPECT_EQ(run.err, own + row.said);
    }

    // A launcher that was stopped stops the program it waits for.
    ASSERT_EQ(vreader({"fail", reader_, "--clear"}).status, 0);
    ASSERT_EQ(vreader({"fail", reader_, "ttymxc1:read", "EIO"}).status, 0);
    std::vector<std::string> command = testing_support::emulator_prefix();
    command.insert(command.end(), {VREADER_EXECUTABLE, "run", reader_, "probe", "hold"});
    testing_support::Spawned holder(
        command, {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}, {"VREADER_EMULATOR", READER_TEST_EMULATOR}},
        dir_.file("hold.out"));
    const std::string pc_file = reader_ + "/ttyGS0.pc";
    ASSERT_TRUE(testing_support::eventually([&] { return std::filesystem::exists(pc_file); }, 30)) << holder.output();
    ASSERT_EQ(::kill(holder.pid(), SIGTERM), 0);
    EXPECT_EQ(holder.wait(30), 128 + SIGTERM);
    EXPECT_TRUE(testing_support::eventually([&] { return !std::filesystem::exists(pc_file); }, 30));
    EXPECT_NE(holder.output().find("vreader run: fault 'ttymxc1:read EIO' left unfired: 1 of 1 still to fire\n"),
              std::string::npos)
        << holder.output();
}

// The PC's end of the gadget serial port is published only while a program
// holds the port: a program that a signal ended takes it back as well.
TEST_F(LauncherTest, GadgetPcEndGoesWithTheProgramHoldingThePort)
{
    reader();
    const std::string pc_file = reader_ + "/ttyGS0.pc";
    for (const int signal : {SIGKILL, SIGTERM}) {
        std::vector<std::string> command = testing_support::emulator_prefix();
        command.insert(command.end(), {VREADER_EXECUTABLE, "run", reader_, "probe", "hold"});
        const std::string output = dir_.file("hold.out");
        testing_support::Spawned holder(
            command, {{"VREADER_PROGRAMS", VREADER_TEST_PROGRAMS}, {"VREADER_EMULATOR", READER_TEST_EMULATOR}},
            output);
        const auto pid_line = [&] {
            const std::string text = testing_support::read_file(output);
            const auto at = text.find("pid=");
            return at != std::string::npos && text.ends_with("\n") ? text.substr(at + 4) : std::string();
        };
        ASSERT_TRUE(testing_support::eventually([&] { return !pid_line().empty() && std::filesystem::exists(pc_file); },
                                                30))
            << holder.output();
        std::string pc = testing_support::read_file(pc_file);
        pc.pop_back();
        const int pc_end = ::open(pc.c_str(), O_RDWR | O_NOCTTY);
        EXPECT_GE(pc_end, 0) << pc;  // the holder's terminal
        ::close(pc_end);
        const int pid = std::stoi(pid_line());
        ASSERT_EQ(::kill(pid, signal), 0);
        EXPECT_EQ(holder.wait(30), 128 + signal);
        EXPECT_TRUE(testing_support::eventually([&] { return !std::filesystem::exists(pc_file); }, 30))
            << signal << ": " << pc << " is still published";
    }
}

TEST_F(LauncherTest, ScreenshotWritesAPng)
{
    reader({"--screen", "20x10"});
    const std::string file = dir_.file("shot.png");
    const ProcessResult result = vreader({"screenshot", reader_, file});
#ifdef VREADER_TEST_PNG
    ASSERT_EQ(result.status, 0) << result.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(&image, file.c_str()), 0) << image.message;
    EXPECT_EQ(image.width, 20u);
    EXPECT_EQ(image.height, 10u);
    image.format = PNG_FORMAT_GRAY;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr), 0) << image.message;
    EXPECT_EQ(pixels, std::vector<std::uint8_t>(200, 255));

    const ProcessResult memory = vreader({"screenshot", reader_, file, "--memory"});
    EXPECT_EQ(memory.status, 0) << memory.err;
    const ProcessResult standby = vreader({"screenshot", reader_, file, "--standby"});
    EXPECT_EQ(standby.status, 125);
    EXPECT_NE(standby.err.find("no standby screen"), std::string::npos);
#else
    EXPECT_EQ(result.status, 125);
    EXPECT_NE(result.err.find("built without PNG support"), std::string::npos);
#endif
}

TEST_F(LauncherTest, JournalPrintsAndClears)
{
    reader();
    testing_support::write_file(reader_ + "/journal.jsonl", "{\"seq\":1}\n");
    EXPECT_EQ(vreader({"journal", reader_}).out, "{\"seq\":1}\n");
    EXPECT_EQ(vreader({"journal", reader_, "--clear"}).status, 0);
    EXPECT_EQ(vreader({"journal", reader_}).out, "");
}

TEST_F(LauncherTest, OutputThatCannotBeWrittenFailsTheVerb)
{
    reader();
    testing_support::write_file(reader_ + "/journal.jsonl", "{\"seq\":1}\n");
    ASSERT_EQ(vreader({"fail", reader_, "open", "EIO"}).status, 0);
    for (const auto& verb : std::vector<std::vector<std::string>>{{"--help"},
                                                                  {"state", reader_},
                                                                  {"journal", reader_},
                                                                  {"table", reader_},
                                                                  {"dump", reader_, "Id Data"},
                                                                  {"fail", reader_, "--list"}}) {
        std::vector<std::string> arguments{"exec \"$@\" >/dev/full", "sh"};
        for (const std::string& prefix : testing_support::emulator_prefix())
            arguments.push_back(prefix);
        arguments.push_back(VREADER_EXECUTABLE);
        arguments.insert(arguments.end(), verb.begin(), verb.end());
        arguments.insert(arguments.begin(), {"/bin/sh", "-c"});
        const ProcessResult result =
            testing_support::run_process(arguments, {{"VREADER_EMULATOR", READER_TEST_EMULATOR}}, {});
        EXPECT_EQ(result.status, 125) << verb[0];
        EXPECT_NE(result.err.find("vreader: cannot write standard output: No space left on device"),
                  std::string::npos)
            << verb[0] << ": " << result.err;
    }
}

TEST_F(LauncherTest, BitmapWritesATestCardTheDisplayProgramsLoad)
{
    const std::string file = dir_.file("card.bmp");
    ASSERT_EQ(vreader({"bitmap", file, "--size", "33x20"}).status, 0);
    const std::string bytes = testing_support::read_file(file);
    const auto u32 = [&](size_t at) {
        std::uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i)
            value |= std::uint32_t{static_cast<std::uint8_t>(bytes.at(at + i))} << (8 * i);
        return value;
    };
    const size_t row = 68;  // 33 pixels of 2 bytes, padded to a multiple of 4
    ASSERT_EQ(bytes.size(), 66 + row * 20);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), bytes.size());
    EXPECT_GT(u32(14), 12u);  // an info header, not a core header
    EXPECT_EQ(u32(18), 33u);
    EXPECT_EQ(u32(22), 20u);
    EXPECT_EQ(u32(28) & 0xFFFF, 16u);
    // Rows are stored bottom first: the last one is the top row, with the
    // black corner square; the white inside of the card is 0xF79E.
    const size_t top = bytes.size() - row;
    EXPECT_EQ(u32(top) & 0xFFFF, 0u);
    EXPECT_EQ(u32(66 + 1 * row + 2 * 16) & 0xFFFF, 0xF79Eu);  // (16, 18)
    EXPECT_EQ(vreader({"bitmap", file, "--size", "33"}).status, 2);
}

}  // namespace
