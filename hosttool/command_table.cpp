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
     "A code has at most 7 bytes. A wrong one leaves the reader locked (-5).", run_unlock},
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
     "NAME has at most 31 bytes; FIRST, SECOND and THIRD are the reader's three\n"
     "words (decimal or 0x hexadecimal). The library may wait before the reader's\n"
     "answer, by the upper 16 bits of THIRD.",
     run_partition_create},
    {"partition create-image", "NAME FIRST SECOND THIRD IMAGE [--tag TAG] [--extra FILE]", 5, 5,
     "create an update partition from an image file",
     "Streams the IMAGE file into the new partition, tagged TAG (at most 16\n"
     "bytes, default none), with the 128-byte block of FILE when given. The\n"
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
    "  -h, --help           this help; COMMAND --help for a command's own\n"
    "      --version        the version of the tool (and of the library it came with)\n";

const char kStatus[] =
    "Exit status: 0 when the command succeeded. A result code of the library or the\n"
    "reader exits with its absolute value (125 for larger ones) and the message gives\n"
    "the code. 64: bad arguments; 66: a PC file cannot be read or does not fit (too\n"
    "large, an extra block not of 128 bytes); 69: no reader, several, or it does not\n"
    "open; 73: a PC file or standard output cannot be written (a closed pipe, a full\n"
    "disk); 75: the application lock is held elsewhere (try again later); 78: the\n"
    "library's named mutexes cannot be made, with --lock (without, a warning);\n"
    "1: the eject failed; 128 + the signal when interrupted: 130 SIGINT or Ctrl-C,\n"
    "143 SIGTERM, 129 SIGHUP or a closed console. An interrupt while the drive is\n"
    "open lets the library call in progress finish (a transfer stops between two\n"
    "pieces, and at once while it waits on a pipe or a terminal) and closes the\n"
    "drive as always; a second one ends at once.\n";

std::string usage_line(const Command& command)
{
    std::string line = std::string("fendrac [OPTIONS] ") + command.name;
    if (*command.arguments != '\0')
        line += std::string(" ") + command.arguments;
    return line;
}

// printf into a string, for text that goes to standard output whole.
template <typename... Values>
std::string format(const char* pattern, Values... values)
{
    char text[1024];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string overview()
{
    std::string text = std::string(
                           "usage: fendrac [OPTIONS] COMMAND [ARGUMENTS]\n\n"
                           "The reader's USB commands from this PC, through its library.\n\n") +
                       kOptions + "\nCommands:\n";
    for (const Command& command : kCommands) {
        std::string left = std::string(command.name) + " " + command.arguments;
        if (left.size() > 30)
            text += format("  %s\n  %-30s %s\n", left.c_str(), "", command.summary);
        else
            text += format("  %-30s %s\n", left.c_str(), command.summary);
    }
    return text + "\n" + kStatus;
}

std::string command_help(const Command& command)
{
    std::string text = "usage: " + usage_line(command) + "\n\n" + command.summary + ".\n";
    if (*command.help != '\0')
        text += std::string(command.help) + "\n";
    return text + "\n" + kOptions + "\n" + kStatus;
}

// The commands whose name begins with `group` followed by a space.
std::string group_help(const std::string& group)
{
    std::string text;
    for (const Command& command : kCommands)
        if (std::string_view(command.name).starts_with(group + " "))
            text += format("  %s %s\n      %s\n", command.name, command.arguments, command.summary);
    return text;
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

}  // namespace

int bad_arguments(Session& session, const std::string& message)
{
    return session.fail(kBadArguments, message + " (fendrac --help)");
}

int bad_length(Session& session, const char* what, std::size_t least, std::size_t most, std::size_t size)
{
    const std::string range =
        least > 0 ? std::to_string(least) + " to " + std::to_string(most) : "at most " + std::to_string(most);
    return bad_arguments(session, std::string(what) + " has " + range + " bytes, not " + std::to_string(size));
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
    if (arguments.version)
        return session.print("fendrac " FENDRAC_VERSION_STRING "\n");
    Words words = arguments.words;
    bool help = arguments.help;
    if (!words.empty() && words[0] == "help") {
        words.erase(words.begin());
        help = true;
    }
    if (words.empty()) {
        if (help)
            return session.print(overview());
        if (!session.json())
            std::fputs(overview().c_str(), stderr);
        return session.fail(kBadArguments, "a command is needed (fendrac --help)");
    }
    std::size_t used = 0;
    const Command* command = find(words, used);
    if (command == nullptr) {
        if (!is_group(words[0]))
            return bad_arguments(session, "unknown command " + words[0]);
        if (help)
            return session.print("usage: fendrac [OPTIONS] " + words[0] + " SUBCOMMAND ...\n\n" + group_help(words[0]));
        const int status = bad_arguments(session, words.size() > 1 ? "unknown command " + words[0] + " " + words[1]
                                                                   : words[0] + " needs a subcommand");
        if (!session.json())
            std::fputs(group_help(words[0]).c_str(), stderr);
        return status;
    }
    if (help)
        return session.print(command_help(*command));
    const Words rest(words.begin() + static_cast<std::ptrdiff_t>(used), words.end());
    if (static_cast<int>(rest.size()) < command->least || static_cast<int>(rest.size()) > command->most)
        return bad_arguments(session, "usage: " + usage_line(*command));
    const std::string_view name = command->name;
    if ((arguments.has_tag || !arguments.extra.empty()) && name != "partition create-image")
        return bad_arguments(session, "--tag and --extra belong to partition create-image");
    if (const int status = session.create_mutexes())
        return status;
    return command->run(session, rest);
}

}  // namespace tool
