// The PC's side of a transfer: a file, or standard input or output for "-"
// (in binary mode, so that Windows changes no line ends), read and written
// piece by piece so that a file of any size takes the same memory.
// Failures come with the system's own text.
#pragma once

#include <cstdio>
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
    // end), or -1 with `error` set.
    long long read(std::span<unsigned char> buffer, std::string& error);

private:
    std::FILE* file_ = nullptr;
    std::optional<long long> size_;
};

// A whole small file (an extra block, a tunnel response) of at most
// `largest` bytes; a file known to be larger is refused before any read.
// False with `message` saying why, naming the file.
bool read_whole(const std::string& path, long long largest, std::vector<unsigned char>& bytes,
                std::string& message);

// Writes a file, or standard output. A file (new, or a plain file that
// exists) is written beside its place and takes that place only at
// commit(), so that a transfer that fails leaves what was there; anything
// else (a device, a pipe, a link) is written in place.
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
    std::FILE* file_ = nullptr;
    std::string path_;     // where the bytes belong
    std::string partial_;  // where they are written until commit(); empty: in place
};

}  // namespace tool
