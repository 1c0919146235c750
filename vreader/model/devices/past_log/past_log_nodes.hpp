// The past-log driver's two nodes, both misc character devices.
//
// /dev/melgrin, the control node, takes requests whose argument points to a
// 32-bit value: 1 flushes the kernel's in-memory log to storage (counted in
// past_log.state; the argument is not used); 3, 4 and 5 are the unlock
// handshake. 3 fills in a fresh challenge, 4 must bring back its bitwise
// complement, 5 that complement XOR kHandshakeKey, in that order. A step
// out of order fails with EINVAL, a wrong answer with EPERM, a missing
// argument with EFAULT; every failed step starts the handshake over. Any
// other request is ENOTTY.
//
// /dev/log_past opens only in a process that completed the handshake
// (EACCES before), and reads the log from its first entry: one whole entry
// per read, 0 at the end. An entry longer than the read's buffer fails the
// read with EINVAL and stays next, as the kernel's logger does. It takes no
// writes (EINVAL).
#pragma once

#include "vreader/model/core/node_file.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vreader {

inline constexpr std::string_view kPastLogControlPath = "/dev/melgrin";
inline constexpr std::string_view kPastLogPath = "/dev/log_past";
// Their kernel names, as faults name them.
inline constexpr std::string_view kPastLogControlDevice = "melgrin";
inline constexpr std::string_view kPastLogDevice = "log_past";
inline constexpr unsigned kPastLogControlMinor = 58;
inline constexpr unsigned kPastLogMinor = 57;

class PastLogControlFile final : public NodeFile {
public:
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    void fill_stat(struct stat& st) const override;
    std::int64_t ioctl(unsigned long number, void* arg) override;

private:
    PastLogControlFile(ReaderContext& context, std::string path, int access)
        : NodeFile(context, std::move(path), kPastLogControlDevice, access)
    {
    }

    std::int64_t flush(DeviceRequest& asked, void* arg);
    std::int64_t handshake(DeviceRequest& step, std::uint32_t number, void* arg);
};

class PastLogFile final : public NodeFile {
public:
    static std::int64_t open(ReaderContext& context, const std::string& path, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);
    PastLogFile(const PastLogFile&) = delete;
    PastLogFile& operator=(const PastLogFile&) = delete;

    void fill_stat(struct stat& st) const override;
    std::int64_t read(void* buf, std::size_t count) override;
    std::int64_t write(const void* buf, std::size_t count) override;

private:
    PastLogFile(ReaderContext& context, std::string path, int access, std::string dump);

    std::string dump_;                       // the log as it was at the open
    std::vector<std::string_view> entries_;  // into dump_; a broken tail is left out
    std::size_t next_ = 0;
};

}  // namespace vreader
