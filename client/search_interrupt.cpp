#include "client/search_interrupt.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace {

// Written by a signal handler (Linux) or the console's control thread (Windows).
std::atomic<int> g_interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free);

#ifdef _WIN32

BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT)
        return FALSE;
    if (g_interrupts.fetch_add(1) == 0)
        return TRUE;
    // The second one ends kivcli at once, as the system's own handler would.
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

#else

struct sigaction g_previous {};

void OnInterrupt(int) {
    if (g_interrupts.fetch_add(1) == 0)
        return;
    // The second one ends kivcli as an unhandled Ctrl-C does, by the signal itself.
    ::signal(SIGINT, SIG_DFL);
    ::raise(SIGINT);
}

#endif

}  // namespace

SearchInterrupt::SearchInterrupt() {
    g_interrupts = 0;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnControl, TRUE);
#else
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &g_previous);
#endif
}

SearchInterrupt::~SearchInterrupt() {
#ifdef _WIN32
    SetConsoleCtrlHandler(OnControl, FALSE);
#else
    ::sigaction(SIGINT, &g_previous, nullptr);
#endif
}

bool SearchInterrupt::Requested() const {
    return g_interrupts.load() > 0;
}
