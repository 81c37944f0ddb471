#include "service_run.h"

#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "event_log.h"
#include "gateway_log.h"
#include "gateway_run.h"
#include "service_names.h"
#include "stop_request.h"

namespace gateway {

namespace {

// While starting or stopping, the status is reported again every second with a rising checkpoint,
// each promising the next within the wait hint: the service manager sees a service at work, not a
// hung one, however long the bring-up or the transaction under way takes.
constexpr auto checkpoint_interval = std::chrono::seconds(1);
constexpr DWORD pending_wait_hint_ms = 5000;
constexpr DWORD pending_controls = 0;
constexpr DWORD running_controls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;

const Options* service_options = nullptr;
SERVICE_STATUS_HANDLE status_handle = nullptr;
int exit_code = 0;

std::mutex status_mutex;
std::condition_variable status_changed;
SERVICE_STATUS status{};
std::thread checkpoint_thread;

bool pending(DWORD state) { return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING; }

// Called with status_mutex held.
void set_status() { SetServiceStatus(status_handle, &status); }

void report_pending_while_pending() {
    std::unique_lock<std::mutex> hold(status_mutex);
    while (pending(status.dwCurrentState)) {
        const DWORD state = status.dwCurrentState;
        status_changed.wait_for(hold, checkpoint_interval, [state] { return status.dwCurrentState != state; });
        if (status.dwCurrentState == state) {
            ++status.dwCheckPoint;
            set_status();
        }
    }
}

// Reports state; a pending one with its checkpoints kept rising until the next state.
void report(DWORD state, DWORD win32_exit = NO_ERROR, DWORD own_exit = 0) {
    std::unique_lock<std::mutex> hold(status_mutex);
    const bool was_pending = pending(status.dwCurrentState);
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? running_controls : pending_controls;
    status.dwWin32ExitCode = win32_exit;
    status.dwServiceSpecificExitCode = own_exit;
    status.dwCheckPoint = pending(state) ? 1 : 0;
    status.dwWaitHint = pending(state) ? pending_wait_hint_ms : 0;
    set_status();
    status_changed.notify_all();
    if (pending(state) && !was_pending) {
        std::thread taken = std::move(checkpoint_thread);
        hold.unlock();
        if (taken.joinable()) taken.join();
        hold.lock();
        if (pending(status.dwCurrentState)) checkpoint_thread = std::thread(report_pending_while_pending);
    }
}

void end_checkpoints() {
    if (checkpoint_thread.joinable()) checkpoint_thread.join();
}

// Stop, shut-down and pre-shut-down all ask for the one stop a console's Ctrl+C asks for: the
// transaction under way finishes, the instrument is handed back, then STOPPED is reported.
DWORD WINAPI on_control(DWORD control, DWORD, void*, void*) {
    const char* name = nullptr;
    switch (control) {
        case SERVICE_CONTROL_STOP: name = "service stop"; break;
        case SERVICE_CONTROL_SHUTDOWN: name = "shut-down"; break;
        case SERVICE_CONTROL_PRESHUTDOWN: name = "pre-shut-down"; break;
        case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
        default: return ERROR_CALL_NOT_IMPLEMENTED;
    }
    {
        std::lock_guard<std::mutex> hold(status_mutex);
        if (status.dwCurrentState != SERVICE_RUNNING) return NO_ERROR;
    }
    report(SERVICE_STOP_PENDING);
    stop_request_post(name);
    return NO_ERROR;
}

// What the run says: the start-up lines, kept for the event log's start entry, and failures.
char started_text[768];
char failure_text[512];

void append(char* text, std::size_t size, const char* line) {
    const std::size_t n = std::strlen(text);
    std::snprintf(text + n, size - n, "%s%s", n > 0 ? "\n" : "", line);
}

void on_line(const char* text, bool failure) {
    log_note(text);
    if (failure) {
        append(failure_text, sizeof failure_text, text);
    } else {
        append(started_text, sizeof started_text, text);
    }
}

void on_serving() {
    report(SERVICE_RUNNING);
    char text[sizeof started_text + 64];
    std::snprintf(text, sizeof text, "%s started:\n%s", service_name_text, started_text);
    event_report(false, text);
}

// The log file: --log-file's, else gateway.log in %ProgramData%\QX7316 (the folder made when
// missing). A log that cannot be opened is said in the event log; lines are then dropped and
// counted, and the file tried again at the next line.
void open_log() {
    char path[log_path_capacity];
    if (service_options->log_path[0] != '\0') {
        std::snprintf(path, sizeof path, "%s", service_options->log_path);
    } else {
        wchar_t folder[MAX_PATH];
        const DWORD n = ExpandEnvironmentStringsW(service_log_folder, folder, MAX_PATH);
        if (n == 0 || n > MAX_PATH) {
            event_report(true, "no log file: %ProgramData% is not set or too long");
            return;
        }
        CreateDirectoryW(folder, nullptr);
        char folder_text[MAX_PATH * 2];
        if (WideCharToMultiByte(CP_ACP, 0, folder, -1, folder_text, sizeof folder_text, nullptr, nullptr) == 0) return;
        std::snprintf(path, sizeof path, "%s\\gateway.log", folder_text);
    }
    unsigned long error = 0;
    if (!log_to_rotated_file(path, service_options->log_limit, log_files_kept, error)) {
        char text[log_path_capacity + 96];
        std::snprintf(text, sizeof text, "cannot open the log file %s (Windows error %lu); its lines are dropped", path,
                      error);
        event_report(true, text);
    }
}

void WINAPI service_main(DWORD, wchar_t**) {
    status_handle = RegisterServiceCtrlHandlerExW(service_name, on_control, nullptr);
    if (status_handle == nullptr) {
        exit_code = 1;
        return;
    }
    report(SERVICE_START_PENDING);
    open_log();
    options_warnings(*service_options, log_note);
    const RunWatch watch{on_line, on_serving, nullptr};
    const RunEnd end = run(*service_options, watch);
    log_stop();
    if (end == RunEnd::stopped) {
        event_report(false, "qx7316-gateway stopped, the instrument handed back (gp_lcl)");
        report(SERVICE_STOPPED);
    } else {
        char text[sizeof failure_text + 64];
        std::snprintf(text, sizeof text, "qx7316-gateway did not start (exit code %d):\n%s", static_cast<int>(end),
                      failure_text);
        event_report(true, text);
        exit_code = 1;
        report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, static_cast<DWORD>(end));
    }
    end_checkpoints();
}

}  // namespace

int service_run(const Options& options) {
    service_options = &options;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(service_name), service_main}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
            std::fprintf(stderr,
                         "--service is how the service manager starts the gateway: from a command window, leave it "
                         "out, or start the installed service with net start %s\n",
                         service_name_text);
        } else {
            std::fprintf(stderr, "cannot reach the service manager (Windows error %lu)\n", error);
        }
        return 1;
    }
    return exit_code;
}

}  // namespace gateway
