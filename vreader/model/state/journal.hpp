// The journal (journal.jsonl): one JSON object per line for every request a
// program made of the virtual devices, numbered across runs.
#pragma once

#include "vreader/model/state/json_line.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace vreader {

class Journal {
public:
    explicit Journal(std::string path) : path_(std::move(path)) {}

    // Appends the line with the next sequence number, after the count of
    // the repeats it was holding. The caller holds the reader's lock, so
    // other processes do not interleave. Returns 0 or an errno value.
    int append(const JsonLine& line);

    // A foldable line identical to the last one appended is only counted:
    // true when it was. The count is written, as a copy of the line with
    // "repeated":N, before the next different line, at flush(), or every
    // kFoldLimit repeats.
    bool fold(const JsonLine& line);
    bool holding() const { return repeats_ != 0; }
    int flush();

    static constexpr std::uint64_t kFoldLimit = 65536;

    // Empties the journal; numbering starts again at 1.
    int clear();

private:
    int write_line(const JsonLine& line);

    std::string path_;
    std::optional<JsonLine> last_;  // the last foldable line written
    std::uint64_t repeats_ = 0;     // identical lines counted since
    std::uint64_t next_seq_ = 1;
    long long known_size_ = -1;  // journal size after our last append
};

}  // namespace vreader
