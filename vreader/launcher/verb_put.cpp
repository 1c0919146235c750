// vreader put: a file into an eMMC area.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/emmc_content.hpp"
#include "vreader/model/files.hpp"
#include "vreader/model/reader_lock.hpp"

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
    if (args.size() != 3)
        return usage_error(verb, args.size() < 3 ? "too few arguments" : "too many arguments");
    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    const auto area = named_area(verb, *reader, args[1]);
    if (!area)
        return kExitFailure;
    std::string bytes;
    if (const int e = read_file(absolute_path(args[2]), bytes))
        return failure(verb, std::string(args[2]) + ": " + std::strerror(e));
    if (bytes.size() > area->size)
        return failure(verb, std::string(args[2]) + " has " + std::to_string(bytes.size()) + " bytes; '" +
                                 area->name + "' holds " + std::to_string(area->size));
    const ReaderLock lock(reader->file(kLockFile));
    if (const int e = write_emmc(*reader, area->offset, bytes))
        return failure(verb, "cannot write '" + area->name + "' on the eMMC: " + std::strerror(e));
    std::printf("%zu bytes into '%s' at 0x%08llX\n", bytes.size(), area->name.c_str(),
                static_cast<unsigned long long>(area->offset));
    return 0;
}

}  // namespace

const Verb kPutVerb = {
    "put",
    "DIR AREA FILE",
    "write a file into an eMMC area",
    "Writes FILE at the start of the raw area AREA of the eMMC, as a person\n"
    "with a programmer would; the rest of the area keeps its bytes. A file\n"
    "larger than the area is refused. AREA is named as for 'vreader dump'.\n",
    run_put,
};

}  // namespace vreader::cli
