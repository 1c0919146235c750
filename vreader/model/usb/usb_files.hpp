// The reader's file service behind vendor codes 128 to 131: files under
// storage/ of the reader's directory, named by the path a PC sends. A path
// is resolved by the reader alone and never reaches a file outside storage/:
// "/documents/a.txt" and "documents/a.txt" are the same file; a name is
// printable ASCII without the characters a Windows file name cannot hold,
// and no component is empty, "." or "..", a device name such as "CON", or
// begins or ends with a blank or ends with a dot; nothing on the way may be
// a symbolic link. Each call opens the file afresh and moves one piece, so a
// transfer of any size costs one piece per exchange. Portable C++.
#pragma once

#include "protocol/vendor_records.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vreader::usb {

inline constexpr std::string_view kStorageDir = "storage";
using protocol::vendor::kPathFieldSize;

// Makes `dir`/storage/ afresh, with a sample document in it. 0 or an errno value.
int create_storage(const std::string& dir);

// Whether `name` can be one component of a path, or a file name of its own.
bool valid_name(std::string_view name);

// The storage-relative path ("documents/a.txt") that a path field names:
// its text up to the first zero byte, or the whole field without one. Empty
// when the path is refused.
std::string storage_path(const std::vector<std::uint8_t>& field);

class Storage {
public:
    explicit Storage(std::string root) : root_(std::move(root)) {}

    // The file's size, or kNoSuchFile, kNotAFile, kPathRefused, kFileTooLarge.
    std::int32_t size(const std::string& path) const;
    // 0 when `length` bytes from `position` can be read, else a code.
    std::int32_t check_read(const std::string& path, std::int64_t position, std::int64_t length) const;
    // 0 when `length` bytes can be written at `position` (at most the end of
    // the file); a missing file is created, with its folders, at position 0.
    std::int32_t prepare_write(const std::string& path, std::int64_t position, std::int64_t length) const;
    std::int32_t read(const std::string& path, std::int64_t offset, std::size_t count,
                      std::vector<std::uint8_t>& out) const;
    std::int32_t write(const std::string& path, std::int64_t offset, const std::vector<std::uint8_t>& data) const;
    std::int32_t remove(const std::string& path) const;

private:
    // The file's place on the host, or a code when a link is on the way.
    std::int32_t locate(const std::string& path, std::string& out) const;

    std::string root_;
};

}  // namespace vreader::usb
