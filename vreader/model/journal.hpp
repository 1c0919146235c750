// The journal (journal.jsonl): one JSON object per line for every request a
// program made of the virtual devices, numbered across runs.
#pragma once

#include "vreader/model/json_line.hpp"

#include <cstdint>
#include <string>

namespace vreader {

class Journal {
public:
    explicit Journal(std::string path) : path_(std::move(path)) {}

    // Appends the line with the next sequence number. The caller holds the
    // reader's lock, so other processes do not interleave. Returns 0 or an
    // errno value.
    int append(const JsonLine& line);

    // Empties the journal; numbering starts again at 1.
    int clear();

private:
    std::string path_;
    std::uint64_t next_seq_ = 1;
    long long known_size_ = -1;  // journal size after our last append
};

}  // namespace vreader
