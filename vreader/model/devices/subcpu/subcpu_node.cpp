#include "vreader/model/devices/subcpu/subcpu_node.hpp"

#include "vreader/model/core/node_open.hpp"
#include "vreader/model/core/tty_file.hpp"
#include "vreader/model/devices/subcpu/subcpu_firmware.hpp"
#include "vreader/model/state/files.hpp"

#include <fcntl.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vreader {
namespace {

// The flash files, held open by the device for the length of a run.
class FileFlash final : public sub_cpu::Flash {
public:
    explicit FileFlash(const HostFd (&fds)[3]) : fds_(fds) {}
    bool read(unsigned cluster, std::uint32_t address, std::uint8_t* out, std::size_t count) override
    {
        return ::pread(fds_[cluster].get(), out, count, address - kFlashStart) == static_cast<ssize_t>(count);
    }
    bool write(unsigned cluster, std::uint32_t address, const std::uint8_t* data, std::size_t count) override
    {
        return ::pwrite(fds_[cluster].get(), data, count, address - kFlashStart) == static_cast<ssize_t>(count);
    }

private:
    const HostFd (&fds_)[3];
};

// A reply as faults make it arrive. A wrong lead, length, code or status
// byte comes from firmware that still sums what it sends; only a "sum"
// fault breaks the checksum.
void apply_reply_faults(std::vector<std::uint8_t>& reply, const std::vector<FaultHit>& faults)
{
    std::optional<std::uint8_t> sum;
    for (const FaultHit& fault : faults) {
        const auto byte = static_cast<std::uint8_t>(fault.value);
        switch (fault.kind) {
        case FaultKind::Silent:
            reply.clear();
            return;
        case FaultKind::Lead:
            reply[0] = byte;
            break;
        case FaultKind::Len:
            reply[1] = byte;
            break;
        case FaultKind::Code:
            reply[2] = byte;
            break;
        case FaultKind::Result:
            reply[3] = byte;
            break;
        case FaultKind::Sum:
            sum = byte;
            break;
        default:
            break;
        }
    }
    std::uint8_t total = 0;
    for (std::size_t i = 1; i + 1 < reply.size(); ++i)
        total = static_cast<std::uint8_t>(total + reply[i]);
    reply.back() = sum.value_or(total);
}

}  // namespace

std::string control_mode_path(const ReaderConfig& config)
{
    return "/sys/devices/platform/mxc_spi.2/spi3." + std::to_string(config.spi_cs) + "/control_mode";
}

bool load_subcpu(const ReaderDir& dir, SubCpuState& out, std::string& error)
{
    std::string text;
    if (const int e = read_file(dir.file(kSubCpuStateFile), text)) {
        error = std::strerror(e);
        return false;
    }
    return parse_subcpu(text, out, error);
}

int save_subcpu(const ReaderDir& dir, const SubCpuState& state)
{
    return replace_file(dir.file(kSubCpuStateFile), format_subcpu(state));
}

SubCpuNode::SubCpuNode(ReaderContext& context, std::string path, int access)
    : NodeFile(context, std::move(path), kSubCpuDevice, access)
{
    const std::string names[] = {cluster_file(0), cluster_file(1), std::string(kSubCpuReceivedFile)};
    for (int i = 0; i < 3; ++i)
        flash_fds_[i].reset(::open(context_.dir.file(names[i]).c_str(), O_RDWR | O_CLOEXEC));
}

std::int64_t SubCpuNode::open(ReaderContext& context, const std::string& path, int flags, int fd,
                              std::unique_ptr<DeviceFile>& out)
{
    int access = 0;
    const std::int64_t result = journal_open(context, path, kSubCpuDevice, flags, fd, access);
    if (result >= 0)
        out.reset(new SubCpuNode(context, path, access));
    return result;
}

void SubCpuNode::fill_stat(struct stat& st) const { char_device_stat(st, kMiscMajor, kSubCpuMinor); }

std::int64_t SubCpuNode::write(const void* buf, std::size_t count)
{
    DeviceRequest write = node_request("write");
    write.line().add("count", count).add("bytes", hex_bytes(buf, count));
    if (const auto ended = write.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_RDONLY)
        return write.finish(-EBADF);
    // Half a packet is no request; a lost one reaches nobody.
    if (write.fault().fired)
        return write.finish(static_cast<std::int64_t>(write.faulted(FaultKind::Short) ? count / 2 : count), true);
    if (const int e = write.lock_reader())
        return write.finish(-e);
    SubCpuState state;
    std::string why;
    if (!load_subcpu(context_.dir, state, why)) {
        std::fprintf(stderr, "vreader: %s: %s\n", context_.dir.file(kSubCpuStateFile).c_str(), why.c_str());
        return write.finish(-EIO);
    }
    // While the kernel owns the link, user space gets nothing through.
    if (state.control_mode != "update")
        return write.finish(-EBUSY);
    const std::int64_t result = write.finish(static_cast<std::int64_t>(count));
    const auto* bytes = static_cast<const std::uint8_t*>(buf);
    carry_out(write, std::vector<std::uint8_t>(bytes, bytes + count), state);
    return result;
}

void SubCpuNode::carry_out(DeviceRequest& write, const std::vector<std::uint8_t>& packet, SubCpuState& state)
{
    reply_.clear();
    JsonLine line("sub_cpu_request");
    line.add("bytes", hex_bytes(packet.data(), packet.size()));
    if (const std::string why = sub_cpu::refusal(packet); !why.empty()) {
        line.add("refused", why);
        write.follow(line);
        return;
    }
    write.follow(line);
    bool changed = false;
    FileFlash flash(flash_fds_);
    const bool corrupt = packet[2] == protocol::sub_cpu::kReqWrite && write.fault_on("flash").fired;
    reply_ = sub_cpu::answer(packet, state, flash, corrupt, changed);
    if (changed)
        save_subcpu(context_.dir, state);
    char code[16];
    std::snprintf(code, sizeof code, "reply_%02X", packet[2]);
    std::vector<FaultHit> faults;
    for (const std::string_view name : {std::string_view(code), std::string_view("reply")})
        if (const FaultHit fault = write.fault_on(name); fault.fired)
            faults.push_back(fault);
    if (!faults.empty())
        apply_reply_faults(reply_, faults);
    JsonLine reply("sub_cpu_reply");
    reply.add("bytes", hex_bytes(reply_.data(), reply_.size()));
    if (corrupt || !faults.empty())
        reply.add("faulted", true);
    write.follow(reply);
}

std::int64_t SubCpuNode::read(void* buf, std::size_t count)
{
    DeviceRequest read = node_request("read");
    read.line().add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_WRONLY)
        return read.finish(-EBADF);
    std::size_t n = std::min(count, reply_.size());
    if (read.faulted(FaultKind::Short))
        n /= 2;
    std::memcpy(buf, reply_.data(), n);
    read.line().add("bytes", hex_bytes(reply_.data(), n));
    reply_.clear();
    return read.finish(static_cast<std::int64_t>(n), read.fault().fired);
}

std::int64_t ControlModeFile::open(ReaderContext& context, const std::string& path, int flags, int fd,
                                   std::unique_ptr<DeviceFile>& out)
{
    int access = 0;
    const std::int64_t result = journal_open(context, path, kControlModeDevice, flags, fd, access);
    if (result >= 0)
        out.reset(new ControlModeFile(context, path, access));
    return result;
}

std::int64_t ControlModeFile::pread(void* buf, std::size_t count, std::int64_t offset)
{
    DeviceRequest read = node_request("read");
    read.line().add("path", path_).add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    if (access_ == O_WRONLY)
        return read.finish(-EBADF);
    if (const int e = read.lock_reader())
        return read.finish(-e);
    SubCpuState state;
    std::string why;
    if (!load_subcpu(context_.dir, state, why))
        return read.finish(-EIO);
    const std::string text = state.control_mode + "\n";
    const auto at = static_cast<std::size_t>(std::max<std::int64_t>(offset, 0));
    std::size_t n = at < text.size() ? std::min(count, text.size() - at) : 0;
    const bool short_read = read.fault().fired;
    if (short_read)
        n /= 2;  // half of the word
    std::memcpy(buf, text.data() + at, n);
    return read.finish(static_cast<std::int64_t>(n), short_read);
}

std::int64_t ControlModeFile::store(const void* buf, std::size_t count)
{
    std::string word(static_cast<const char*>(buf), count);
    while (!word.empty() && (word.back() == '\n' || word.back() == ' '))
        word.pop_back();
    DeviceRequest write = node_request("write");
    write.line().add("path", path_).add("text", word);
    if (const auto ended = write.start(FaultEnds::Errors))
        return *ended;
    // Half a word, or none, is stored as no word: the attribute keeps its value.
    if (write.fault().fired)
        return write.finish(static_cast<std::int64_t>(write.faulted(FaultKind::Short) ? count / 2 : count), true);
    if (access_ == O_RDONLY)
        return write.finish(-EBADF);
    // A write of nothing reaches no store, as on any attribute.
    if (count == 0)
        return write.finish(0);
    // The attribute knows two words.
    if (word != "update" && word != "normal")
        return write.finish(-EINVAL);
    if (const int e = write.lock_reader())
        return write.finish(-e);
    SubCpuState state;
    std::string why;
    if (!load_subcpu(context_.dir, state, why))
        return write.finish(-EIO);
    state.control_mode = word;
    if (const int e = save_subcpu(context_.dir, state))
        return write.finish(-e);
    return write.finish(static_cast<std::int64_t>(count));
}

}  // namespace vreader
