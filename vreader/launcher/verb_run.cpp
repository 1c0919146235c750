// vreader run: run a program's virtual build on a virtual reader. The
// launcher replaces itself with the program, so the program's output and
// exit status are the command's own.
#include "vreader/launcher/cli.hpp"

#include "vreader/model/devices/input/input_trace.hpp"
#include "vreader/model/state/files.hpp"

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace vreader::cli {
namespace {

constexpr int kExitCannotExecute = 126;
constexpr int kExitNotFound = 127;

// VREADER_PROGRAMS, else programs/ beside the launcher's own executable.
std::string programs_directory()
{
    if (const char* dir = std::getenv("VREADER_PROGRAMS"); dir != nullptr && *dir != '\0')
        return dir;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return "programs";
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1) + "programs";
}

bool is_program(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> available_programs(const std::string& dir)
{
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(dir.c_str())) {
        while (const dirent* entry = ::readdir(listing))
            if (entry->d_name[0] != '.' && is_program(dir + "/" + entry->d_name))
                names.emplace_back(entry->d_name);
        ::closedir(listing);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> split_words(const char* text)
{
    std::vector<std::string> words;
    std::istringstream stream(text != nullptr ? text : "");
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

// Starts the program with a pipe for its standard input, plays the trace
// into it and the input devices, then ends its input and waits for it.
int run_with_trace(const Verb& verb, const ReaderDir& reader, const std::vector<TraceStep>& steps, double open_wait,
                   char** argv, bool emulated)
{
    int input[2];
    if (::pipe(input) != 0)
        return failure(verb, std::string("cannot make a pipe: ") + std::strerror(errno));
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0)
        return failure(verb, std::string("cannot start the program: ") + std::strerror(errno));
    if (child == 0) {
        ::dup2(input[0], 0);
        ::close(input[0]);
        ::close(input[1]);
        if (emulated)
            ::execvp(argv[0], argv);
        else
            ::execv(argv[0], argv);
        std::fprintf(stderr, "vreader run: cannot run %s: %s\n", argv[0], std::strerror(errno));
        ::_exit(kExitCannotExecute);
    }
    ::close(input[0]);
    ::signal(SIGPIPE, SIG_IGN);
    int status = 0;
    bool ended = false;
    const auto stop = [&] {
        ended = ended || ::waitpid(child, &status, WNOHANG) == child;
        return ended;
    };
    const std::string error = play_trace(reader, steps, input[1], open_wait, stop);
    ::close(input[1]);
    if (!ended)
        ::waitpid(child, &status, 0);
    if (!error.empty())
        std::fprintf(stderr, "vreader run: the trace: %s\n", error.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int run_run(const Verb& verb, const Args& given)
{
    // Options after PROGRAM are the program's own.
    Args args = given;
    if (!args.empty() &&
        (args[0] == "--help" || args[0] == "-h" || (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")))) {
        print_verb_help(verb);
        return 0;
    }
    std::optional<std::string> trace_file;
    double open_wait = 60;
    if (args.size() >= 3 && args[1] == "--trace") {
        trace_file = absolute_path(args[2]);
        args.erase(args.begin() + 1, args.begin() + 3);
        if (args.size() >= 3 && args[1] == "--open-wait") {
            char* end = nullptr;
            errno = 0;
            const std::string seconds(args[2]);
            open_wait = std::strtod(seconds.c_str(), &end);
            if (seconds.empty() || *end != '\0' || errno != 0 || !(open_wait >= 0 && open_wait <= 3600))
                return usage_error(verb, "--open-wait takes seconds, 0 to 3600: " + seconds);
            args.erase(args.begin() + 1, args.begin() + 3);
        }
    }
    if (args.size() < 2)
        return usage_error(verb, "too few arguments");
    const std::string_view program = args[1];
    if (program.empty() || program.find('/') != std::string_view::npos || program == "." || program == "..")
        return usage_error(verb, "PROGRAM is the name of a program, not a path: " + std::string(program));

    const std::string dir = absolute_path(args[0]);
    const auto reader = open_reader(verb, dir);
    if (!reader)
        return kExitFailure;
    std::vector<TraceStep> steps;
    if (trace_file) {
        std::string text, error;
        if (const int e = read_file(*trace_file, text))
            return failure(verb, *trace_file + ": " + std::strerror(e));
        if (!parse_trace(text, steps, error))
            return usage_error(verb, *trace_file + ": " + error);
    }
    const std::string programs = programs_directory();
    const std::string path = programs + "/" + std::string(program);
    if (!is_program(path)) {
        std::string listing;
        for (const auto& name : available_programs(programs))
            listing += " " + name;
        std::fprintf(stderr, "vreader run: no program '%.*s' in %s\navailable programs:%s\n",
                     static_cast<int>(program.size()), program.data(), programs.c_str(),
                     listing.empty() ? " none" : listing.c_str());
        return kExitNotFound;
    }

    if (::setenv("VREADER_DIR", dir.c_str(), 1) != 0)
        return failure(verb, std::string("cannot set VREADER_DIR: ") + std::strerror(errno));
    std::vector<std::string> command = split_words(std::getenv("VREADER_EMULATOR"));
    const bool emulated = !command.empty();
    command.push_back(path);
    for (size_t i = 2; i < args.size(); ++i)
        command.emplace_back(args[i]);
    std::vector<char*> argv;
    for (auto& word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    if (trace_file)
        return run_with_trace(verb, *reader, steps, open_wait, argv.data(), emulated);
    std::fflush(stdout);
    if (emulated)
        ::execvp(argv[0], argv.data());
    else
        ::execv(argv[0], argv.data());
    const int error = errno;
    std::fprintf(stderr, "vreader run: cannot run %s: %s\n", argv[0], std::strerror(error));
    return error == ENOENT ? kExitNotFound : kExitCannotExecute;
}

}  // namespace

const Verb kRunVerb = {
    "run",
    "DIR [--trace FILE [--open-wait SECONDS]] PROGRAM [ARGS...]",
    "run a program on the virtual reader in DIR",
    "Runs the virtual build of PROGRAM with ARGS, on the virtual reader in DIR.\n"
    "The program replaces the launcher: its standard input and output and its\n"
    "exit status are the command's own. Status 125 means the launcher failed, 127 that there is no\n"
    "such program, 126 that it could not be started.\n\n"
    "Programs are looked up in the programs/ directory beside the vreader\n"
    "executable, or in $VREADER_PROGRAMS. When $VREADER_EMULATOR is set (such\n"
    "as 'qemu-arm -L /usr/arm-linux-gnueabihf'), the program is run through\n"
    "that command.\n\n"
    "With --trace FILE, the launcher stays: it plays the finger trace in FILE\n"
    "into the reader's input devices and the program's standard input (see\n"
    "'vreader touch --help' for the format), ends that input when the trace is\n"
    "played, and returns the program's exit status. It waits up to 60 s, or\n"
    "SECONDS, for the program to open the input devices the trace uses; the\n"
    "events of a device still unopened are dropped, as a kernel drops those\n"
    "nobody reads, and the rest of the trace plays.\n",
    run_run,
};

}  // namespace vreader::cli
