// vreader pastlog: what the past-log driver serves: a generated boot log, a
// dump loaded from a file, or nothing.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/devices/past_log/past_log.hpp"
#include "vreader/model/devices/past_log/past_log_generate.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/key_value.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

constexpr std::size_t kMinLongSize = 64;

// "K" or "K:SIZE" for --long.
bool parse_long(std::string_view text, past_log::GenerateOptions& options)
{
    const auto colon = text.find(':');
    const auto entry = parse_unsigned(text.substr(0, colon), past_log::kMaxGeneratedEntries);
    if (!entry || *entry == 0)
        return false;
    options.long_entry = static_cast<std::size_t>(*entry);
    if (colon == std::string_view::npos)
        return true;
    const auto size = parse_unsigned(text.substr(colon + 1), past_log::kMaxEntrySize);
    if (!size || *size < kMinLongSize)
        return false;
    options.long_size = static_cast<std::size_t>(*size);
    return true;
}

bool is_number(std::string_view text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

int run_pastlog(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    std::optional<std::string_view> dir, action, file;
    past_log::GenerateOptions options;
    bool long_given = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool has_next = i + 1 < args.size();
        if (arg == "--generate" || arg == "--load" || arg == "--clear") {
            if (action)
                return usage_error(verb, "one of --generate, --load and --clear");
            action = arg;
            if (arg == "--load") {
                if (!has_next)
                    return usage_error(verb, "--load needs a file");
                file = args[++i];
            } else if (arg == "--generate" && has_next && is_number(args[i + 1])) {
                const auto count = parse_unsigned(args[++i], past_log::kMaxGeneratedEntries);
                if (!count)
                    return usage_error(verb, "--generate takes 0 to 100000 entries: " + std::string(args[i]));
                options.count = static_cast<std::size_t>(*count);
            }
        } else if (arg == "--long") {
            if (!has_next || !parse_long(args[++i], options))
                return usage_error(verb, "--long takes an entry number from 1, and :SIZE from 64 to 65555 bytes");
            long_given = true;
        } else if (arg.starts_with("-")) {
            return usage_error(verb, "unknown option " + std::string(arg));
        } else if (dir) {
            return usage_error(verb, "more than one directory");
        } else {
            dir = arg;
        }
    }
    if (!dir)
        return usage_error(verb, "no directory");
    if (long_given && action != "--generate")
        return usage_error(verb, "--long goes with --generate");
    if (long_given && options.long_entry > options.count)
        return usage_error(
            verb, "--long names entry " + std::to_string(options.long_entry) + " of " + std::to_string(options.count));
    const auto reader = open_reader(verb, *dir);
    if (!reader)
        return kExitFailure;

    std::string dump;
    if (file) {
        if (const int e = read_file(absolute_path(*file), dump))
            return failure(verb, std::string(*file) + ": " + std::strerror(e));
        std::vector<std::string_view> entries;
        if (const std::size_t whole = past_log::split(dump, entries); whole != dump.size())
            return failure(verb, std::string(*file) + " ends inside entry " + std::to_string(entries.size() + 1) +
                                     ", at byte " + std::to_string(whole) + " of " + std::to_string(dump.size()));
    } else if (action == "--generate") {
        dump = past_log::generate_log(options);
    }
    const ReaderLock lock(reader->file(kLockFile));
    if (action) {
        if (const int e = past_log::save(reader->path(), dump))
            return failure(verb, "cannot write the past log: " + std::string(std::strerror(e)));
    } else if (const int e = past_log::load(reader->path(), dump)) {
        return failure(verb, "cannot read the past log: " + std::string(std::strerror(e)));
    }
    std::vector<std::string_view> entries;
    past_log::split(dump, entries);
    std::printf("past log: %zu entries, %zu bytes\n", entries.size(), dump.size());
    return 0;
}

}  // namespace

const Verb kPastLogVerb = {
    "pastlog",
    "DIR [--generate [N] [--long K[:SIZE]] | --load FILE | --clear]",
    "set the past log the past-log driver serves",
    "Sets what /dev/log_past serves, kept in past_log.bin: entries back to back,\n"
    "each a 20-byte little-endian header and its payload. Without an option it\n"
    "shows how many entries the log holds.\n\n"
    "  --generate [N]   the generated boot log of a new reader, N entries\n"
    "                   (default 300, at most 100000); the same every time\n"
    "  --long K[:SIZE]  with --generate: entry K (from 1) gets a message that\n"
    "                   makes it SIZE bytes (default 4609, 64 to 65555)\n"
    "  --load FILE      a binary dump; refused unless it is whole entries\n"
    "  --clear          an empty log\n",
    run_pastlog,
};

}  // namespace vreader::cli
