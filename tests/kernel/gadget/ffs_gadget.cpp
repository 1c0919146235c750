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
// LUNs spent in the reader's model to BACKING_DIR/model-time ("MS EXCHANGES")
// and the host's own commands that came inside a vendor command to
// model-time.interleaved ("0xOP:COUNT ...").
// A fault line (transport_fault.hpp) written to BACKING_DIR/fault is taken
// at the next vendor command: renamed to fault.armed, or to fault.refused
// with the reason appended; once it fires, fault.fired says on which
// command (its tag), so a check knows the fault did fire. The line "off"
// takes an armed fault off.
#include "tests/kernel/gadget/bot.hpp"
#include "tests/kernel/gadget/disk.hpp"
#include "tests/kernel/gadget/ffs_descriptors.hpp"
#include "tests/kernel/gadget/reader_lun.hpp"
#include "tests/kernel/gadget/transport_fault.hpp"

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
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
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
        // Wait in poll, not in read: a read that waits for an event holds
        // the function's lock, which the kernel's unbind takes after it
        // queues its last event, so a read begun in between would never
        // end and the unbind would hang.
        pollfd ready{ep0, POLLIN, 0};
        if (::poll(&ready, 1, -1) < 0 && errno != EINTR) {
            std::perror("kbench-gadget: poll ep0");
            return;
        }
        if ((ready.revents & POLLIN) == 0)
            continue;
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
                // A port reset or a disconnect ends the command in progress
                // as the class reset does.
                reset_seen = true;
                pthread_kill(bulk_thread, SIGUSR1);
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

// Set for one command by a wrong-tag fault: its status carries another tag.
bool wrong_tag_next = false;

void send_csw(std::uint32_t tag, std::uint32_t residue, kbench::bot::CswStatus status)
{
    if (wrong_tag_next) {
        wrong_tag_next = false;
        tag = ~tag;
    }
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

// The host's own commands (operation code: count) that came after a vendor
// command's opening or continuing exchange and before its next vendor
// exchange: what the disk driver interleaves with a vendor command.
std::map<std::uint8_t, unsigned> interleaved;
bool inside_vendor_command = false;

void note_interleaving(const kbench::bot::Cbw& cbw)
{
    if (cbw.cb_length > 4 && cbw.cb[0] == 0x20)
        inside_vendor_command = cbw.cb[4] != 2;
    else if (inside_vendor_command)
        ++interleaved[cbw.cb[0]];
}

void write_stats(const std::string& path, const std::vector<std::unique_ptr<kbench::ReaderLun>>& luns)
{
    if (std::FILE* out = std::fopen((path + ".interleaved").c_str(), "w")) {
        for (const auto& [operation, count] : interleaved)
            std::fprintf(out, "0x%02x:%u ", operation, count);
        std::fclose(out);
    }
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

// The armed fault, if any, and where its files are.
struct ArmedFault {
    kbench::TransportFault fault;
    kbench::FaultAim aim;
};
std::optional<ArmedFault> armed;
std::string fault_file;

void write_line(const std::string& path, const std::string& line)
{
    if (std::FILE* out = std::fopen(path.c_str(), "a")) {
        std::fprintf(out, "%s\n", line.c_str());
        std::fclose(out);
    }
}

// Takes a new fault line, if one was written since the last command.
void take_fault_file()
{
    std::FILE* in = std::fopen(fault_file.c_str(), "r");
    if (in == nullptr)
        return;
    char text[512] = {};
    const bool read = std::fgets(text, sizeof text, in) != nullptr;
    std::fclose(in);
    std::string line = read ? text : "";
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    std::string error;
    if (line == "off") {
        armed.reset();
        std::remove(fault_file.c_str());
        std::printf("kbench-gadget: no fault armed\n");
        std::fflush(stdout);
        return;
    }
    if (auto fault = kbench::parse_fault(line, error)) {
        armed.emplace(ArmedFault{*fault, kbench::FaultAim(*fault)});
        std::rename(fault_file.c_str(), (fault_file + ".armed").c_str());
    } else {
        armed.reset();
        std::rename(fault_file.c_str(), (fault_file + ".refused").c_str());
        write_line(fault_file + ".refused", error);
    }
    std::printf("kbench-gadget: fault '%s' %s\n", line.c_str(), armed ? "armed" : error.c_str());
    std::fflush(stdout);
}

// Runs the command with the armed fault in it. True when the fault took the
// command over; false when the command runs as usual (wrong-tag, unbind
// afterwards).
bool inject(const kbench::TransportFault& fault, const kbench::bot::Cbw& cbw, kbench::ReaderLun& lun,
            std::vector<std::uint8_t>& buffer)
{
    using namespace kbench::bot;
    using kbench::FaultKind;
    const bool in = cbw.direction == Direction::In;
    const bool out = cbw.direction == Direction::Out;
    std::size_t moved = 0;
    switch (fault.kind) {
    case FaultKind::Stall:
        if (in || out)
            halt(in ? ep_in : ep_out, in);
        lun.set_sense(0x0b, 0x00, 0x00);  // aborted command
        send_csw(cbw.tag, cbw.transfer_length, CswStatus::Failed);
        return true;
    case FaultKind::Fail:
    case FaultKind::Hardware:
        buffer.assign(cbw.transfer_length, 0);
        if (in || out)
            transfer(in ? ep_in : ep_out, out, buffer.data(), buffer.size(), moved);
        if (fault.kind == FaultKind::Hardware)
            lun.set_sense(0x04, 0x44, 0x00);  // hardware error: internal target failure
        else if (out)
            lun.set_sense(0x03, 0x0c, 0x00);  // medium error: write error
        else
            lun.set_sense(0x03, 0x11, 0x00);  // medium error: unrecovered read error
        send_csw(cbw.tag, 0, CswStatus::Failed);
        return true;
    case FaultKind::Short: {
        if (out) {
            buffer.resize(cbw.transfer_length);
            transfer(ep_out, true, buffer.data(), buffer.size(), moved);
            send_csw(cbw.tag, cbw.transfer_length - cbw.transfer_length / 2, CswStatus::Passed);
            return true;
        }
        kbench::Result result = lun.run(cbw, {});
        const std::uint32_t half = static_cast<std::uint32_t>(result.data_in.size() / 2);
        if (in && half > 0)
            transfer(ep_in, false, result.data_in.data(), half, moved);
        if (in)
            halt(ep_in, true);
        send_csw(cbw.tag, cbw.transfer_length - half, result.failed ? CswStatus::Failed : CswStatus::Passed);
        return true;
    }
    case FaultKind::PhaseError:
        if (in) {
            halt(ep_in, true);
        } else if (out) {
            buffer.resize(cbw.transfer_length);
            transfer(ep_out, true, buffer.data(), buffer.size(), moved);
        }
        send_csw(cbw.tag, cbw.transfer_length, CswStatus::PhaseError);
        return true;
    case FaultKind::WrongTag:
        wrong_tag_next = true;
        return false;
    case FaultKind::Silent:
        // No byte and no status: the host's time-out ends it with a reset.
        while (!reset_seen)
            usleep(10000);
        return true;
    case FaultKind::Unbind:
        return false;
    }
    return false;
}

// A command, with the armed fault if this is the one it fires on.
void run_with_fault(const kbench::bot::Cbw& cbw, std::vector<std::unique_ptr<kbench::ReaderLun>>& luns,
                    std::vector<std::uint8_t>& buffer)
{
    note_interleaving(cbw);
    if (cbw.cb_length > 0 && cbw.cb[0] == 0x20)
        take_fault_file();
    if (!armed || cbw.lun >= luns.size() || !armed->aim.fires_on(cbw)) {
        run_command(cbw, luns, buffer);
        return;
    }
    const kbench::TransportFault fault = armed->fault;
    armed.reset();
    char fired[160];
    std::snprintf(fired, sizeof fired, "fired on tag %u: code %u phase %u, %u bytes %s", cbw.tag, fault.code,
                  fault.phase, cbw.transfer_length,
                  cbw.direction == kbench::bot::Direction::In    ? "in"
                  : cbw.direction == kbench::bot::Direction::Out ? "out"
                                                                 : "none");
    std::printf("kbench-gadget: fault %s\n", fired);
    std::fflush(stdout);
    write_line(fault_file + ".fired", fired);
    if (!inject(fault, cbw, *luns[cbw.lun], buffer))
        run_command(cbw, luns, buffer);
    if (fault.kind == kbench::FaultKind::Unbind)
        write_line(fault.udc_file, "");
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
        run_with_fault(cbw, luns, buffer);
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
    fault_file = backing_dir + "/fault";

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
