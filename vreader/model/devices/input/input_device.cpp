#include "vreader/model/devices/input/input_device.hpp"

#include "vreader/model/core/node_open.hpp"
#include "vreader/model/devices/input/input_record.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vreader {

std::string input_pipe(unsigned number) { return "input/event" + std::to_string(number); }

int input_device_number(const ReaderConfig& config, std::string_view dev_path)
{
    constexpr std::string_view prefix = "/dev/input/event";
    if (!dev_path.starts_with(prefix) || dev_path.size() == prefix.size() || dev_path.size() > prefix.size() + 2)
        return -1;
    unsigned number = 0;
    for (const char c : dev_path.substr(prefix.size())) {
        if (c < '0' || c > '9')
            return -1;
        number = number * 10 + static_cast<unsigned>(c - '0');
    }
    if (std::to_string(number) != dev_path.substr(prefix.size()) || number > config.touch_devices)
        return -1;
    return static_cast<int>(number);
}

int create_input_pipes(const std::string& root, const ReaderConfig& config)
{
    std::error_code ec;
    std::filesystem::remove_all(root + "input", ec);
    std::filesystem::create_directories(root + "input", ec);
    if (ec)
        return ec.value();
    for (unsigned number = 0; number <= config.touch_devices; ++number)
        if (::mkfifo((root + input_pipe(number)).c_str(), 0600) != 0)
            return errno;
    return 0;
}

std::int64_t InputFile::open(ReaderContext& context, const std::string& path, unsigned number, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out)
{
    // The pipe is opened only once the open has succeeded: while it is
    // open for reading, a trace player takes the device as held, and a
    // failed open must never look held.
    const std::string pipe = context.dir.file(input_pipe(number));
    struct stat st {};
    const bool present = ::stat(pipe.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    int access = 0;
    const std::int64_t result =
        journal_open(context, path, "event" + std::to_string(number), flags, fd, access, present ? 0 : ENODEV);
    if (result < 0)
        return result;
    // Whatever writes records for this program lays them out as its build
    // does; published before the pipe opens, since an open pipe is what
    // tells a source that a program holds the device.
    if (const int e = publish_input_record_size(context.dir, number, kOwnInputRecord))
        std::fprintf(stderr, "vreader: cannot write %s: %s\n", context.dir.file(input_record_file(number)).c_str(),
                     std::strerror(e));
    // Read and write: the device itself keeps a writer, so the pipe never
    // reads as ended between two sources.
    HostFd pipe_fd(::open(pipe.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!pipe_fd.valid())
        return -ENODEV;  // the reader's directory changed under the open
    out.reset(new InputFile(context, path, number, access, std::move(pipe_fd), (flags & O_NONBLOCK) != 0));
    return result;
}

void InputFile::fill_stat(struct stat& st) const { char_device_stat(st, kInputMajor, kInputMinorBase + number_); }

short InputFile::poll_ready(short requested) const
{
    struct pollfd wait {
        pipe_.get(), requested, 0
    };
    return ::poll(&wait, 1, 0) > 0 ? static_cast<short>(wait.revents & requested) : 0;
}

bool InputFile::read_would_block()
{
    return !nonblocking_ && (poll_ready(POLLIN) & POLLIN) == 0 && !fails_at_once("read");
}

std::int64_t InputFile::read(void* buf, std::size_t count)
{
    DeviceRequest read = node_request("read");
    read.line().add("path", path_).add("count", count);
    if (const auto ended = read.start(FaultEnds::Errors))
        return *ended;
    // The device hands over whole records, as the kernel's event device
    // does: a buffer too small for one is refused, and a short read takes
    // half the records asked for, at least one.
    if (count == 0)
        return read.finish(0);
    if (count < sizeof(input_event))
        return read.finish(-EINVAL);
    count -= count % sizeof(input_event);
    const bool short_read = read.faulted(FaultKind::Short);
    if (short_read && count >= 2 * sizeof(input_event))
        count = count / sizeof(input_event) / 2 * sizeof(input_event);
    const ssize_t n = ::read(pipe_.get(), buf, count);
    if (n < 0)
        return read.finish(-errno, short_read);
    if (static_cast<std::size_t>(n) == sizeof(input_event)) {
        input_event event;
        std::memcpy(&event, buf, sizeof event);
        read.line().add("type", event.type).add("code", event.code).add("value", event.value);
    }
    return read.finish(n, short_read);
}

}  // namespace vreader
