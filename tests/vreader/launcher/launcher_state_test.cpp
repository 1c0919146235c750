// The vreader launcher's state and set verbs, the USB, network and modem
// sides, and the raw-data table's dump and put.
#include "tests/vreader/launcher/launcher_fixture.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace launcher_test;

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

}  // namespace
