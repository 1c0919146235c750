// The kernel bench's reader stand-in gadget (test code, never shipped): a
// USB mass-storage function in user space on the kernel's FunctionFS. It
// speaks the Bulk-Only Transport on ep1 (in) and ep2 (out) and answers the
// class requests on ep0; each LUN is one volume of the virtual reader in
// READER_DIR (its USB model answers INQUIRY and the vendor commands) on a
// sparse backing file of BLOCKS blocks in BACKING_DIR.
//
//   kbench-gadget FFS_DIR READER_DIR BACKING_DIR [BLOCKS [PLAIN_BLOCKS]]
//
// PLAIN_BLOCKS adds a last LUN that is a plain disk of that many blocks,
// for comparisons with the same transport.
// It prints "ready" once the descriptors are written (the gadget may then
// be bound) and runs until it is killed. On SIGUSR2 it writes the time its
// LUNs spent in the reader's model to BACKING_DIR/model-time ("MS EXCHANGES").
#include "tests/kernel/gadget/bot.hpp"
#include "tests/kernel/gadget/disk.hpp"
#include "tests/kernel/gadget/ffs_descriptors.hpp"
#include "tests/kernel/gadget/reader_lun.hpp"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using kbench::bot::Direction;

// A LUN's blocks in a sparse file.
class FileBacking final : public kbench::disk::Backing {
public:
    FileBacking(int fd, std::uint64_t blocks) : fd_(fd), blocks_(blocks) {}
    ~FileBacking() override { ::close(fd_); }
    std::uint64_t blocks() const override { return blocks_; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override
    {
        return ::pread(fd_, out.data(), out.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(out.size());
    }
    bool write(std::uint64_t offset, std::span<const std::uint8_t> in) override
    {
        return ::pwrite(fd_, in.data(), in.size(), static_cast<off_t>(offset)) == static_cast<ssize_t>(in.size());
    }
    bool flush() override { return ::fdatasync(fd_) == 0; }

private:
    int fd_;
    std::uint64_t blocks_;
};

int ep0 = -1, ep_in = -1, ep_out = -1;
std::uint8_t max_lun = 0;
// Set by the host's reset; the bulk loop then drops what it was doing.
std::atomic<bool> reset_seen{false};
volatile std::sig_atomic_t stats_wanted = 0;
pthread_t bulk_thread;

// The transfer as a whole, or false (the host's reset, a disable, a short
// packet that ends a data-out early counts as done with `moved` set).
bool transfer(int fd, bool out_of_host, std::uint8_t* data, std::size_t length, std::size_t& moved)
{
    moved = 0;
    const ssize_t n = out_of_host ? ::read(fd, data, length) : ::write(fd, data, length);
    if (n < 0)
        return false;
    moved = static_cast<std::size_t>(n);
    return true;
}

// FunctionFS halts an endpoint when it is used against its direction.
void halt(int fd, bool in_endpoint)
{
    std::uint8_t none = 0;
    if (in_endpoint)
        (void)!::read(fd, &none, 0);
    else
        (void)!::write(fd, &none, 0);
}

// ep0: the class requests, the function's enable and disable.
void control_loop()
{
    usb_functionfs_event events[8];
    for (;;) {
        const ssize_t n = ::read(ep0, events, sizeof events);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            std::perror("kbench-gadget: ep0");
            return;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof events[0]; ++i) {
            const usb_functionfs_event& e = events[i];
            if (e.type == FUNCTIONFS_DISABLE || e.type == FUNCTIONFS_UNBIND) {
                std::printf("kbench-gadget: %s\n", e.type == FUNCTIONFS_DISABLE ? "disabled" : "unbound");
                std::fflush(stdout);
                continue;
            }
            if (e.type != FUNCTIONFS_SETUP)
                continue;
            const usb_ctrlrequest& setup = e.u.setup;
            const bool in = (setup.bRequestType & USB_DIR_IN) != 0;
            const bool ours = (setup.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS &&
                              (setup.bRequestType & USB_RECIP_MASK) == USB_RECIP_INTERFACE;
            std::uint8_t byte = 0;
            if (ours && in && setup.bRequest == kbench::bot::kRequestGetMaxLun && setup.wLength >= 1) {
                (void)!::write(ep0, &max_lun, 1);
            } else if (ours && !in && setup.bRequest == kbench::bot::kRequestReset && setup.wLength == 0) {
                (void)!::read(ep0, &byte, 0);  // the status stage
                std::printf("kbench-gadget: reset\n");
                std::fflush(stdout);
                reset_seen = true;
                // Breaks a bulk transfer the host has given up on.
                pthread_kill(bulk_thread, SIGUSR1);
            } else if (in) {
                (void)!::read(ep0, &byte, 0);  // against the direction: stalls
            } else {
                (void)!::write(ep0, &byte, 0);
            }
        }
    }
}

void send_csw(std::uint32_t tag, std::uint32_t residue, kbench::bot::CswStatus status)
{
    auto csw = kbench::bot::encode_csw(tag, residue, status);
    std::size_t moved = 0;
    transfer(ep_in, false, csw.data(), csw.size(), moved);
}

// One command from its wrapper to its status, on the bulk endpoints.
void run_command(const kbench::bot::Cbw& cbw, std::vector<std::unique_ptr<kbench::ReaderLun>>& luns,
                 std::vector<std::uint8_t>& buffer)
{
    using namespace kbench::bot;
    if (cbw.lun >= luns.size()) {
        const Plan plan = plan_data_phase(cbw.direction, cbw.transfer_length, Direction::None, 0);
        if (cbw.direction == Direction::In)
            halt(ep_in, true);
        send_csw(cbw.tag, plan.residue, CswStatus::Failed);
        return;
    }
    kbench::ReaderLun& lun = *luns[cbw.lun];
    const kbench::Want want = lun.want(cbw);
    Plan plan = plan_data_phase(cbw.direction, cbw.transfer_length, want.direction, want.length);
    std::size_t moved = 0;
    std::span<const std::uint8_t> data_out;
    if (cbw.direction == Direction::Out) {
        // Everything the host sends is read; the command takes what it wants.
        buffer.resize(cbw.transfer_length);
        if (!transfer(ep_out, true, buffer.data(), buffer.size(), moved))
            return;
        data_out = std::span<const std::uint8_t>(buffer).first(std::min<std::size_t>(moved, plan.move));
    }
    if (plan.phase_error) {
        if (plan.stall_in)
            halt(ep_in, true);
        send_csw(cbw.tag, plan.residue, CswStatus::PhaseError);
        return;
    }
    kbench::Result result = lun.run(cbw, data_out);
    if (cbw.direction == Direction::In) {
        // The plan again with what the command gave, which may be less.
        plan = plan_data_phase(Direction::In, cbw.transfer_length, Direction::In,
                               static_cast<std::uint32_t>(result.data_in.size()));
        if (plan.move > 0 && !transfer(ep_in, false, result.data_in.data(), plan.move, moved))
            return;
        if (plan.stall_in)
            halt(ep_in, true);
    } else if (cbw.direction == Direction::Out) {
        plan.residue = cbw.transfer_length - static_cast<std::uint32_t>(data_out.size());
    }
    send_csw(cbw.tag, plan.residue, result.failed ? CswStatus::Failed : CswStatus::Passed);
}

void write_stats(const std::string& path, const std::vector<std::unique_ptr<kbench::ReaderLun>>& luns)
{
    std::chrono::nanoseconds time{0};
    std::uint64_t exchanges = 0;
    for (const auto& lun : luns) {
        time += lun->model_time();
        exchanges += lun->model_exchanges();
    }
    const std::string partial = path + ".new";
    if (std::FILE* out = std::fopen(partial.c_str(), "w")) {
        std::fprintf(out, "%lld %llu\n",
                     static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(time).count()),
                     static_cast<unsigned long long>(exchanges));
        if (std::fclose(out) == 0)
            std::rename(partial.c_str(), path.c_str());
    }
}

void bulk_loop(std::vector<std::unique_ptr<kbench::ReaderLun>>& luns, const std::string& stats_path)
{
    std::vector<std::uint8_t> buffer;
    std::array<std::uint8_t, 512> wrapper{};
    for (;;) {
        if (stats_wanted) {
            stats_wanted = 0;
            write_stats(stats_path, luns);
        }
        reset_seen = false;
        std::size_t moved = 0;
        if (!transfer(ep_out, true, wrapper.data(), wrapper.size(), moved)) {
            if (errno != EINTR && errno != ESHUTDOWN)
                usleep(10000);  // not yet enabled, or gone: try again
            continue;
        }
        kbench::bot::Cbw cbw;
        if (kbench::bot::parse_cbw(std::span(wrapper).first(moved), cbw) != kbench::bot::CbwCheck::Ok) {
            // Both endpoints halt until the host's reset recovery.
            std::printf("kbench-gadget: a wrapper of %zu bytes that is not a command\n", moved);
            std::fflush(stdout);
            halt(ep_in, true);
            halt(ep_out, false);
            while (!reset_seen)
                usleep(10000);
            continue;
        }
        run_command(cbw, luns, buffer);
    }
}

int open_endpoint(const std::string& dir, const char* name)
{
    const int fd = ::open((dir + "/" + name).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        std::fprintf(stderr, "kbench-gadget: cannot open %s/%s: %s\n", dir.c_str(), name, std::strerror(errno));
    return fd;
}

bool write_all(int fd, std::span<const std::uint8_t> bytes)
{
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 6) {
        std::fprintf(stderr, "usage: kbench-gadget FFS_DIR READER_DIR BACKING_DIR [BLOCKS [PLAIN_BLOCKS]]\n");
        return 64;
    }
    const std::string ffs = argv[1], backing_dir = argv[3];
    const std::uint64_t blocks = argc >= 5 ? std::strtoull(argv[4], nullptr, 10) : 16384;
    const std::uint64_t plain_blocks = argc == 6 ? std::strtoull(argv[5], nullptr, 10) : 0;
    std::string error;
    auto reader = vreader::UsbStorage::open(argv[2], error);
    if (!reader) {
        std::fprintf(stderr, "kbench-gadget: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::unique_ptr<FileBacking>> backings;
    std::vector<std::unique_ptr<kbench::ReaderLun>> luns;
    auto add_backing = [&](std::uint64_t count) {
        const std::string path = backing_dir + "/lun" + std::to_string(luns.size()) + ".img";
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(count * kbench::disk::kBlockSize)) != 0) {
            std::fprintf(stderr, "kbench-gadget: cannot make %s: %s\n", path.c_str(), std::strerror(errno));
            return false;
        }
        backings.push_back(std::make_unique<FileBacking>(fd, count));
        return true;
    };
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const auto volume = reader->volume(letter);
        if (!volume)
            continue;
        if (!add_backing(blocks))
            return 1;
        luns.push_back(std::make_unique<kbench::ReaderLun>(*backings.back(), *reader, *volume));
    }
    if (luns.empty()) {
        std::fprintf(stderr, "kbench-gadget: the reader has no volume\n");
        return 1;
    }
    if (plain_blocks > 0) {
        if (!add_backing(plain_blocks))
            return 1;
        luns.push_back(std::make_unique<kbench::ReaderLun>(*backings.back()));
    }
    max_lun = static_cast<std::uint8_t>(luns.size() - 1);

    ep0 = open_endpoint(ffs, "ep0");
    if (ep0 < 0)
        return 1;
    if (!write_all(ep0, kbench::ffs::descriptors()) || !write_all(ep0, kbench::ffs::strings())) {
        std::fprintf(stderr, "kbench-gadget: FunctionFS refused the descriptors: %s\n", std::strerror(errno));
        return 1;
    }
    ep_in = open_endpoint(ffs, "ep1");
    ep_out = open_endpoint(ffs, "ep2");
    if (ep_in < 0 || ep_out < 0)
        return 1;

    // SIGUSR1 only interrupts: no SA_RESTART, so a blocked transfer returns.
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigaction(SIGUSR1, &action, nullptr);
    action.sa_handler = [](int) { stats_wanted = 1; };
    sigaction(SIGUSR2, &action, nullptr);
    bulk_thread = pthread_self();
    // The signals are the bulk loop's: the control thread blocks them.
    sigset_t ours;
    sigemptyset(&ours);
    sigaddset(&ours, SIGUSR1);
    sigaddset(&ours, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &ours, nullptr);
    std::thread control(control_loop);
    control.detach();
    pthread_sigmask(SIG_UNBLOCK, &ours, nullptr);
    std::printf("ready: %zu LUNs of %llu blocks\n", luns.size(), static_cast<unsigned long long>(blocks));
    std::fflush(stdout);
    bulk_loop(luns, backing_dir + "/model-time");
}
