// The reader's input event devices: /dev/input/event0, the HOME key, and
// /dev/input/event1 on, the touch panel's (as many as the reader was made
// with). Each is a named pipe in the reader's directory, input/eventN, that
// carries struct input_event records as the program holding the device
// lays them out (input_record.hpp); anything that writes
// records there (a trace player, another program) is the device's source,
// and a program's poll waits on it for real. A device open in a program
// holds its pipe open for writing too, so a source that comes and goes is
// no end of input.
#pragma once

#include "vreader/model/core/host_fd.hpp"
#include "vreader/model/core/node_file.hpp"

#include <linux/input.h>

#include <memory>
#include <string>

namespace vreader {

inline constexpr unsigned kInputMajor = 13;
inline constexpr unsigned kInputMinorBase = 64;

// "input/event1": the pipe behind a device, in the reader's directory.
std::string input_pipe(unsigned number);
// The device number of "/dev/input/eventN" on this reader, or -1.
int input_device_number(const ReaderConfig& config, std::string_view dev_path);
// Makes the pipes of a new reader. 0 or an errno value.
int create_input_pipes(const std::string& root, const ReaderConfig& config);

class InputFile final : public NodeFile {
public:
    static std::int64_t open(ReaderContext& context, const std::string& path, unsigned number, int flags, int fd,
                             std::unique_ptr<DeviceFile>& out);

    void fill_stat(struct stat& st) const override;
    std::int64_t read(void* buf, std::size_t count) override;
    short poll_ready(short requested) const override;
    bool read_would_block() override;
    int input_fd() const override { return pipe_.get(); }

private:
    InputFile(ReaderContext& context, std::string path, unsigned number, int access, HostFd pipe, bool nonblocking)
        : NodeFile(context, std::move(path), "event" + std::to_string(number), access),
          number_(number),
          pipe_(std::move(pipe)),
          nonblocking_(nonblocking)
    {
    }
    void release() override { pipe_.reset(); }

    unsigned number_;
    HostFd pipe_;
    bool nonblocking_;  // opened O_NONBLOCK: a read with nothing queued fails with EAGAIN
};

}  // namespace vreader
