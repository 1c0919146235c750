// vreader: create and inspect virtual readers, and run the reader's programs
// on them.
#include "vreader/launcher/cli.hpp"

#include "vreader/model/board/device_table.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

using namespace vreader::cli;

const Verb* const kVerbs[] = {&kInitVerb, &kRunVerb,    &kTouchVerb,   &kScreenshotVerb, &kJournalVerb,
                              &kFailVerb, &kStateVerb,  &kSetVerb,     &kTableVerb,      &kDumpVerb,
                              &kPutVerb,  &kTunnelVerb, &kPastLogVerb, &kUeventVerb,     &kBitmapVerb};

const Verb* find_verb(std::string_view name)
{
    for (const Verb* verb : kVerbs)
        if (verb->name == name)
            return verb;
    return nullptr;
}

void print_overview(std::FILE* out)
{
    std::fprintf(out,
                 "usage: vreader VERB [ARGS...]\n\n"
                 "A virtual reader is a directory that holds the state of models of the\n"
                 "reader's devices. The reader's programs, built against those models, run\n"
                 "on it through 'vreader run'.\n\nVerbs:\n");
    for (const Verb* verb : kVerbs)
        std::fprintf(out, "  %-11.*s %.*s\n", static_cast<int>(verb->name.size()), verb->name.data(),
                     static_cast<int>(verb->summary.size()), verb->summary.data());
    std::fprintf(out, "  %-11s %s\n\n'vreader VERB --help' describes a verb.\n", "help", "show this text");
}

int short_usage()
{
    std::fprintf(stderr, "usage: vreader VERB [ARGS...]\nverbs:");
    for (const Verb* verb : kVerbs)
        std::fprintf(stderr, " %.*s", static_cast<int>(verb->name.size()), verb->name.data());
    std::fprintf(stderr, " help\nTry 'vreader --help'.\n");
    return kExitUsage;
}

}  // namespace

// A verb's output is what a script reads (state lines, a dump, the
// journal): one that did not reach standard output fails the verb.
static int with_output_written(int status)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (flushed && !std::ferror(stdout))
        return status;
    const int error = !flushed && errno != 0 ? errno : EIO;
    std::fprintf(stderr, "vreader: cannot write standard output: %s\n", std::strerror(error));
    return status == 0 ? kExitFailure : status;
}

static int run(int argc, char** argv)
{
    if (argc < 2)
        return short_usage();
    const std::string_view name = argv[1];
    Args args(argv + 2, argv + argc);
    if (name == "--help" || name == "-h" || name == "help") {
        if (name == "help" && !args.empty()) {
            if (const Verb* verb = find_verb(args[0])) {
                print_verb_help(*verb);
                return 0;
            }
            std::fprintf(stderr, "vreader: unknown verb '%.*s'\n", static_cast<int>(args[0].size()), args[0].data());
            return kExitUsage;
        }
        print_overview(stdout);
        return 0;
    }
    const Verb* verb = find_verb(name);
    if (verb == nullptr) {
        std::fprintf(stderr, "vreader: unknown verb '%.*s'\n", static_cast<int>(name.size()), name.data());
        return short_usage();
    }
    vreader::use_device_table();
    return verb->run(*verb, args);
}

int main(int argc, char** argv) { return with_output_written(run(argc, argv)); }
