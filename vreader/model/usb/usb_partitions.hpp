// The update partitions that the reader makes for a PC in update mode
// (vendor codes 113 to 116), kept in partitions/ of the reader's directory:
//
//     NAME.img        the image data received (empty for a partition made
//                     without an image)
//     NAME.conf       key=value: first, second, third (the request's three
//                     parameters, unsigned), image (yes/no: made with an
//                     image), tag, extra (the 128-byte block in hex, or
//                     none), announced (the image byte count announced)
//     NAME.incoming   an image while it arrives; renamed to NAME.img once
//                     it came whole
//
// A partition exists while its NAME.conf does. Portable C++.
#pragma once

#include "protocol/vendor_records.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::usb {

inline constexpr std::string_view kPartitionsDir = "partitions";
using protocol::vendor::kExtraBlockSize;
using protocol::vendor::kImageTagSize;
using protocol::vendor::kPartitionNameSize;  // at most 31 characters and a zero

struct Partition {
    std::string name;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    std::uint32_t third = 0;
    bool image = false;
    std::string tag;
    std::vector<std::uint8_t> extra;  // empty when the block did not come
    std::uint32_t announced = 0;
    std::uint64_t bytes = 0;  // image bytes held
};

// The name a 32-byte field holds (its text up to the first zero byte), or
// empty when the name is refused: empty, 32 characters, or not a valid file
// name (a "/", a non-printable character, ...).
std::string partition_name(const std::vector<std::uint8_t>& field);

// Makes `dir`/partitions/ afresh and empty. 0 or an errno value.
int create_partitions(const std::string& dir);

class Partitions {
public:
    explicit Partitions(const std::string& dir);

    std::optional<Partition> find(const std::string& name) const;
    // Every partition, by name.
    std::vector<Partition> list() const;
    // Results are 0 or the reader's codes.
    std::int32_t create(const Partition& partition) const;
    std::int32_t remove(const std::string& name) const;
    // An image in three steps: an empty incoming file, pieces appended at
    // their offsets, and the partition made of it.
    std::int32_t begin_image(const std::string& name) const;
    std::int32_t write_image(const std::string& name, std::uint64_t offset,
                             const std::vector<std::uint8_t>& data) const;
    std::int32_t finish_image(const Partition& partition) const;
    void drop_image(const std::string& name) const;

private:
    std::string file(const std::string& name, std::string_view suffix) const;
    std::int32_t save(const Partition& partition) const;

    std::string root_;
};

}  // namespace vreader::usb
