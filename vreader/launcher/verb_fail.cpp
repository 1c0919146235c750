// vreader fail: make device requests fail, to exercise programs' error paths.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/errno_names.hpp"
#include "vreader/model/faults.hpp"
#include "vreader/model/files.hpp"
#include "vreader/model/key_value.hpp"
#include "vreader/model/reader_lock.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

std::string known_requests()
{
    std::string text;
    for (const auto name : fault_requests())
        text += "\n  " + std::string(name);
    return text;
}

int run_fail(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    if (args.size() < 2)
        return usage_error(verb, "too few arguments");
    const bool list = args[1] == "--list";
    const bool clear = args[1] == "--clear";
    Fault fault;
    if (list || clear) {
        if (args.size() != 2)
            return usage_error(verb, "unexpected argument " + std::string(args[2]));
    } else {
        if (args.size() < 3 || args.size() > 4)
            return usage_error(verb, args.size() < 3 ? "too few arguments" : "too many arguments");
        if (!is_fault_request(args[1]))
            return usage_error(verb,
                               "unknown request '" + std::string(args[1]) + "'; known requests:" + known_requests());
        const auto error = parse_errno(args[2]);
        if (!error)
            return usage_error(verb,
                               "ERRNO must be a number or one of " + known_errno_names() + ": " + std::string(args[2]));
        fault.request = std::string(args[1]);
        fault.error = *error;
        if (args.size() == 4 && args[3] == "always") {
            fault.always = true;
        } else if (args.size() == 4) {
            const auto count = parse_unsigned(args[3], UINT32_MAX);
            if (!count || *count == 0)
                return usage_error(verb, "COUNT must be a positive number or 'always': " + std::string(args[3]));
            fault.remaining = static_cast<std::uint32_t>(*count);
        }
    }

    const auto reader = open_reader(verb, args[0]);
    if (!reader)
        return kExitFailure;
    const ReaderLock lock(reader->file(kLockFile));
    const std::string path = reader->file(kFaultsFile);
    std::string text;
    if (const int e = read_file(path, text); e != 0 && e != ENOENT)
        return failure(verb, path + ": " + std::strerror(e));
    std::vector<Fault> faults;
    std::string error;
    if (!clear && !parse_faults(text, faults, error))
        return failure(verb, path + ": " + error);
    if (list) {
        const std::string listing = format_faults(faults);
        std::fwrite(listing.data(), 1, listing.size(), stdout);
        return 0;
    }
    if (clear)
        faults.clear();
    else
        set_fault(faults, fault);
    if (const int e = replace_file(path, format_faults(faults)))
        return failure(verb, path + ": " + std::strerror(e));
    return 0;
}

}  // namespace

const Verb kFailVerb = {
    "fail",
    "DIR REQUEST ERRNO [COUNT] | DIR --list | DIR --clear",
    "make device requests fail",
    "Makes the next COUNT requests named REQUEST fail with ERRNO (a number or a\n"
    "name such as EIO), whatever the program asks. COUNT is a positive number\n"
    "(default 1) or 'always'; a count is used up across runs. A new fault on a\n"
    "request replaces the one it had. A failed request changes nothing and is\n"
    "journaled with \"injected\":true.\n\n"
    "REQUEST is 'open' (opening any device node), 'close', 'read', 'write',\n"
    "'mmap', 'usleep', 'nanosleep', 'poll' (a poll that only waits), or a\n"
    "display controller request such as MXCFB_SEND_UPDATE.\n\n"
    "  --list    print the faults still set, one 'REQUEST ERRNO COUNT' a line\n"
    "  --clear   remove every fault\n",
    run_fail,
};

}  // namespace vreader::cli
