#include "stop_request.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <pthread.h>
#endif

namespace gateway {

#ifdef _WIN32

namespace {

HANDLE requested = nullptr;
HANDLE done = nullptr;

// Runs on a thread of its own. Windows ends the process once this returns from a close, log-off
// or shut-down event, so it waits until the gateway has stopped; main then ends the process.
BOOL WINAPI on_console_event(DWORD event) {
    SetEvent(requested);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        WaitForSingleObject(done, INFINITE);
        Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

void stop_requests_catch() {
    requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

void stop_request_wait() { WaitForSingleObject(requested, INFINITE); }

void stop_request_done() { SetEvent(done); }

#else

namespace {

sigset_t stop_signals;

}  // namespace

// Blocked in this thread and every thread started after it; stop_request_wait takes them. A shell
// starts background programs with SIGINT ignored, which would throw the signal away: it is made
// to count again.
void stop_requests_catch() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
}

void stop_request_wait() {
    int signal_number = 0;
    while (sigwait(&stop_signals, &signal_number) != 0) {
    }
}

void stop_request_done() {}

#endif

}  // namespace gateway
