// The commands by name, their help, and the run of one command line.
#include "hosttool/command_table.hpp"

#include "fendrac.h"
#include "hosttool/commands.hpp"

#include <cstdio>
#include <span>
#if defined(_WIN32)
#include <windows.h>
#endif

namespace tool {
namespace {

const Command kCommands[] = {
    {"list", "", 0, 0, "the reader volumes of this PC: built-in storage and card slots",
     "Asks every volume for its identity; each reader volume is a line:\n"
     "device, vendor, product, revision, kind. Opens no drive.",
     run_list},
    {"info", "", 0, 0, "protocol version, device type, media state, free space",
     "Opens the reader and shows what it tells of itself.", run_info},
    {"time set", "[now|YYYY-MM-DDTHH:MM:SS]", 0, 1, "set the reader's clock (default: the PC's local time)",
     "Sends the clock record: the date and time given, or the PC's local time,\n"
     "with its weekday.",
     run_time_set},
    {"unlock", "CODE", 1, 1, "unlock the reader with its unlock code",
     "A code has at most 7 characters. A wrong one leaves the reader locked (-5).", run_unlock},
    {"notify", "begin|end", 1, 1, "tell the reader that a run of transfers begins or ends",
     "Sends the begin/end notice: 1 for begin, 0 for end.", run_notify},
    {"file size", "REMOTE", 1, 1, "the size of a file on the reader", "Prints the size in bytes.", run_file_size},
    {"file get", "REMOTE [LOCAL]", 1, 2, "copy a file of the reader to the PC",
     "Writes the file to LOCAL, or to standard output without LOCAL or for \"-\".", run_file_get},
    {"file put", "LOCAL REMOTE", 2, 2, "copy a file to the reader, replacing it",
     "Reads LOCAL (\"-\": standard input), under 2 GiB. A file at REMOTE is deleted\n"
     "first (the reader cannot rename), so that the copy is whole and no longer than\n"
     "LOCAL: a copy that fails or is interrupted is deleted too, and the old one is\n"
     "lost then.",
     run_file_put},
    {"file rm", "REMOTE", 1, 1, "delete a file on the reader", "", run_file_rm},
    {"update mode", "N", 1, 1, "switch the reader's mode (the reader's numbers: 1 update, 0 normal)", "",
     run_update_mode},
    {"partition create", "NAME FIRST SECOND THIRD", 4, 4, "create an empty update partition",
     "NAME has at most 31 characters; FIRST, SECOND and THIRD are the reader's three\n"
     "words (decimal or 0x hexadecimal). The library may wait before the reader's\n"
     "answer, by the upper 16 bits of THIRD.",
     run_partition_create},
    {"partition create-image", "NAME FIRST SECOND THIRD IMAGE [--tag TAG] [--extra FILE]", 5, 5,
     "create an update partition from an image file",
     "Streams the IMAGE file into the new partition, tagged TAG (at most 16\n"
     "characters, default none), with the 128-byte block of FILE when given. The\n"
     "image goes in one library call: on a terminal its seconds are counted.",
     run_partition_create_image},
    {"partition size", "NAME", 1, 1, "the reader's three words for a partition", "Prints FIRST SECOND THIRD.",
     run_partition_size},
    {"partition rm", "NAME", 1, 1, "delete an update partition", "", run_partition_rm},
    {"tunnel get", "[FILE]", 0, 1, "the HTTP request the reader prepared, bytes only",
     "Writes the request to FILE, or to standard output. When none is waiting it\n"
     "says so and writes no file.",
     run_tunnel_get},
    {"tunnel put", "FILE [NEXT]", 1, 2, "hand the reader the HTTP response in FILE",
     "Reads the response from FILE (\"-\": standard input) and writes the reader's\n"
     "next request, if any, to NEXT or to standard output, bytes only (when none\n"
     "is waiting it says so and writes no file):\n"
     "  fendrac tunnel get | curl-like-client | fendrac tunnel put -",
     run_tunnel_put},
    {"eject", "", 0, 0, "eject the reader, as safe removal does",
     "Refused while a volume of the reader is in use (Linux: mounted); then the\n"
     "reader is connected again and the status is 1.",
     run_eject},
};

const char kOptions[] =
    "Options:\n"
    "  -d, --device DEVICE  the reader volume: a drive letter (E:) on Windows, a device\n"
    "                       node (/dev/sdb, /dev/sg2) on Linux; without it, the one\n"
    "                       reader found (by its built-in storage)\n"
    "      --json           print the outcome as one JSON object, failures too\n"
    "      --lock           hold the application lock while the command runs\n"
    "  -h, --help           this help; COMMAND --help for a command's own\n";

const char kStatus[] =
    "Exit status: 0 when the command succeeded. A result code of the library or the\n"
    "reader exits with its absolute value (125 for larger ones) and the message gives\n"
    "the code. 64: bad arguments; 66: a PC file cannot be read; 69: no reader, several,\n"
    "or it does not open; 73: a PC file cannot be written; 75: the application lock is\n"
    "held elsewhere; 1: the eject failed; 130: interrupted. An interrupt while the\n"
    "drive is open lets the library call in progress finish (a transfer stops\n"
    "between two pieces) and closes the drive as always; a second one ends at once.\n"
    "A closed output pipe is a write that fails (73).\n";

std::string usage_line(const Command& command)
{
    std::string line = std::string("fendrac [OPTIONS] ") + command.name;
    if (*command.arguments != '\0')
        line += std::string(" ") + command.arguments;
    return line;
}

void print_overview(std::FILE* out)
{
    std::fprintf(out,
                 "usage: fendrac [OPTIONS] COMMAND [ARGUMENTS]\n\n"
                 "The reader's USB commands from this PC, through its library.\n\n%s\nCommands:\n",
                 kOptions);
    for (const Command& command : kCommands) {
        std::string left = std::string(command.name) + " " + command.arguments;
        if (left.size() > 30) {
            std::fprintf(out, "  %s\n  %-30s %s\n", left.c_str(), "", command.summary);
        } else {
            std::fprintf(out, "  %-30s %s\n", left.c_str(), command.summary);
        }
    }
    std::fprintf(out, "\n%s", kStatus);
}

void print_command_help(const Command& command)
{
    std::printf("usage: %s\n\n%s.\n", usage_line(command).c_str(), command.summary);
    if (*command.help != '\0')
        std::printf("%s\n", command.help);
    std::printf("\n%s\n%s", kOptions, kStatus);
}

// The commands whose name begins with `group` followed by a space.
void print_group(std::FILE* out, const std::string& group)
{
    for (const Command& command : kCommands)
        if (std::string_view(command.name).starts_with(group + " "))
            std::fprintf(out, "  %s %s\n      %s\n", command.name, command.arguments, command.summary);
}

bool is_group(const std::string& word)
{
    for (const Command& command : kCommands)
        if (std::string_view(command.name).starts_with(word + " "))
            return true;
    return false;
}

// The command named by the first one or two words.
const Command* find(const Words& words, std::size_t& used)
{
    for (const Command& command : kCommands) {
        const std::string_view name = command.name;
        const std::size_t space = name.find(' ');
        if (space == std::string_view::npos) {
            if (words[0] == name) {
                used = 1;
                return &command;
            }
        } else if (words.size() > 1 && words[0] == name.substr(0, space) && words[1] == name.substr(space + 1)) {
            used = 2;
            return &command;
        }
    }
    return nullptr;
}

// The host application creates the library's named mutexes.
void create_application_locks()
{
#if defined(_WIN32)
    static HANDLE handles[3];
    const char* names[3] = {"Global\\ZEPA_EBOOK_QLX_STATE1", "Global\\ZEPA_EBOOK_QLX_STATE2",
                            "Global\\ZEPA_EBOOK_QLX_STATE3"};
    for (int i = 0; i < 3; ++i)
        if (handles[i] == nullptr)
            handles[i] = CreateMutexA(nullptr, FALSE, names[i]);
#else
    MSC_CreateMutexes();
#endif
}

}  // namespace

int bad_arguments(Session& session, const std::string& message)
{
    return session.fail(kBadArguments, message + " (fendrac --help)");
}

int run_command_line(int argc, char** argv)
{
#if defined(_WIN32)
    // Asking every drive letter must not make Windows ask the user to insert
    // a disk into an empty card slot: the open just fails.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
#endif
    const Arguments arguments = parse_arguments(argc, argv);
    watch_interrupts(arguments.json);
    Session session(arguments);
    if (!arguments.error.empty())
        return bad_arguments(session, arguments.error);
    Words words = arguments.words;
    bool help = arguments.help;
    if (!words.empty() && words[0] == "help") {
        words.erase(words.begin());
        help = true;
    }
    if (words.empty()) {
        if (help) {
            print_overview(stdout);
            return 0;
        }
        if (!session.json())
            print_overview(stderr);
        return session.fail(kBadArguments, "a command is needed (fendrac --help)");
    }
    std::size_t used = 0;
    const Command* command = find(words, used);
    if (command == nullptr) {
        if (!is_group(words[0]))
            return bad_arguments(session, "unknown command " + words[0]);
        if (help) {
            std::printf("usage: fendrac [OPTIONS] %s SUBCOMMAND ...\n\n", words[0].c_str());
            print_group(stdout, words[0]);
            return 0;
        }
        const int status = bad_arguments(session, words.size() > 1 ? "unknown command " + words[0] + " " + words[1]
                                                                   : words[0] + " needs a subcommand");
        if (!session.json())
            print_group(stderr, words[0]);
        return status;
    }
    if (help) {
        print_command_help(*command);
        return 0;
    }
    const Words rest(words.begin() + static_cast<std::ptrdiff_t>(used), words.end());
    if (static_cast<int>(rest.size()) < command->least || static_cast<int>(rest.size()) > command->most)
        return bad_arguments(session, "usage: " + usage_line(*command));
    const std::string_view name = command->name;
    if ((arguments.has_tag || !arguments.extra.empty()) && name != "partition create-image")
        return bad_arguments(session, "--tag and --extra belong to partition create-image");
    create_application_locks();
    return command->run(session, rest);
}

}  // namespace tool
