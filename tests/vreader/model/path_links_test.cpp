// Symbolic links on the way to a path, as the binding resolves them before
// it tells a modelled node, the reader's /sys and /proc, a kept /tmp/lun*
// node and a host file apart: a link into /dev reaches the device tree (a
// modelled node or ENOENT), never the host's /dev.
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/core/path_names.hpp"

#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <map>

namespace vreader_test {
namespace {

namespace fs = std::filesystem;

// The walk alone, over a made-up tree: /a is a directory holding a link
// back to the root, links chain and loop.
TEST(PathWalk, ResolvesLinksWhereTheyStand)
{
    const std::map<std::string, vreader::PathEntry> tree = {
        {"/a", {vreader::PathEntry::Kind::Directory, {}}},    {"/a/up", {vreader::PathEntry::Kind::Link, ".."}},
        {"/a/dev", {vreader::PathEntry::Kind::Link, "/dev"}}, {"/a/rel", {vreader::PathEntry::Kind::Link, "up/a/dev"}},
        {"/a/file", {vreader::PathEntry::Kind::Other, {}}},   {"/a/loop", {vreader::PathEntry::Kind::Link, "loop"}},
        {"/dev", {vreader::PathEntry::Kind::Directory, {}}},  {"/dev/input", {vreader::PathEntry::Kind::Directory, {}}},
    };
    const auto lookup = [&](const std::string& name) {
        const auto found = tree.find(name);
        return found == tree.end() ? vreader::PathEntry{} : found->second;
    };
    const struct {
        const char* path;
        bool follow_last;
        const char* resolved;
        int error;
    } cases[] = {
        {"/a/dev/fb0", true, "/dev/fb0", 0},
        {"a/dev/input/../fb0", true, "/dev/fb0", 0},     // relative to "/"
        {"/a/rel/fb0", true, "/dev/fb0", 0},             // a chain, relative
        {"/a/up/a/up/dev//./fb0", true, "/dev/fb0", 0},  // ".." after links
        {"/a/dev", false, "/a/dev", 0},                  // the link itself
        {"/a/dev/", false, "/dev", 0},                   // a slash follows it
        {"/a/missing/../../dev/fb0", true, "/a/missing/../../dev/fb0", 0},
        {"/a/file/../dev", true, "/a/file/../dev", 0},  // no directory
        {"/a/loop", true, "/a/loop", ELOOP},
        {"/a/loop", false, "/a/loop", 0},
        {"/", true, "/", 0},
        {"/..", true, "/", 0},
    };
    for (const auto& c : cases) {
        const vreader::ResolvedPath resolved = vreader::resolve_path(c.path, "/", c.follow_last, lookup);
        EXPECT_EQ(resolved.path, c.resolved) << c.path;
        EXPECT_EQ(resolved.error, c.error) << c.path;
    }
}

class PathLinksTest : public ReaderTest {
protected:
    void SetUp() override
    {
        ReaderTest::SetUp();
        links_ = dir_.file("links");
        fs::create_directories(links_);
        fs::create_directories(path_ + "/sys/class/demo");
        testing_support::write_file(path_ + "/sys/class/demo/mode", "reader's\n");
        testing_support::write_file(links_ + "/host.txt", "host's\n");
    }

    // What a call on `path` reached: "fb0" (the modelled framebuffer),
    // "text:..." (a file's first line), "ok", or the errno's name.
    std::string outcome(const std::string& call, const std::string& path)
    {
        errno = 0;
        if (call == "open" || call == "nofollow" || call.starts_with("openat")) {
            int fd = -1;
            if (call.starts_with("openat")) {
                // From a real descriptor of links/, or of the reader's sys/class.
                const std::string from = call == "openat" ? links_ : path_ + "/sys/class";
                const int dir = ::open(from.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                fd = sys::openat(dir, path.c_str(), O_RDONLY);
                ::close(dir);
            } else {
                fd = sys::open(path.c_str(), O_RDONLY | (call == "nofollow" ? O_NOFOLLOW : 0));
            }
            if (fd < 0)
                return strerrorname_np(errno);
            struct stat st {};
            std::string what = "opened";
            if (sys::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && ::major(st.st_rdev) == 29)
                what = "fb0";
            else if (char text[64]; S_ISREG(st.st_mode) && sys::read(fd, text, sizeof text) > 0)
                what = "text:" + std::string(text, std::strcspn(text, "\n"));
            sys::close(fd);
            return what;
        }
        if (call == "stat") {
            struct stat st {};
            if (sys::stat(path.c_str(), &st) != 0)
                return strerrorname_np(errno);
            return S_ISCHR(st.st_mode) && ::major(st.st_rdev) == 29 ? "fb0" : "ok";
        }
        if (call == "read_text") {
            char text[64];
            if (sys::read_text(path.c_str(), text, sizeof text) < 0)
                return strerrorname_np(errno);
            return "text:" + std::string(text, std::strcspn(text, "\n"));
        }
        if (call == "fopen") {
            FILE* file = sys::fopen(path.c_str(), "r");
            if (file == nullptr)
                return strerrorname_np(errno);
            std::fclose(file);
            return "ok";
        }
        if (call == "unlink")
            return sys::unlink(path.c_str()) == 0 ? "ok" : strerrorname_np(errno);
        if (call == "mknod")
            return sys::mknod(path.c_str(), S_IFBLK | 0600, makedev(179, 68)) == 0 ? "ok" : strerrorname_np(errno);
        if (call == "lun") {
            const char* file = "/sys/devices/platform/usb_mass_storage/lun0/file";
            if (sys::write_text(file, path.c_str()) != 0)
                return strerrorname_np(errno);
            char text[64];
            sys::read_text(file, text, sizeof text);
            return "text:" + std::string(text, std::strcspn(text, "\n"));
        }
        return "unknown call " + call;
    }

    std::string links_;
};

TEST_F(PathLinksTest, EveryCallResolvesLinksBeforeItTellsWherePathsGo)
{
    // A link's target names the reader's view: "@" starts a path in the
    // reader's directory (its sys/), anything else is in links/.
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::string>> links;
        const char* call;
        const char* path;
        const char* reached;
    } cases[] = {
        {"to /dev/zero", {{"z", "/dev/zero"}}, "open", "z", "ENOENT"},
        {"to /dev/zero, stat", {{"z", "/dev/zero"}}, "stat", "z", "ENOENT"},
        {"to /dev/zero, fopen", {{"z", "/dev/zero"}}, "fopen", "z", "EACCES"},
        {"to /dev/zero, openat", {{"z", "/dev/zero"}}, "openat", "z", "ENOENT"},
        {"to a modelled node", {{"fb", "/dev/fb0"}}, "open", "fb", "fb0"},
        {"to a modelled node, stat", {{"fb", "/dev/fb0"}}, "stat", "fb", "fb0"},
        {"to a modelled node, openat", {{"fb", "/dev/fb0"}}, "openat", "fb", "fb0"},
        {"a chain", {{"c1", "c2"}, {"c2", "sub/c3"}, {"sub/c3", "/dev/fb0"}}, "open", "c1", "fb0"},
        {"a chain to nothing", {{"c1", "c2"}, {"c2", "/dev/null"}}, "open", "c1", "ENOENT"},
        {"a directory", {{"d", "/dev"}}, "open", "d/fb0", "fb0"},
        {"a directory, no node", {{"d", "/dev"}}, "open", "d/zero", "ENOENT"},
        {"'..' after a link", {{"inp", "/dev/input"}}, "open", "inp/../fb0", "fb0"},
        {"relative, out of links/", {{"up", ".."}}, "open", "up/links/host.txt", "text:host's"},
        {"a loop", {{"l1", "l2"}, {"l2", "l1"}}, "open", "l1", "ELOOP"},
        {"a loop, stat", {{"l1", "l2"}, {"l2", "l1"}}, "stat", "l1", "ELOOP"},
        {"O_NOFOLLOW", {{"fb", "/dev/fb0"}}, "nofollow", "fb", "ELOOP"},
        {"unlink takes the link", {{"fb", "/dev/fb0"}}, "unlink", "fb", "ok"},
        {"to a host file", {{"h", "host.txt"}}, "open", "h", "text:host's"},
        {"into /sys", {{"s", "/sys/class/demo"}}, "read_text", "s/mode", "text:reader's"},
        {"in the reader's sys/", {{"@sys/class/fb", "/dev/fb0"}}, "open", "/sys/class/fb", "fb0"},
        {"in the reader's sys/, to /dev/zero", {{"@sys/class/z", "/dev/zero"}}, "open", "/sys/class/z", "ENOENT"},
        {"in the reader's sys/, relative",
         {{"@sys/class/m", "demo/mode"}},
         "read_text",
         "/sys/class/m",
         "text:reader's"},
        {"in the reader's sys/, out of it", {{"@sys/class/fb", "../../dev/fb0"}}, "open", "/sys/class/fb", "fb0"},
        {"in the reader's sys/, openat", {{"@sys/class/fb", "../../dev/fb0"}}, "openat-sys", "fb", "fb0"},
        {"to a kept node", {{"k", "/tmp/lun0"}}, "open", "k", "ENXIO"},
        {"to a kept name", {{"k", "/tmp/lun7"}}, "open", "k", "ENOENT"},
        {"mknod on a link is not followed", {{"k", "/tmp/lun7"}}, "mknod", "k", "ENOSYS"},
        {"a LUN's backing file", {{"e", "/dev/mmcblk2"}}, "lun", "e", "text:/dev/mmcblk2"},
        {"a LUN's backing file, /dev/zero", {{"z", "/dev/zero"}}, "lun", "z", "ENOENT"},
        {"a LUN's backing file, a kept node", {{"k", "/tmp/lun0"}}, "lun", "k", "text:/tmp/lun0"},
    };
    ASSERT_EQ(sys::mknod("/tmp/lun0", S_IFBLK | 0600, makedev(179, 68)), 0);
    const auto cwd = fs::current_path();
    for (const auto& c : cases) {
        std::vector<std::string> made;
        for (const auto& [link, target] : c.links) {
            const std::string at = link.front() == '@' ? path_ + "/" + link.substr(1) : links_ + "/" + link;
            fs::create_directories(fs::path(at).parent_path());
            fs::create_symlink(target, at);
            made.push_back(at);
        }
        fs::current_path(links_);
        EXPECT_EQ(outcome(c.call, c.path), c.reached) << c.name;
        fs::current_path(cwd);
        for (const std::string& at : made)
            fs::remove(at);
    }
    // Nothing reached the host's /tmp/lun*.
    EXPECT_FALSE(fs::exists(fs::symlink_status("/tmp/lun7")));
}

}  // namespace
}  // namespace vreader_test
