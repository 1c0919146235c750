// What outlives a run, injected faults, and the journal's exact lines.
#include "tests/support/json_line.hpp"
#include "tests/vreader/model/reader_fixture.hpp"

namespace vreader_test {
namespace {

using PersistenceTest = ReaderTest;

TEST_F(PersistenceTest, DeviceStateSurvivesTheNextRun)
{
    int fd = open_fb();
    fb_var_screeninfo v = var(fd);
    v.rotate = 2;
    ASSERT_EQ(sys::ioctl(fd, kPutVar, &v), 0);
    v = var(fd);
    v.yoffset = 800;
    ASSERT_EQ(sys::ioctl(fd, kPan, &v), 0);
    std::uint32_t vcom = 1480000;
    ASSERT_EQ(sys::ioctl(fd, kSetVcom, &vcom), 0);
    put_pixel(fd, 0, 0, 0, 800);
    ASSERT_EQ(send(fd, Update{0, 0, 1, 1}), 0);
    const std::string shown = panel();
    const size_t lines = journal().size();
    // The program exits without closing: the kernel would close for it.

    next_run();
    fd = open_fb();
    v = var(fd);
    EXPECT_EQ(v.rotate, 2u);
    EXPECT_EQ(v.yoffset, 800u);
    ASSERT_EQ(sys::ioctl(fd, kGetVcom, &vcom), 0);
    EXPECT_EQ(vcom, 1480000u);
    EXPECT_EQ(panel(), shown);
    EXPECT_EQ(panel_at(599, 799), 0);  // screen (0, 0) upside down
    // Numbering goes on across runs.
    EXPECT_EQ(journal().at(lines).rfind("{\"seq\":" + std::to_string(lines + 1) + ",\"request\":\"open\"", 0), 0u);
    sys::close(fd);
}

TEST_F(PersistenceTest, FaultsFireTheirCountAcrossRunsThenStop)
{
    testing_support::write_file(path_ + "/faults",
                                "MXCFB_SET_VCOM EIO 2\nopen ENODEV 1\nFBIOGET_VSCREENINFO 5 always\n");
    EXPECT_EQ(sys::open("/dev/fb0", O_RDWR), -1);
    EXPECT_EQ(errno, ENODEV);
    const int fd = open_fb();
    std::uint32_t vcom = 7;
    EXPECT_EQ(sys::ioctl(fd, kSetVcom, &vcom), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_TRUE(
        journal().back().ends_with(R"("request":"MXCFB_SET_VCOM","vcom":7,"result":-1,"errno":5,"injected":true})"))
        << journal().back();

    next_run();
    const int again = open_fb();
    EXPECT_EQ(sys::ioctl(again, kSetVcom, &vcom), -1);
    EXPECT_EQ(sys::ioctl(again, kSetVcom, &vcom), 0);
    EXPECT_NE(state().find("vcom=7\n"), std::string::npos);
    for (int i = 0; i < 3; ++i) {
        fb_var_screeninfo v{};
        EXPECT_EQ(sys::ioctl(again, kGetVar, &v), -1);
        EXPECT_EQ(errno, EIO);
        EXPECT_EQ(v.xres, 0u);  // a failed request writes nothing back
    }
    // A failed output request journals no output.
    EXPECT_EQ(journal().back(), R"({"seq":)" + std::to_string(journal().size()) +
                                    R"(,"request":"FBIOGET_VSCREENINFO","result":-1,"errno":5,"injected":true})");
    EXPECT_EQ(testing_support::read_file(path_ + "/faults"), "FBIOGET_VSCREENINFO EIO always\n");
    sys::close(again);
    sys::close(fd);
}

TEST_F(PersistenceTest, FaultedMappingAndSleep)
{
    testing_support::write_file(path_ + "/faults", "mmap ENOMEM 1\nusleep EINTR 1\n");
    const int fd = open_fb();
    EXPECT_EQ(sys::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0), MAP_FAILED);
    EXPECT_EQ(errno, ENOMEM);
    void* mapped = sys::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd, 0);
    EXPECT_NE(mapped, MAP_FAILED);
    sys::munmap(mapped, 4096);
    EXPECT_EQ(sys::usleep(10), -1);
    EXPECT_EQ(errno, EINTR);
    EXPECT_EQ(sys::usleep(10), 0);
    sys::close(fd);
}

TEST_F(PersistenceTest, JournalLinesOfARun)
{
    const int fd = open_fb();
    Update u;
    u.top = 10;
    u.left = 20;
    u.width = 30;
    u.height = 40;
    u.waveform_mode = 257;
    u.update_mode = 0;
    u.update_marker = 1;
    u.temp = -5;
    u.flags = 0x30002;
    u.alt = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};  // offsets 36..67, each distinct
    ASSERT_EQ(send(fd, u), 0);
    u.update_mode = 7;
    EXPECT_EQ(send(fd, u), -1);
    std::int32_t temperature = 0;
    ASSERT_EQ(sys::ioctl(fd, kGetPmicTemperature, &temperature), 0);
    std::uint8_t version[10];
    ASSERT_EQ(sys::ioctl(fd, kGetWfVersion, version), 0);
    ASSERT_EQ(sys::close(fd), 0);
    EXPECT_EQ(sys::open("/dev/graphics/fb0", O_RDWR), -1);

    const std::string update =
        R"("request":"MXCFB_SEND_UPDATE","update_region":{"top":10,"left":20,"width":30,"height":40},)"
        R"("waveform_mode":257,"update_mode":%,"update_marker":1,"temp":-5,"flags":196610,)"
        R"("alt_buffer_data":{"virt_addr":17,"phys_addr":34,"width":51,"height":68,)"
        R"("alt_update_region":{"top":85,"left":102,"width":119,"height":136}},"result":)";
    const auto with_mode = [&](const char* mode) {
        std::string text = update;
        return text.replace(text.find('%'), 1, mode);
    };
    const std::vector<std::string> expected = {
        R"({"seq":1,"request":"open","path":"/dev/fb0","flags":2,"result":)" + std::to_string(fd) + "}",
        R"({"seq":2,)" + with_mode("0") + "0}",
        R"({"seq":3,)" + with_mode("7") + R"(-1,"errno":22})",
        R"({"seq":4,"request":"MXCFB_GET_PMIC_TEMPERATURE","temperature":25,"result":0})",
        R"({"seq":5,"request":"MXCFB_GET_WF_VERSION","version":"3C000A1F22100E0D0100","result":0})",
        R"({"seq":6,"request":"close","path":"/dev/fb0","result":0})",
        R"({"seq":7,"request":"open","path":"/dev/graphics/fb0","flags":2,"result":-1,"errno":2})",
    };
    EXPECT_EQ(journal(), expected);

    // Whatever bytes a program names, the line stays JSON.
    EXPECT_EQ(sys::open("/dev/a\"b\\c\nd\xFF", O_RDONLY), -1);
    EXPECT_EQ(testing_support::JsonLine(journal().back()).text("path"), "/dev/a\"b\\c\nd\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vreader_test
