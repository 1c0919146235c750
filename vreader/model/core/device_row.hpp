// One device of the reader as the board's device table lists it: its nodes
// in the /dev tree, what the faults file may name on it, its lines of
// `vreader state`, its keys of `vreader set` and its files in a new reader.
// Core code reaches every device through the table and names none.
#pragma once

#include "vreader/model/core/device_file.hpp"
#include "vreader/model/core/fault_scope.hpp"
#include "vreader/model/core/reader_context.hpp"
#include "vreader/model/state/faults.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace vreader {

// A kind of node: a device node, an attribute of /sys a model answers, or a
// directory of the tree.
struct DeviceNode {
    // What stat shows of it, into a zeroed `st`.
    void (*stat)(const ReaderConfig& config, struct stat& st);
    // Opens it as descriptor `fd` and journals the attempt: `fd` or -errno.
    // Null for a directory, which cannot be opened.
    std::int64_t (*open)(ReaderContext& context, const std::string& path, int flags, int fd,
                         std::unique_ptr<DeviceFile>& out) = nullptr;
    // Whether the node is there now, for one the tree names that can come
    // and go (a LUN's attributes); null when it always is.
    bool (*exists)(const ReaderDir& dir, std::string_view path) = nullptr;
};

struct DeviceRow {
    std::string_view name{};

    // The node at `path` (absolute and normalised: "/dev/...", or an
    // attribute of /sys), or null when the device has none there.
    const DeviceNode* (*find_node)(const ReaderConfig& config, std::string_view path) = nullptr;

    // The request names the device adds to the faults file.
    std::span<const DeviceFaultRequest> fault_requests{};
    // Its nodes that a fault may be scoped to ("fb0", "event1"), and what
    // each takes.
    std::span<const FaultScope> fault_scopes{};

    // Prints its `vreader state` lines; empty, or why the state could not
    // be read at all. One session serves every device's lines, so the lock
    // a device takes holds until the last line.
    std::string (*print_state)(Session& session) = nullptr;

    // `vreader set`: whether `key` is the device's.
    bool (*owns_key)(std::string_view key) = nullptr;
    // Checks the value before the reader is opened: empty, or why not.
    std::string (*check_value)(std::string_view key, std::string_view value) = nullptr;
    // Sets the key: empty, or why not. The launcher holds the reader's lock
    // around it unless `set_locks_itself`.
    std::string (*set_key)(const ReaderDir& dir, std::string_view key, std::string_view value) = nullptr;
    bool set_locks_itself = false;
    // Whether set_key's refusal is a usage error (a value the device cannot
    // take) rather than a failure (its files).
    bool set_refusal_is_usage = true;

    // Writes the device's files as a new reader has them, into the reader's
    // directory `root` (ending in '/'), replacing what an earlier reader
    // left. 0 or an errno value.
    int (*create)(const std::string& root, const ReaderConfig& config) = nullptr;
};

// Makes `table` the reader's devices, in the order of their `vreader state`
// lines, and adds their request names to the faults file's. The board does
// this before a process first reaches a device or reads a faults file.
void use_devices(std::span<const DeviceRow* const> table);
std::span<const DeviceRow* const> devices();

// What stat shows of a directory of the tree.
void directory_stat(const ReaderConfig& config, struct stat& st);
inline constexpr DeviceNode kDirectoryNode{directory_stat};

}  // namespace vreader
