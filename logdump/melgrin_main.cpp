// melgrin: writes out the log the kernel kept from earlier runs (the past
// log), as text lines or as the raw binary entries, from the driver or from
// a binary dump made earlier; or has the kernel flush its log to storage.
#include "logdump/log_entry.hpp"
#include "platform/heap_array.hpp"
#include "platform/sys.hpp"
#include "platform/unique_fd.hpp"
#include "protocol/past_log_requests.hpp"

#include <fcntl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

using namespace melgrin;

constexpr const char* kControl = "/dev/melgrin";
constexpr const char* kLog = "/dev/log_past";

constexpr unsigned long kFlush = protocol::past_log::kFlush;
constexpr unsigned long kChallenge = protocol::past_log::kChallenge;
constexpr unsigned long kComplement = protocol::past_log::kComplement;
constexpr unsigned long kKeyed = protocol::past_log::kConfirm;
using protocol::past_log::kHandshakeKey;

constexpr int kAttempts = 3;
constexpr long long kMinimumDump = 4096;  // a smaller output file is taken as a failed dump

// What one attempt reads and writes, open from its start to its clean-up.
sys::UniqueFd ifd;
sys::UniqueFd ofd;
FILE* oStream = nullptr;

const char* const kUsage[] = {
    "melgrin [options]",
    "",
    "  When you do not appoint an option, execute a out of the log.",
    "",
    "  [options]",
    "    [flush | out | bin]",
    "      flush     : Write in all the log on the memory.",
    "      out       : Output all the old text log.",
    "      bin       : Output all the old binary log (logger entry format).",
    "                  Appoint a -o option.",
    "",
    "    [-o -i]",
    "      -o <file> : Output file.",
    "      -i <file> : Input file (binary log fomrat).",
};

void usage()
{
    for (const char* line : kUsage)
        std::fprintf(stderr, "%s\n", line);
}

bool word_is(const char* word, const char* name) { return std::strncmp(word, name, std::strlen(name)) == 0; }

// The output as the messages name it.
const char* output_name(const char* output) { return output != nullptr ? output : "stdout"; }

// The entries of the source, each to the output; true when every entry
// came and went out whole.
bool read_log(std::uint8_t* entry, bool binary, const char* input, const char* output, long long file_size)
{
    long long consumed = 0;
    for (;;) {
        std::size_t size = 0;
        if (input == nullptr) {
            const ssize_t n = sys::read(ifd.get(), entry, kReadLimit);
            if (n == 0)
                return true;
            if (n < 0) {
                std::fprintf(stderr, "cannot read : %s\n", kLog);
                return false;
            }
            size = static_cast<std::size_t>(n);
        } else {
            const DumpRead got = read_dump_entry(ifd.get(), entry, size);
            if (got != DumpRead::Entry) {
                if (got == DumpRead::End && consumed == file_size)
                    return true;
                std::fprintf(stderr, "cannot read : %s\n", input);
                return false;
            }
            consumed += static_cast<long long>(size);
        }
        if (binary) {
            if (sys::write(ofd.get(), entry, size) != static_cast<ssize_t>(size)) {
                std::fprintf(stderr, "cannot write : %s\n", output);
                return false;
            }
        } else {
            print_log_entry(oStream, entry, size);
            if (std::ferror(oStream)) {
                std::fprintf(stderr, "cannot write : %s\n", output_name(output));
                return false;
            }
        }
    }
}

// Unlocks the past log with the driver's three-step handshake.
bool handshake()
{
    const sys::UniqueFd control(sys::open(kControl, O_RDWR | O_CLOEXEC));
    if (!control.valid()) {
        std::fprintf(stderr, "cannot open : %s\n", kControl);
        return false;
    }
    std::uint32_t value = 0;
    const char* failed = nullptr;
    if (sys::ioctl(control.get(), kChallenge, &value) != 0) {
        failed = "h1";
    } else {
        value = ~value;
        if (sys::ioctl(control.get(), kComplement, &value) != 0) {
            failed = "h2";
        } else {
            value ^= kHandshakeKey;
            if (sys::ioctl(control.get(), kKeyed, &value) != 0)
                failed = "h3";
        }
    }
    if (failed != nullptr)
        std::fprintf(stderr, "%s error : %s\n", failed, kControl);
    return failed == nullptr;
}

// Closes what the attempt opened; false when the output did not reach its
// file whole: the last of it is written only by the flush or the close,
// so the output is taken from its owner to be closed here, where the
// close's result can be read.
bool clean_up()
{
    bool written = true;
    ifd.reset();
    if (ofd.valid())
        written = sys::close(ofd.release()) == 0;
    if (oStream != nullptr && oStream != stdout)
        written = std::fclose(oStream) == 0;
    else if (oStream == stdout)
        written = std::fflush(stdout) == 0 && !std::ferror(stdout);
    oStream = nullptr;
    for (int i = 0; i < 3; ++i)
        sys::sync();
    return written;
}

// Opens the source of the entries into ifd: the past log once unlocked, or
// a dump file, whose size goes to `file_size`. false when it cannot be read.
bool open_input(const char* input, long long& file_size)
{
    if (input == nullptr) {
        if (!handshake())
            return false;
        ifd.reset(sys::open(kLog, O_RDONLY | O_CLOEXEC));
        if (!ifd.valid()) {
            std::fprintf(stderr, "cannot open : %s\n", kLog);
            return false;
        }
        return true;
    }
    ifd.reset(sys::open(input, O_RDONLY | O_CLOEXEC));
    if (!ifd.valid()) {
        std::fprintf(stderr, "cannot open : %s\n", input);
        return false;
    }
    struct stat st {};
    if (sys::fstat(ifd.get(), &st) == 0)
        file_size = st.st_size;
    return true;
}

// Opens where the entries go: ofd for binary output, oStream for text.
bool open_output(bool binary, const char* output)
{
    if (binary && output != nullptr) {
        ofd.reset(sys::open(output, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0664));
        if (!ofd.valid()) {
            std::fprintf(stderr, "cannot create : %s\n", output);
            return false;
        }
    } else if (binary) {
        std::fprintf(stderr, "When you appoint a bin option, appoint the -o option.\n");
        return false;
    } else if (output != nullptr) {
        oStream = sys::fopen(output, "w");
        if (oStream == nullptr) {
            std::fprintf(stderr, "cannot open : %s\n", output);
            return false;
        }
    } else {
        // A failed write of an earlier attempt is not this attempt's.
        std::clearerr(stdout);
        oStream = stdout;
    }
    return true;
}

// Whether the dump to read and the file to write are one file (by any
// name): creating the output would empty the input before it is read.
bool same_file(const char* input, const char* output)
{
    struct stat in {
    }, out{};
    return input != nullptr && output != nullptr && sys::stat(input, &in) == 0 && sys::stat(output, &out) == 0 &&
           in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// The entries, read through a cleared buffer of their own.
bool dump(bool binary, const char* input, const char* output, long long file_size)
{
    const sys::HeapArray<std::uint8_t> entry(kEntryBuffer);
    if (!entry) {
        std::fprintf(stderr, "out of memory %u\n", static_cast<unsigned>(kEntryBuffer));
        return false;
    }
    return read_log(entry.get(), binary, input, output, file_size);
}

// One dump: 0 when it worked, 1 when it did not. Whatever step fails, the
// attempt ends with the clean-up, so the storage is synced every time.
int proc(bool binary, const char* input, const char* output)
{
    long long file_size = 0;
    const bool opened = open_input(input, file_size) && open_output(binary, output);
    const bool dumped = opened && dump(binary, input, output, file_size);
    const bool written = clean_up();
    if (dumped && !written)
        std::fprintf(stderr, "cannot write : %s\n", output_name(output));
    return dumped && written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    bool flush = false, binary = false;
    const char* output = nullptr;
    const char* input = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (word_is(word, "flush")) {
            flush = true;
        } else if (word_is(word, "out")) {
            binary = false;
        } else if (word_is(word, "bin")) {
            binary = true;
        } else if (word_is(word, "-o") || word_is(word, "-i")) {
            if (i + 1 == argc) {
                std::fprintf(stderr, "%.2s option error\n", word);
                return 1;
            }
            (word[1] == 'o' ? output : input) = argv[++i];
        } else if (word_is(word, "-h") || word_is(word, "--help")) {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "unknown option : '%s'\n", word);
            return 1;
        }
    }

    if (flush) {
        const sys::UniqueFd control(sys::open(kControl, O_RDWR | O_CLOEXEC));
        if (!control.valid()) {
            std::fprintf(stderr, "cannot open : %s\n", kControl);
            return 1;
        }
        const bool flushed = sys::ioctl(control.get(), kFlush, nullptr) == 0;
        if (!flushed)
            std::fprintf(stderr, "flush error : %s\n", kControl);
        return flushed ? 0 : 1;
    }
    if (binary && output == nullptr) {
        std::fprintf(stderr, "When you appoint a bin option, appoint the -o option.\n");
        return 1;
    }
    if (same_file(input, output)) {
        std::fprintf(stderr, "input and output are the same file : %s\n", output);
        return 1;
    }

    int result = 1;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        result = proc(binary, input, output);
        if (result == 0 && output != nullptr) {
            struct stat st {};
            if (sys::stat(output, &st) != 0)
                result = -1;
            else if (st.st_size < kMinimumDump)
                result = 1;
        }
        if (result == 0)
            break;
        const timespec pause{3, 0};
        sys::nanosleep(&pause, nullptr);
    }
    return result == 0 ? 0 : (result < 0 ? 255 : 1);
}
