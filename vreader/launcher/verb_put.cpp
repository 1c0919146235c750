// vreader put: a file into an eMMC area.
#include "vreader/launcher/cli.hpp"
#include "vreader/launcher/regions.hpp"
#include "vreader/model/devices/emmc/emmc_content.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

int run_put(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    Args positional;
    std::uint64_t offset = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--offset") {
            const auto number = i + 1 < args.size() ? parse_byte_count(args[i + 1]) : std::nullopt;
            if (!number)
                return usage_error(verb, "--offset takes a byte count");
            offset = *number;
            ++i;
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.size() != 3)
        return usage_error(verb, positional.size() < 3 ? "too few arguments" : "too many arguments");
    const auto reader = open_reader(verb, positional[0]);
    if (!reader)
        return kExitFailure;
    const auto region = named_region(verb, *reader, positional[1]);
    if (!region)
        return kExitFailure;
    std::string bytes;
    if (const int e = read_file(absolute_path(positional[2]), bytes))
        return failure(verb, std::string(positional[2]) + ": " + std::strerror(e));
    if (offset > region->size || bytes.size() > region->size - offset)
        return failure(verb, std::string(positional[2]) + " has " + std::to_string(bytes.size()) + " bytes; '" +
                                 region->name + "' holds " + std::to_string(region->size) + " from offset 0");
    const ReaderLock lock(reader->file(kLockFile));
    if (const int e = write_region(*region, offset, bytes))
        return failure(verb, "cannot write '" + region->name + "': " + std::strerror(e));
    std::printf("%zu bytes into '%s' at 0x%08llX\n", bytes.size(), region->name.c_str(),
                static_cast<unsigned long long>(region->base) + region->offset + offset);
    return 0;
}

}  // namespace

const Verb kPutVerb = {
    "put",
    "DIR AREA FILE [--offset N]",
    "write a file into an eMMC area or the sub-CPU's flash",
    "Writes FILE at the start of AREA (or N bytes into it), as a person with a\n"
    "programmer would; the rest keeps its bytes. A file that does not fit is\n"
    "refused. AREA is named as for 'vreader dump': an eMMC area, 'subcpu' or\n"
    "'subcpu-active'.\n",
    run_put,
};

}  // namespace vreader::cli
