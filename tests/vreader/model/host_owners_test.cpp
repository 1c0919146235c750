// The owners core gives the models for what they take from the host: a
// descriptor is closed once, by its last owner; a file is mapped only when
// it holds every byte asked for, and the mapping writes through to it.
#include "tests/support/process.hpp"
#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/host_mapping.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using testing_support::read_file;
using testing_support::write_file;

bool is_open(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(CoreOwners, ADescriptorIsClosedOnceByItsLastOwner)
{
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    vreader::HostFd last;
    {
        vreader::HostFd first(fd);
        last = std::move(first);
    }
    EXPECT_TRUE(is_open(fd));
    EXPECT_EQ(last.close(), 0);
    EXPECT_FALSE(is_open(fd));
    EXPECT_EQ(last.close(), 0);  // nothing is closed twice
}

TEST(CoreOwners, AFileIsMappedOnlyWhenItHoldsTheBytesAsked)
{
    const testing_support::TempDir dir;
    const std::string path = dir.file("content");
    write_file(path, std::string(8192, 'a'));
    const struct {
        std::string path;
        std::size_t size;
        bool mapped;
    } cases[] = {
        {path, 4096, true}, {path, 8192, true}, {path, 8193, false}, {path, 0, false}, {dir.file("missing"), 1, false},
    };
    for (const auto& c : cases) {
        const vreader::HostMapping mapping = vreader::map_file(c.path, true, c.size);
        EXPECT_EQ(mapping.data() != nullptr, c.mapped) << c.size;
        EXPECT_EQ(mapping.size(), c.mapped ? c.size : 0) << c.size;
    }

    vreader::HostMapping last;
    {
        vreader::HostMapping first = vreader::map_file(path, true, 4096);
        last = std::move(first);
    }
    ASSERT_NE(last.data(), nullptr);
    std::memcpy(last.data(), "written", 7);
    last.reset();
    EXPECT_EQ(read_file(path).substr(0, 8), "writtena");
}

}  // namespace
