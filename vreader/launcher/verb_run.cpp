// vreader run: run a program's virtual build on a virtual reader. The
// launcher replaces itself with the program, so the program's output and
// exit status are the command's own. When it has a trace to play, or
// faults set for the run to account for, it stays and waits instead.
#include "vreader/launcher/cli.hpp"
#include "vreader/launcher/unfired_faults.hpp"

#include "vreader/model/devices/input/input_trace.hpp"
#include "vreader/model/state/files.hpp"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// The program a launcher that stays waits for; a signal sent to the
// launcher alone is passed on to it.
volatile pid_t g_program = 0;

void pass_on(int signal, siginfo_t* info, void*)
{
    // The terminal's signals reach the program as well as the launcher.
    if (info != nullptr && info->si_code == SI_KERNEL)
        return;
    if (g_program > 0)
        ::kill(g_program, signal);
}

void pass_signals_on()
{
    for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2}) {
        struct sigaction old {};
        // A signal the launcher was started ignoring, the program ignores as well.
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_sigaction = pass_on;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        ::sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
    ::signal(SIGPIPE, SIG_IGN);
}

// Ends the launcher as the program ended: with its exit status, or by the
// signal that ended it (without a second core dump).
int end_as(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    const int signal = WTERMSIG(status);
    std::fflush(stderr);
    const struct rlimit no_core {
        0, 0
    };
    ::setrlimit(RLIMIT_CORE, &no_core);
    ::signal(signal, SIG_DFL);
    sigset_t set;
    ::sigemptyset(&set);
    ::sigaddset(&set, signal);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
    ::raise(signal);
    return 128 + signal;
}

// Runs the program as a child, waits for it, then says which of `pending`
// it left unfired. The program dies with the launcher, as it would if the
// launcher had become it.
int run_and_report(const Verb& verb, const ReaderDir& reader, const PendingFaults& pending, char** argv, bool emulated)
{
    std::fflush(stdout);
    const pid_t launcher = ::getpid();
    const pid_t child = ::fork();
    if (child < 0)
        return failure(verb, std::string("cannot start the program: ") + std::strerror(errno));
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != launcher)
            ::_exit(kExitCannotExecute);
        if (emulated)
            ::execvp(argv[0], argv);
        else
            ::execv(argv[0], argv);
        const int error = errno;
        std::fprintf(stderr, "vreader run: cannot run %s: %s\n", argv[0], std::strerror(error));
        ::_exit(error == ENOENT ? kExitNotFound : kExitCannotExecute);
    }
    g_program = child;
    pass_signals_on();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    g_program = 0;
    report_unfired(reader, pending);
    return end_as(status);
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
    argv.reserve(command.size() + 1);
    for (auto& word : command)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const PendingFaults pending = pending_faults(*reader);
    if (trace_file) {
        const int status = run_with_trace(verb, *reader, steps, open_wait, argv.data(), emulated);
        report_unfired(*reader, pending);
        return status;
    }
    if (!pending.empty())
        return run_and_report(verb, *reader, pending, argv.data(), emulated);
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
    "nobody reads, and the rest of the trace plays.\n\n"
    "When the run starts with an 'at N' fault or a counted fault set (see\n"
    "'vreader fail --help'), the launcher stays too: once the program ended, it\n"
    "says on its standard error, one line each, an 'at N' fault whose request N\n"
    "never came and a counted fault with firings left, and how many. The\n"
    "program's exit status stays the command's own.\n",
    run_run,
};

}  // namespace vreader::cli
