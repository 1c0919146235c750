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
