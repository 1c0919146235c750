// Interrupts and a closed output pipe: POSIX signals, or the Windows
// console's control handler (which runs on a thread of its own).
#include "hosttool/interrupts.hpp"

#include <atomic>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace tool {
namespace {

std::atomic<int> g_in_use{0};
std::atomic<int> g_interrupts{0};
std::atomic<int> g_line_open{0};
std::atomic<int> g_json{0};

// Only calls that are safe in a signal handler from here on.
void put(int descriptor, const char* text)
{
#if defined(_WIN32)
    _write(descriptor, text, static_cast<unsigned>(std::strlen(text)));
#else
    if (::write(descriptor, text, std::strlen(text)) < 0) {
        // Nothing more can be said.
    }
#endif
}

[[noreturn]] void end_now(const char* message)
{
    if (g_line_open.load())
        put(2, "\n");
    put(2, "fendrac: ");
    put(2, message);
    put(2, "\n");
    if (g_json.load()) {
        put(1, "{\"error\":\"");
        put(1, message);
        put(1, "\",\"code\":null,\"status\":130}\n");
    }
#if defined(_WIN32)
    ExitProcess(kInterruptedStatus);
#else
    _exit(kInterruptedStatus);
#endif
}

void on_interrupt()
{
    if (!g_in_use.load())
        end_now("interrupted");
    if (g_interrupts.fetch_add(1) > 0)
        end_now("interrupted again: ended at once; the reader may still count this PC as connected");
    if (g_line_open.load())
        put(2, "\n");
    put(2, "fendrac: interrupted: finishing the current command, then closing the drive "
           "(interrupt again to end at once)\n");
}

#if defined(_WIN32)
BOOL WINAPI on_console_event(DWORD event)
{
    on_interrupt();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process when this returns: wait instead, so that
        // the command can finish and close the drive (its exit ends us).
        for (;;)
            Sleep(1000);
    }
    return TRUE;
}
#else
void on_signal(int) { on_interrupt(); }
#endif

}  // namespace

void watch_interrupts(bool json)
{
    g_json = json ? 1 : 0;
#if defined(_WIN32)
    SetConsoleCtrlHandler(on_console_event, TRUE);
#else
    struct sigaction action{};
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
    action.sa_handler = on_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored from the start stays so (a job in the
        // background, nohup).
        struct sigaction before{};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
#endif
}

void set_drive_in_use(bool in_use) { g_in_use = in_use ? 1 : 0; }

bool interrupted() { return g_interrupts.load() > 0; }

void set_line_open(bool open) { g_line_open = open ? 1 : 0; }

void close_open_line()
{
    if (g_line_open.exchange(0))
        std::fputc('\n', stderr);
}

}  // namespace tool
