#include "vreader/binding/process.hpp"

#include "vreader/model/board/device_table.hpp"
#include "vreader/model/core/wake_pipe.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace vreader {

Process& Process::get()
{
    // Never destroyed: a helper thread may still use the layer while the
    // program exits.
    static Process* const process = new Process;
    return *process;
}

namespace {

// Repeated sleeps the journal was only counting get their line at exit.
void flush_journal_at_exit()
{
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    process.flush_journal();
}

}  // namespace

void Process::flush_journal()
{
    if (reader_)
        reader_->session().flush_journal();
}

ReaderContext& Process::reader()
{
    if (!reader_) {
        const char* dir = std::getenv("VREADER_DIR");
        std::string why;
        std::optional<ReaderDir> opened;
        if (dir == nullptr || *dir == '\0')
            why = "VREADER_DIR is not set";
        else if (*dir != '/')
            why = std::string("VREADER_DIR is not an absolute path: ") + dir;
        else
            opened = ReaderDir::open(dir, why);
        if (!opened) {
            std::fprintf(stderr,
                         "vreader: VREADER_DIR is not set or is not a virtual reader (%s); "
                         "run the program through 'vreader run DIR PROGRAM'\n",
                         why.c_str());
            std::fflush(stderr);
            ::_exit(125);
        }
        use_device_table();
        reader_ = std::make_unique<ReaderContext>(std::move(*opened));
        reader_->cache.program = true;
        static const bool flush_registered = std::atexit(flush_journal_at_exit) == 0;
        (void)flush_registered;
    }
    return *reader_;
}

DeviceFile* Process::file(int fd)
{
    const auto it = files.find(fd);
    return it == files.end() ? nullptr : it->second.get();
}

int Process::faults_wake_fd()
{
    if (faults_wake_fd_ < 0)
        faults_wake_fd_ = open_wake_pipe(reader().dir.file(kFaultsWake));
    return faults_wake_fd_;
}

void Process::restart()
{
    flush_journal();
    if (faults_wake_fd_ >= 0)
        ::close(faults_wake_fd_);
    faults_wake_fd_ = -1;
    for (const auto& entry : files)
        ::close(entry.first);
    files.clear();
    mappings.clear();
    reader_.reset();
}

void restart_virtual_process() noexcept
{
    Process& process = Process::get();
    const std::lock_guard lock(process.mutex);
    process.restart();
}

}  // namespace vreader
