// The request every device serves: the reader's lock file is checked before
// the request's fault is taken, and the fault ends the request at its start
// only as far as the request lets it.
#include "tests/vreader/model/reader_fixture.hpp"
#include "vreader/model/core/device_request.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace vreader_test {
namespace {

using testing_support::read_file;
using testing_support::write_file;
using vreader::FaultEnds;
using vreader::FaultKind;

class DeviceRequestTest : public ReaderTest {
protected:
    void set_fault(const std::string& line) const { write_file(path_ + "/faults", line + "\n"); }
    bool fault_left() const { return read_file(path_ + "/faults").find("fb0:read") != std::string::npos; }
};

TEST_F(DeviceRequestTest, AReaderWhoseLockFileCannotBeUsedFailsTheRequestBeforeItsFault)
{
    set_fault("fb0:read EIO 1");
    ASSERT_EQ(::unlink((path_ + "/lock").c_str()), 0);
    ASSERT_EQ(::mkdir((path_ + "/lock").c_str(), 0755), 0);
    vreader::ReaderContext context(reader());
    vreader::DeviceRequest read(context, "fb0", "read");
    EXPECT_EQ(read.start(FaultEnds::Any), std::optional<std::int64_t>(-EISDIR));
    EXPECT_FALSE(read.fault().fired);
    EXPECT_TRUE(fault_left());
}

TEST_F(DeviceRequestTest, TheFaultEndsTheRequestAtItsStartOnlyAsFarAsTheRequestLetsIt)
{
    const struct {
        const char* effect;
        FaultEnds ends;
        std::optional<std::int64_t> ended;
        FaultKind kind;
    } cases[] = {
        {"EIO", FaultEnds::Any, -EIO, FaultKind::Error},
        {"EIO", FaultEnds::Errors, -EIO, FaultKind::Error},
        {"EIO", FaultEnds::None, std::nullopt, FaultKind::Error},
        {"short", FaultEnds::Errors, std::nullopt, FaultKind::Short},
        {"short", FaultEnds::None, std::nullopt, FaultKind::Short},
    };
    for (const auto& c : cases) {
        set_fault(std::string("fb0:read ") + c.effect + " 1");
        vreader::ReaderContext context(reader());
        vreader::DeviceRequest read(context, "fb0", "read");
        const auto ended = read.start(c.ends);
        EXPECT_EQ(ended, c.ended) << c.effect;
        EXPECT_TRUE(read.faulted(c.kind)) << c.effect;
        // Used up either way, and written back when the request ends.
        if (!ended)
            read.finish(0);
        EXPECT_FALSE(fault_left()) << c.effect;
        if (c.ended) {
            const auto lines = requests("read");
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back().text("injected"), "true") << c.effect;
        }
    }
}

}  // namespace
}  // namespace vreader_test
