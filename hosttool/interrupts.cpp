// Interrupts and a closed output pipe: POSIX signals, or the Windows
// console's control handler (which runs on a thread of its own).
//
// The handlers keep SA_RESTART: a library call in progress (an SG_IO
// request, a lock wait) must not fail halfway because of an interrupt.
// What waits on the PC's side learns of one through the descriptor (or
// event) that a noted interrupt makes ready, never through EINTR, so that
// an interrupt that comes just before a wait is not missed.
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
#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef READER_COVERAGE_BUILD
extern "C" void __gcov_dump(void);
#endif

namespace tool {
namespace {

constexpr int kSigint = 2;  // the status's signal numbers, the same on every system
constexpr int kSighup = 1;

std::atomic<int> g_in_use{0};
std::atomic<int> g_interrupts{0};
std::atomic<int> g_status{0};
std::atomic<int> g_line_open{0};
std::atomic<int> g_json{0};
#if defined(_WIN32)
HANDLE g_event = nullptr;
#else
int g_wake[2] = {-1, -1};
#endif

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

[[noreturn]] void end_now(const char* message, int status)
{
    if (g_line_open.load())
        put(2, "\n");
    put(2, "fendrac: ");
    put(2, message);
    put(2, "\n");
    if (g_json.load()) {
        char digits[4] = {static_cast<char>('0' + status / 100 % 10), static_cast<char>('0' + status / 10 % 10),
                          static_cast<char>('0' + status % 10), '\0'};
        put(1, "{\"error\":\"");
        put(1, message);
        put(1, "\",\"code\":null,\"status\":");
        put(1, digits);
        put(1, "}\n");
    }
#if defined(_WIN32)
    ExitProcess(static_cast<UINT>(status));
#else
#ifdef READER_COVERAGE_BUILD
    __gcov_dump();  // only the coverage build: its counters, which _exit would lose
#endif
    _exit(status);
#endif
}

// Makes what waits on the PC's side return.
void wake()
{
#if defined(_WIN32)
    if (g_event != nullptr)
        SetEvent(g_event);
#else
    if (g_wake[1] >= 0 && ::write(g_wake[1], "!", 1) < 0) {
        // Full already: it is ready.
    }
#endif
}

void on_interrupt(int status)
{
    if (!g_in_use.load())
        end_now("interrupted", status);
    int none = 0;
    g_status.compare_exchange_strong(none, status);
    if (g_interrupts.fetch_add(1) > 0)
        end_now("interrupted again: ended at once; the reader may still count this PC as connected", status);
    wake();
    if (g_line_open.load())
        put(2, "\n");
    put(2,
        "fendrac: interrupted: finishing the current command, then closing the drive "
        "(interrupt again to end at once)\n");
}

#if defined(_WIN32)
BOOL WINAPI on_console_event(DWORD event)
{
    const bool hung_up = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    on_interrupt(128 + (hung_up ? kSighup : kSigint));
    if (hung_up) {
        // Windows ends the process when this returns: wait instead, so that
        // the command can finish and close the drive (its exit ends us).
        for (;;)
            Sleep(1000);
    }
    return TRUE;
}
#else
void on_signal(int signal) { on_interrupt(128 + signal); }
#endif

}  // namespace

void watch_interrupts(bool json)
{
    g_json = json ? 1 : 0;
#if defined(_WIN32)
    g_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(on_console_event, TRUE);
#else
    if (::pipe(g_wake) == 0) {
        for (const int end : g_wake) {
            ::fcntl(end, F_SETFD, FD_CLOEXEC);
            ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
        }
    } else {
        g_wake[0] = g_wake[1] = -1;
    }
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &action, nullptr);
    action.sa_handler = on_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    static_assert(SIGINT == kSigint && SIGHUP == kSighup);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal ignored from the start stays so (a job in the
        // background, nohup).
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
#endif
}

void set_drive_in_use(bool in_use) { g_in_use = in_use ? 1 : 0; }

bool interrupted() { return g_interrupts.load() > 0; }

int interrupted_status()
{
    const int status = g_status.load();
    return status != 0 ? status : 128 + kSigint;
}

#if defined(_WIN32)
void* interrupt_event() { return g_event; }
#else
int interrupt_descriptor() { return g_wake[0]; }
#endif

void set_line_open(bool open) { g_line_open = open ? 1 : 0; }

void close_open_line()
{
    if (g_line_open.exchange(0))
        std::fputc('\n', stderr);
}

}  // namespace tool
