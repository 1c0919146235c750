#include "vreader/model/devices/past_log/past_log_row.hpp"

#include "vreader/model/devices/past_log/past_log.hpp"
#include "vreader/model/devices/past_log/past_log_generate.hpp"
#include "vreader/model/devices/past_log/past_log_nodes.hpp"
#include "vreader/model/devices/past_log/past_log_requests.hpp"

#include <cstdio>
#include <cstring>
#include <vector>

namespace vreader {
namespace {

void control_stat(const ReaderConfig&, struct stat& st) { char_device_stat(st, kMiscMajor, kPastLogControlMinor); }
void log_stat(const ReaderConfig&, struct stat& st) { char_device_stat(st, kMiscMajor, kPastLogMinor); }

constexpr DeviceNode kControlNode{control_stat, PastLogControlFile::open};
constexpr DeviceNode kLogNode{log_stat, PastLogFile::open};

const DeviceNode* find_past_log_node(const ReaderConfig&, std::string_view path)
{
    if (path == kPastLogControlPath)
        return &kControlNode;
    if (path == kPastLogPath)
        return &kLogNode;
    return nullptr;
}

constexpr FaultTake kControlTakes[] = {{"open", kErrnoEffect}, {"close", kErrnoEffect}};
// The log node takes no data: every write fails, so nothing is there to
// halve or to lose. A short read hands over half an entry.
constexpr FaultTake kLogTakes[] = {
    {"open", kErrnoEffect},
    {"read", kReadEffects},
    {"write", kErrnoEffect},
    {"close", kErrnoEffect},
};
constexpr FaultScope kPastLogScopes[] = {
    {.name = kPastLogControlDevice, .takes = kControlTakes, .driver_requests = past_log::kFaultRequests},
    {.name = kPastLogDevice, .takes = kLogTakes},
};

std::string print_past_log(Session& session)
{
    const ReaderDir& reader = session.dir();
    std::string dump;
    past_log::Counters counters;
    if (const int e = past_log::load(reader.path(), dump); e != 0)
        std::printf("past_log=unreadable: %s\n", std::strerror(e));
    if (const int e = past_log::load_counters(reader.path(), counters); e != 0)
        std::printf("past_log_state=unreadable: %s\n", std::strerror(e));
    std::vector<std::string_view> entries;
    past_log::split(dump, entries);
    std::printf("past_log_entries=%zu\npast_log_bytes=%zu\npast_log_flushes=%llu\n", entries.size(), dump.size(),
                static_cast<unsigned long long>(counters.flushes));
    return {};
}

// The generated log of a boot, nothing flushed yet.
int create_past_log(const std::string& root, const ReaderConfig&)
{
    const std::string path = root.substr(0, root.size() - 1);
    int e = past_log::save(path, past_log::generate_log({}));
    if (e == 0)
        e = past_log::save_counters(path, {});
    return e;
}

}  // namespace

const DeviceRow kPastLogRow = {
    .name = "past_log",
    .find_node = find_past_log_node,
    .fault_requests = past_log::kFaultRequests,
    .fault_scopes = kPastLogScopes,
    .print_state = print_past_log,
    .create = create_past_log,
};

}  // namespace vreader
