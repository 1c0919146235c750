#include "vreader/model/devices/past_log/past_log.hpp"

#include "vreader/model/devices/past_log/past_log_generate.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"

#include <cerrno>

namespace vreader::past_log {
namespace {

void put_le(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(value >> (8 * i)));
}

std::string path_of(const std::string& dir, std::string_view name) { return dir + "/" + std::string(name); }

}  // namespace

std::string encode(const Entry& entry)
{
    const std::size_t payload = 1 + entry.tag.size() + 1 + entry.message.size() + 1;
    if (payload > 0xFFFF)
        return {};
    std::string out;
    out.reserve(kHeaderSize + payload);
    put_le(out, static_cast<std::uint32_t>(payload), 2);
    put_le(out, 0, 2);
    put_le(out, static_cast<std::uint32_t>(entry.pid), 4);
    put_le(out, static_cast<std::uint32_t>(entry.tid), 4);
    put_le(out, static_cast<std::uint32_t>(entry.seconds), 4);
    put_le(out, static_cast<std::uint32_t>(entry.nanoseconds), 4);
    out.push_back(static_cast<char>(entry.priority));
    out.append(entry.tag).push_back('\0');
    out.append(entry.message).push_back('\0');
    return out;
}

std::size_t split(std::string_view dump, std::vector<std::string_view>& entries)
{
    entries.clear();
    std::size_t at = 0;
    while (dump.size() - at >= kHeaderSize) {
        const auto low = static_cast<unsigned char>(dump[at + kLengthOffset]);
        const auto high = static_cast<unsigned char>(dump[at + kLengthOffset + 1]);
        const std::size_t size = kHeaderSize + (low | (std::size_t{high} << 8));
        if (size > dump.size() - at)
            break;
        entries.push_back(dump.substr(at, size));
        at += size;
    }
    return at;
}

int load(const std::string& dir, std::string& dump)
{
    const int e = read_file(path_of(dir, kPastLogFile), dump);
    if (e == ENOENT) {
        dump = generate_log({});
        return 0;
    }
    return e;
}

int save(const std::string& dir, std::string_view dump) { return replace_file(path_of(dir, kPastLogFile), dump); }

int load_counters(const std::string& dir, Counters& out)
{
    out = {};
    std::string text;
    if (const int e = read_file(path_of(dir, kPastLogStateFile), text))
        return e == ENOENT ? 0 : e;
    std::vector<KeyValue> entries;
    std::string why;
    if (!parse_key_values(text, entries, why))
        return EINVAL;
    for (const auto& [key, field] : {std::pair{"flushes", &out.flushes}, std::pair{"challenges", &out.challenges}}) {
        if (const std::string* value = find_value(entries, key)) {
            const auto number = parse_unsigned(*value);
            if (!number)
                return EINVAL;
            *field = *number;
        }
    }
    return 0;
}

int save_counters(const std::string& dir, const Counters& counters)
{
    return replace_file(
        path_of(dir, kPastLogStateFile),
        "flushes=" + std::to_string(counters.flushes) + "\nchallenges=" + std::to_string(counters.challenges) + "\n");
}

}  // namespace vreader::past_log
