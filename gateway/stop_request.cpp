#include "stop_request.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <pthread.h>
#endif

namespace gateway {

namespace {

SecondRequest on_second = nullptr;
std::atomic<int> requests{0};
std::atomic<const char*> first_name{""};

// The first request is noted; a later one while the first is carried out calls on_second.
void request(const char* name) {
    if (requests.fetch_add(1) == 0) {
        first_name = name;
    } else if (on_second) {
        on_second(name);
    }
}

}  // namespace

bool stop_requested() { return requests.load() > 0; }

#ifdef _WIN32

namespace {

// Windows ends the process this long after a close, log-off or shut-down event at the latest.
constexpr DWORD closing_wait_ms = 4500;

HANDLE requested = nullptr;
HANDLE done = nullptr;

const char* event_name(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT: return "Ctrl+C";
        case CTRL_BREAK_EVENT: return "Ctrl+Break";
        case CTRL_CLOSE_EVENT: return "console closed";
        case CTRL_LOGOFF_EVENT: return "log-off";
        case CTRL_SHUTDOWN_EVENT: return "shut-down";
        default: return "console event";
    }
}

// Runs on a thread of its own. Windows ends the process once this returns from a close, log-off or
// shut-down event, and after about 5 s anyway: it waits for the stop, which releases the
// instrument before anything else, as long as Windows allows.
BOOL WINAPI on_console_event(DWORD event) {
    const bool closing = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (closing && stop_requested()) {
        WaitForSingleObject(done, closing_wait_ms);
        return TRUE;
    }
    request(event_name(event));
    SetEvent(requested);
    if (closing) WaitForSingleObject(done, closing_wait_ms);
    return TRUE;
}

}  // namespace

void stop_requests_catch(SecondRequest second, bool console_events) {
    on_second = second;
    requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!console_events) return;
    SetConsoleCtrlHandler(nullptr, FALSE);   // Ctrl+C counts even when the parent ignored it
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

void stop_request_post(const char* name) {
    request(name);
    SetEvent(requested);
}

const char* stop_request_wait() {
    WaitForSingleObject(requested, INFINITE);
    return first_name;
}

void stop_request_done() { SetEvent(done); }

#else

namespace {

sigset_t stop_signals;
pthread_mutex_t wait_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t requested = PTHREAD_COND_INITIALIZER;

const char* signal_name(int signal_number) {
    switch (signal_number) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "signal";
    }
}

// Takes every stop signal for the whole process, the first and any later one.
void* take_signals(void*) {
    for (;;) {
        int signal_number = 0;
        if (sigwait(&stop_signals, &signal_number) != 0) continue;
        stop_request_post(signal_name(signal_number));
    }
    return nullptr;
}

}  // namespace

// The stop signals are blocked in this thread and every thread started after it; a thread of
// their own takes them. A shell starts background programs with SIGINT ignored, which would throw
// the signal away: it is made to count again. An ignored SIGHUP stays ignored (nohup).
void stop_requests_catch(SecondRequest second, bool console_events) {
    on_second = second;
    std::signal(SIGPIPE, SIG_IGN);
    if (!console_events) return;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    struct sigaction hangup {};
    const bool hangup_ignored = sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler == SIG_IGN;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    if (!hangup_ignored) sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    pthread_t taker;
    if (pthread_create(&taker, nullptr, take_signals, nullptr) == 0) {
        pthread_detach(taker);
    } else {   // no thread to take them: they end the process as they would without the gateway
        pthread_sigmask(SIG_UNBLOCK, &stop_signals, nullptr);
    }
}

void stop_request_post(const char* name) {
    pthread_mutex_lock(&wait_mutex);
    request(name);
    pthread_cond_broadcast(&requested);
    pthread_mutex_unlock(&wait_mutex);
}

const char* stop_request_wait() {
    pthread_mutex_lock(&wait_mutex);
    while (!stop_requested()) pthread_cond_wait(&requested, &wait_mutex);
    pthread_mutex_unlock(&wait_mutex);
    return first_name;
}

void stop_request_done() {}

#endif

}  // namespace gateway
