#include "vreader/model/devices/past_log/past_log_generate.hpp"

#include "vreader/model/devices/past_log/past_log.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

namespace vreader::past_log {
namespace {

// xorshift32: a fixed sequence, so every reader gets the same log.
class Sequence {
public:
    std::uint32_t next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    std::uint32_t below(std::uint32_t bound) { return next() % bound; }

private:
    std::uint32_t state_ = 0x2545F491;
};

struct Source {
    std::string_view tag;
    std::int32_t pid;
    std::array<std::int32_t, 3> tids;  // 0: unused
};

constexpr Source kKernel{"kernel", 0, {0, 0, 0}};
constexpr Source kInit{"init", 1, {1, 0, 0}};
constexpr Source kUeventd{"ueventd", 95, {95, 0, 0}};
constexpr Source kVold{"vold", 102, {102, 118, 119}};
constexpr Source kNetd{"netd", 108, {108, 121, 0}};
constexpr Source kWpa{"wpa_supplicant", 412, {412, 0, 0}};
constexpr Source kDhcp{"dhcpcd", 430, {430, 0, 0}};
constexpr Source kActivity{"ActivityManager", 380, {380, 392, 395}};
constexpr Source kPackage{"PackageManager", 380, {401, 0, 0}};
constexpr Source kPower{"PowerManager", 380, {417, 0, 0}};
constexpr Source kBattery{"BatteryService", 380, {392, 0, 0}};
constexpr Source kReader{"ReaderService", 612, {612, 640, 641}};
constexpr Source kDalvik{"dalvikvm", 612, {612, 0, 0}};
constexpr Source kLogwrapper{"logwrapper", 455, {455, 0, 0}};
constexpr Source kLibc{"libc", 102, {118, 0, 0}};
constexpr Source kWatchdog{"watchdogd", 97, {97, 0, 0}};

// One kind of line; "{n}" becomes a number.
struct Line {
    const Source* source;
    std::uint8_t priority;
    std::string_view text;
};

constexpr Line kKernelLines[] = {
    {&kKernel, 4, "CPU: ARMv7 Processor [412fc09a] revision 10 (ARMv7)\n"},
    {&kKernel, 4, "Memory policy: ECC disabled, Data cache writeback\n"},
    {&kKernel, 3, "clocksource: timer switched to {n} kHz\n"},
    {&kKernel, 4, "usbcore: registered new interface driver usb-storage\n"},
    {&kKernel, 5, "i2c i2c-{n}: no acknowledge from device 0x48\n"},
    {&kKernel, 4, "mmcblk2: p1 p2 p3 p4 < p5 p6 p7 >\n"},
    {&kKernel, 4, "EXT4-fs (mmcblk2p{n}): mounted filesystem with ordered data mode\n"},
    {&kKernel, 6, "sub_cpu: spi transfer timed out, retry {n}\n"},
    {&kKernel, 3, "epdc: temperature {n} C\n"},
    {&kKernel, 2, "wake lock event{n} released\n"},
};
constexpr Line kInitLines[] = {
    {&kInit, 4, "starting service 'vold'..."},
    {&kInit, 4, "starting service 'netd'..."},
    {&kInit, 5, "cannot open /dev/block/mmcblk2p{n}: No such device"},
    {&kInit, 4, "property 'ro.serialno' set"},
    {&kInit, 3, "processing action {n} (boot)"},
    {&kUeventd, 3, "firmware: loading 'wlan{n}.bin'"},
    {&kUeventd, 2, "coldboot {n} devices"},
    {&kInit, 4, ""},
};
constexpr Line kDaemonLines[] = {
    {&kVold, 4, "Volume sdcard state changing {n} -> {n}"},
    {&kVold, 3, "disk 179:{n} added"},
    {&kVold, 5, "fsck of /dev/block/vold/179:{n} returned {n}"},
    {&kNetd, 4, "interface wlan0 up"},
    {&kNetd, 3, "route added via 192.168.1.{n}"},
    {&kWpa, 4, "wlan0: Trying to associate with 06:3f:a2:91:5c:{n}"},
    {&kWpa, 5, "wlan0: Authentication with AP timed out."},
    {&kWpa, 4, "wlan0: CTRL-EVENT-CONNECTED - connection completed\n"},
    {&kDhcp, 4, "wlan0: leased 192.168.1.{n} for 86400 seconds"},
    {&kDhcp, 6, "wlan0: timed out\n\n"},
};
constexpr Line kSystemLines[] = {
    {&kActivity, 4, "Start proc com.reader.library for activity: pid={n}"},
    {&kPackage, 3, "scan of /system/app took {n} ms"},
    {&kPower, 2, "user activity, next dim in {n} ms"},
    {&kBattery, 5, "battery level {n}%, not charging"},
    {&kReader, 4, "opened book {n}"},
    {&kReader, 3, "page {n} rendered in {n} ms\n"},
    {&kReader, 6, "cannot open /mnt/sdcard/book{n}.epub"},
    {&kDalvik, 3, "GC_CONCURRENT freed {n}K, 12% free"},
    {&kDalvik, 3, ""},
    {&kLogwrapper, 0, "child exited with status {n}"},
    {&kLogwrapper, 9, "signal {n} caught"},
};
constexpr std::span<const Line> kPhases[] = {kKernelLines, kInitLines, kDaemonLines, kSystemLines};

struct Special {
    const Source* source;
    std::int32_t tid;
    std::uint8_t priority;
    std::string_view message;
};

// Entries 1 to 12, at fixed times for the first three.
constexpr Special kOpening[] = {
    {&kKernel, 0, 4, "Booting Linux on physical CPU 0\n"},
    {&kKernel, 0, 4, "Linux version 3.0.35 (build@factory) (gcc version 4.6.2) #1 PREEMPT\n"},
    {&kKernel, 0, 3, "Memory: 512MB = 512MB total\n"},
    {&kKernel, 0, 2, "mmc2: new high speed DDR MMC card at address 0001"},
    {&kKernel, 0, 5, "epdc: no waveform in flash, using the built-in one\n\n"},
    {&kInit, 1, 6, "cannot find '/system/etc/install-recovery.sh', disabling 'flash_recovery'"},
    {&kInit, 1, 0, "mount of /data took 412 ms"},
    {&kUeventd, 95, 9, "coldboot done"},
    {&kInit, 1, 4, ""},
    {&kLibc, 118, 7, "Fatal signal 6 (SIGABRT) at 0x00000066 (code=-6), thread 118 (vold)"},
    {&kWatchdog, 97, 8, "watchdog armed: 35 s"},
    {&kKernel, 0, 4, "\n"},
};

// "{n}" in `text` replaced by numbers below 1000.
std::string fill(std::string_view text, Sequence& sequence)
{
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        if (text.substr(at, 3) == "{n}") {
            out += std::to_string(sequence.below(1000));
            at += 3;
        } else {
            out += text[at++];
        }
    }
    return out;
}

// A message that makes `entry` `size` bytes in all (as near as the tag allows).
std::string long_message(const Entry& entry, std::size_t size)
{
    const std::size_t fixed = kHeaderSize + 1 + entry.tag.size() + 1 + 1;
    std::string message = "long entry: ";
    const std::size_t length = size > fixed ? size - fixed : 0;
    for (std::size_t i = 0; message.size() < length; ++i)
        message += static_cast<char>('a' + i % 26);
    message.resize(length);
    return message;
}

}  // namespace

std::string generate_log(const GenerateOptions& options)
{
    Sequence sequence;
    std::string dump;
    // Time since the start of the log, in nanoseconds.
    std::int64_t clock = 0;
    const std::size_t opening = std::size(kOpening);
    for (std::size_t index = 1; index <= options.count; ++index) {
        Entry entry;
        if (index <= opening) {
            const Special& special = kOpening[index - 1];
            entry.tag = special.source->tag;
            entry.pid = special.source->pid;
            entry.tid = special.tid;
            entry.priority = special.priority;
            entry.message = special.message;
            // Entries 1 to 3 fall on 0, 999999999 and 1000000 nanoseconds.
            constexpr std::int64_t kOpeningTimes[] = {0, 999'999'999, 1'001'000'000};
            clock = index <= 3 ? kOpeningTimes[index - 1] : clock + 250'000 + sequence.below(20'000'000);
        } else {
            const std::size_t phase = std::min<std::size_t>(3, (index - opening - 1) * 4 / (options.count - opening));
            const std::span<const Line> lines = kPhases[phase];
            const auto pick = [&] { return &lines[sequence.below(static_cast<std::uint32_t>(lines.size()))]; };
            const Line* chosen = pick();
            // Priorities out of range stay a rarity: such a line is drawn twice.
            if (chosen->priority < 2 || chosen->priority > 8)
                chosen = pick();
            const Line& line = *chosen;
            entry.tag = line.source->tag;
            entry.pid = line.source->pid;
            std::size_t tids = 1;
            while (tids < line.source->tids.size() && line.source->tids[tids] != 0)
                ++tids;
            entry.tid = line.source->tids[sequence.below(static_cast<std::uint32_t>(tids))];
            entry.priority = line.priority;
            entry.message = fill(line.text, sequence);
            // The kernel logs in quick succession; the services take longer.
            clock += phase == 0 ? 50'000 + sequence.below(20'000'000) : 1'000'000 + sequence.below(400'000'000);
        }
        entry.seconds = kLogStart + static_cast<std::int32_t>(clock / 1'000'000'000);
        entry.nanoseconds = static_cast<std::int32_t>(clock % 1'000'000'000);
        if (index == options.long_entry)
            entry.message = long_message(entry, options.long_size);
        dump += encode(entry);
    }
    return dump;
}

}  // namespace vreader::past_log
