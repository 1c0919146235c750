// vreader dump: an eMMC area in hex, or its raw bytes into a file; the
// identity area field by field.
#include "vreader/launcher/cli.hpp"
#include "vreader/launcher/regions.hpp"
#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/devices/emmc/identity_area.hpp"
#include "vreader/model/state/files.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

// Sixteen bytes a line with their text; a run of lines equal to the one
// before is shown as a single "*", so an empty area takes three lines.
void print_hex(std::string_view bytes, std::uint64_t base)
{
    std::string_view previous;
    bool skipping = false;
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
        const std::string_view row = bytes.substr(at, 16);
        if (row.size() == 16 && row == previous) {
            if (!skipping)
                std::printf("*\n");
            skipping = true;
            continue;
        }
        skipping = false;
        previous = row;
        std::printf("%08llx ", static_cast<unsigned long long>(base) + at);
        for (std::size_t i = 0; i < 16; ++i) {
            if (i == 8)
                std::printf(" ");
            if (i < row.size())
                std::printf(" %02x", static_cast<unsigned char>(row[i]));
            else
                std::printf("   ");
        }
        std::printf("  |");
        for (const char c : row)
            std::putchar(c >= 0x20 && c < 0x7F ? c : '.');
        std::printf("|\n");
    }
    std::printf("%08llx\n", static_cast<unsigned long long>(base) + bytes.size());
}

int run_dump(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    std::vector<std::string_view> positional;
    std::optional<std::string_view> raw;
    std::optional<std::uint64_t> length;
    std::uint64_t offset = 0;
    bool fields = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--fields") {
            fields = true;
        } else if (args[i] == "--raw" || args[i] == "--length" || args[i] == "--offset") {
            if (i + 1 == args.size())
                return usage_error(verb, std::string(args[i]) + " needs a value");
            const std::string_view value = args[++i];
            if (args[i - 1] == "--raw") {
                raw = value;
            } else if (args[i - 1] == "--offset") {
                const auto number = parse_byte_count(value);
                if (!number)
                    return usage_error(verb, "--offset takes a byte count: " + std::string(value));
                offset = *number;
            } else if (!(length = parse_byte_count(value))) {
                return usage_error(verb, "--length takes a byte count: " + std::string(value));
            }
        } else if (args[i].starts_with("-")) {
            return usage_error(verb, "unknown option " + std::string(args[i]));
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 2)
        return usage_error(verb, positional.size() < 2 ? "too few arguments" : "too many arguments");
    if (fields && (raw || length || offset != 0))
        return usage_error(verb, "--fields shows the whole area: no --offset, --length or --raw");
    const auto reader = open_reader(verb, positional[0]);
    if (!reader)
        return kExitFailure;
    const auto region = named_region(verb, *reader, positional[1]);
    if (!region)
        return kExitFailure;
    // The identity area is the one whose name starts with "Id", as the
    // provisioning tool finds it.
    if (fields && !region->name.starts_with("Id"))
        return usage_error(verb, "--fields shows the identity area only, not '" + region->name + "'");
    if (offset > region->size)
        return usage_error(verb, "--offset is past the end of '" + region->name + "'");
    std::string bytes;
    const std::uint64_t left = region->size - offset;
    if (const int e = read_region(*region, offset, std::min(left, length.value_or(left)), bytes))
        return failure(verb, "cannot read '" + region->name + "': " + std::strerror(e));
    if (fields) {
        const std::string text = describe_identity(bytes);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    if (raw) {
        if (const int e = replace_file(absolute_path(*raw), bytes))
            return failure(verb, std::string(*raw) + ": " + std::strerror(e));
        return 0;
    }
    print_hex(bytes, region->base + offset);
    return 0;
}

}  // namespace

const Verb kDumpVerb = {
    "dump",
    "DIR AREA [--offset N] [--length N] [--raw FILE] | DIR id --fields",
    "show an eMMC area or the sub-CPU's flash in hex, or save it",
    "Shows AREA in hex and text, 16 bytes a line; repeated lines are shown as\n"
    "'*'. AREA is a raw area of the eMMC, by a name from 'vreader table' or the\n"
    "start of exactly one, in any case (waveform, normal, 'boot env'), shown\n"
    "from offset 0; or the sub-CPU's flash, shown by address from 0x1000:\n"
    "'subcpu' (the cluster an update writes) or 'subcpu-active' (the one that\n"
    "runs).\n\n"
    "  --offset N   start N bytes into AREA\n"
    "  --length N   only N bytes (K, M, G allowed)\n"
    "  --raw FILE   write the bytes to FILE instead\n"
    "  --fields     the identity area ('id') field by field: name, offset,\n"
    "               length and content, as quoted text when it is printable\n"
    "               (then zeros), else its first 16 bytes in hex, '(erased)'\n"
    "               when all are 0xff; then moa_size and the key blob's first\n"
    "               bytes\n",
    run_dump,
};

}  // namespace vreader::cli
