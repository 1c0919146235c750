// vreader journal: show or empty the journal of device requests.
#include "vreader/launcher/cli.hpp"
#include "vreader/model/state/files.hpp"
#include "vreader/model/state/journal.hpp"
#include "vreader/model/state/reader_lock.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vreader::cli {
namespace {

int run_journal(const Verb& verb, const Args& args)
{
    if (wants_help(args)) {
        print_verb_help(verb);
        return 0;
    }
    bool clear = false;
    std::optional<std::string_view> dir;
    for (const auto arg : args) {
        if (arg == "--clear")
            clear = true;
        else if (arg.starts_with("-"))
            return usage_error(verb, "unknown option " + std::string(arg));
        else if (dir)
            return usage_error(verb, "unexpected argument " + std::string(arg));
        else
            dir = arg;
    }
    if (!dir)
        return usage_error(verb, "no directory");
    const auto reader = open_reader(verb, *dir);
    if (!reader)
        return kExitFailure;
    const ReaderLock lock(reader->file(kLockFile));
    if (clear) {
        Journal journal(reader->file(kJournalFile));
        if (const int e = journal.clear())
            return failure(verb, std::string("cannot empty the journal: ") + std::strerror(e));
        return 0;
    }
    std::string text;
    if (const int e = read_file(reader->file(kJournalFile), text); e != 0 && e != ENOENT)
        return failure(verb, std::string("cannot read the journal: ") + std::strerror(e));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace

const Verb kJournalVerb = {
    "journal",
    "DIR [--clear]",
    "print the journal of device requests",
    "Prints the journal: one JSON object per line for every request programs\n"
    "made of the reader's devices, numbered by \"seq\" across runs.\n\n"
    "  --clear   empty the journal instead; numbering starts again at 1\n",
    run_journal,
};

}  // namespace vreader::cli
