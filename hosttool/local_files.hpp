// The PC's side of a transfer: a file, or standard input or output for "-",
// read and written piece by piece so that a file of any size takes the same
// memory, as raw bytes (Windows changes no line ends). Reads and writes
// return when an interrupt is noted (pc_io.hpp). Failures come with the
// system's own text.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tool {

bool is_standard_stream(const std::string& path);
// The name a message gives it: the path, or "standard input" / "standard output".
std::string local_name(const std::string& path, bool input);

class LocalSource {
public:
    LocalSource() = default;
    ~LocalSource();
    LocalSource(const LocalSource&) = delete;
    LocalSource& operator=(const LocalSource&) = delete;

    // Opens the file (or standard input); false with `error` set.
    bool open(const std::string& path, std::string& error);
    // The bytes still to come, when known beforehand (a file, not a pipe).
    std::optional<long long> size() const { return size_; }
    // Fills `buffer` unless the end comes first: the bytes read (0 at the
    // end), or -1 with `error` set ("interrupted" for an interrupt).
    long long read(std::span<unsigned char> buffer, std::string& error);

private:
    int descriptor_ = -1;
    bool owned_ = false;
    std::optional<long long> size_;
};

// What a PC file may hold: at most `bytes`, or exactly that many; `what`
// names the thing in the message ("an extra block").
struct SizeLimit {
    long long bytes;
    bool exact;
    const char* what;
};
// The message that refuses `name` for holding `size` bytes (a negative
// size: more than the limit, counted no further), the same for every
// limit: "NAME has SIZE bytes; WHAT has at most LIMIT".
std::string size_refusal(const std::string& name, long long size, const SizeLimit& limit);

// A whole small file (an extra block, a tunnel response) within `limit`; a
// file known not to fit is refused before any read. False with `message`
// saying why, naming the file.
bool read_whole(const std::string& path, const SizeLimit& limit, std::vector<unsigned char>& bytes,
                std::string& message);

// Writes a file, or standard output. A file (new, or a plain file that
// exists) is written to a partial file of its own beside it, created
// exclusively under a name no one can foretell (never through a name or a
// link that exists), which takes the file's place only at commit(): a
// transfer that fails leaves what was there, and two transfers to one file
// do not mix. Anything else (a device, a FIFO, a link that exists) is
// written in place.
class LocalSink {
public:
    LocalSink() = default;
    ~LocalSink();  // without commit(): the partial file is removed
    LocalSink(const LocalSink&) = delete;
    LocalSink& operator=(const LocalSink&) = delete;

    bool open(const std::string& path, std::string& error);
    bool write(std::span<const unsigned char> bytes, std::string& error);
    bool commit(std::string& error);

private:
    int descriptor_ = -1;
    bool owned_ = false;
    std::string path_;     // where the bytes belong
    std::string partial_;  // where they are written until commit(); empty: in place
};

}  // namespace tool
