// What one process knows of its virtual reader: the reader it was started on
// (VREADER_DIR, with the process's virtual clock), and its modelled
// descriptors and mappings.
#pragma once

#include "vreader/model/core/device_file.hpp"
#include "vreader/model/core/reader_context.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <condition_variable>
#include <mutex>

namespace vreader {

// The tick count of times() when a run starts: a 32-bit kernel ticking at
// 100 Hz starts its count 300 s short of the 32-bit wrap (a faster one
// starts it further off).
inline constexpr std::uint32_t kTicksAtBoot = 0xFFFF8AD0u;

class Process {
public:
    static Process& get();

    // Everything below is used with `mutex` held.
    std::mutex mutex;
    std::condition_variable changed;  // a model queued input
    unsigned threads_started = 0;

    // The reader named by VREADER_DIR. A program started without one cannot
    // do anything sensible: it is told how to run and ends with status 125.
    ReaderContext& reader();

    DeviceFile* file(int fd);

    std::map<int, std::unique_ptr<DeviceFile>> files;  // modelled descriptors
    std::map<std::uintptr_t, std::size_t> mappings;    // of modelled memory

    // The read end of the reader's faults wake-up pipe, opened by the first
    // poll that waits on a model: a fault set while it waits wakes it. -1
    // until then, or when the pipe cannot be opened.
    int faults_wake_fd();

    // Closes the modelled descriptors and forgets everything, as if the
    // process started anew.
    void restart();

    // Writes the journal lines it is still only counting.
    void flush_journal();

private:
    std::unique_ptr<ReaderContext> reader_;
    int faults_wake_fd_ = -1;
};

// For tests that play several program runs in one process: forget the
// reader, descriptors, mappings and clock; VREADER_DIR is read again on the
// next call that needs it.
void restart_virtual_process() noexcept;

}  // namespace vreader
