// tarvik: one sub-CPU or charger command per run. The command word (reg,
// req or ver) and its option may stand anywhere among the arguments; d
// traces the packets, n builds and prints them without sending.
#include "subcpu/subcmd.hpp"
#include "subcpu/tarvik.hpp"
#include "platform/standard_output.hpp"

namespace {

int run(int argc, char** argv)
{
    using namespace tarvik;
    if (argc < 2) {
        usage();
        return 1;
    }
    // Only the first d or n counts; a help word ends the run.
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        if (word[0] == 'd') {
            subcmd::debug_cmd_out();
            break;
        }
        if (word[0] == 'n') {
            subcmd::debug_no_send();
            break;
        }
        if (is_help(word)) {
            usage();
            return 1;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (begins(argv[i], "reg"))
            return proc_reg(argc, argv, i + 1);
        if (begins(argv[i], "req"))
            return proc_req(argc, argv, i + 1);
        if (begins(argv[i], "ver"))
            return proc_ver(argc, argv, i + 1);
    }
    usage();
    return 1;
}

}  // namespace

int main(int argc, char** argv) { return sys::with_standard_output(run(argc, argv), 1); }
