#include "service_install.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "event_log.h"
#include "service_names.h"

namespace gateway {

namespace {

constexpr int exit_refused = 1;
constexpr std::size_t command_capacity = 4096;
// Restarted 60 s after each of two failures within a day, then left stopped.
constexpr DWORD restart_delay_ms = 60 * 1000;
constexpr DWORD failure_count_reset_s = 24 * 60 * 60;
// What a stop may take at a shut-down: the transaction under way, then the instrument handed back.
constexpr DWORD preshutdown_timeout_ms = 30 * 1000;
// How long --uninstall-service and --reinstall-service wait for a running service to stop.
constexpr DWORD stop_wait_ms = 120 * 1000;
constexpr DWORD stop_poll_ms = 200;

// Windows' error in words, as its own messages give it, without the line end.
void error_words(DWORD error, char* text, std::size_t size) {
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                   static_cast<DWORD>(size), nullptr);
    std::size_t end = n;
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ' || text[end - 1] == '.')) --end;
    if (end == 0) std::snprintf(text, size, "no text for it");
    else text[end] = '\0';
}

// One line: what could not be done, Windows' error in words, and that nothing changed.
int refuse(const char* what, DWORD error) {
    char words[256];
    error_words(error, words, sizeof words);
    if (error == ERROR_ACCESS_DENIED) {
        std::fprintf(stderr,
                     "%s: Windows refused (error 5, %s): this needs an administrator, run it in a command window "
                     "opened with \"Run as administrator\"; nothing was changed\n",
                     what, words);
    } else {
        std::fprintf(stderr, "%s: Windows error %lu (%s); nothing was changed\n", what, error, words);
    }
    return exit_refused;
}

// The command line the service manager starts: this program, --service, and the options given.
bool service_command(int argc, const char* const* argv, wchar_t* command, wchar_t* program) {
    const DWORD n = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    int used = std::swprintf(command, command_capacity, L"\"%ls\" --service", program);
    for (int i = 1; i < argc && used > 0; ++i) {
        if (!option_kept_for_service(argv[i])) continue;
        wchar_t argument[1024];
        if (MultiByteToWideChar(CP_ACP, 0, argv[i], -1, argument, 1024) == 0) return false;
        // The service starts in the system folder: a log file's path is made whole here.
        if (i > 1 && std::strcmp(argv[i - 1], "--log-file") == 0) {
            wchar_t full[1024];
            const DWORD n = GetFullPathNameW(argument, 1024, full, nullptr);
            if (n == 0 || n >= 1024) return false;
            std::wcscpy(argument, full);
        }
        // Quoted where it holds a blank; a path's backslashes stay as they are.
        const bool quote = argument[0] == L'\0' || std::wcspbrk(argument, L" \t") != nullptr;
        const int added = std::swprintf(command + used, command_capacity - static_cast<std::size_t>(used),
                                        quote ? L" \"%ls\"" : L" %ls", argument);
        used = added < 0 ? -1 : used + added;
    }
    return used > 0;
}

// Sets what CreateService cannot: the description, the recovery actions (also after a stop with an
// exit code of the gateway's own, such as a failed bring-up), a start delayed until the system's
// own services are up, and the time a pre-shut-down may take. Each is tried; what Windows did not
// take is said, with its error, as a warning.
void configure(SC_HANDLE service) {
    SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(service_description)};
    SC_ACTION actions[] = {{SC_ACTION_RESTART, restart_delay_ms}, {SC_ACTION_RESTART, restart_delay_ms},
                           {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = failure_count_reset_s;
    failure.cActions = sizeof actions / sizeof actions[0];
    failure.lpsaActions = actions;
    SERVICE_FAILURE_ACTIONS_FLAG on_exit_code{TRUE};
    SERVICE_DELAYED_AUTO_START_INFO delayed{TRUE};
    SERVICE_PRESHUTDOWN_INFO preshutdown{preshutdown_timeout_ms};
    const struct {
        DWORD level;
        void* value;
        const char* what;
    } settings[] = {
        {SERVICE_CONFIG_DESCRIPTION, &description, "the description"},
        {SERVICE_CONFIG_FAILURE_ACTIONS, &failure, "the recovery actions"},
        {SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &on_exit_code, "recovery after a failed start"},
        {SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed, "the delayed start"},
        {SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdown, "the pre-shut-down time"},
    };
    for (const auto& setting : settings) {
        if (ChangeServiceConfig2W(service, setting.level, setting.value)) continue;
        const DWORD error = GetLastError();
        char words[256];
        error_words(error, words, sizeof words);
        std::printf("warning: Windows did not take %s (error %lu, %s)\n", setting.what, error, words);
    }
}

// Stops the service when it runs and waits until it has stopped: the gateway finishes the
// transaction under way and hands the instrument back first. Says what it did.
bool stop_and_wait(SC_HANDLE service, DWORD& error) {
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service, &status)) {
        error = GetLastError();
        return false;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    const ULONGLONG deadline = GetTickCount64() + stop_wait_ms;
    // A service still starting takes no stop: it is waited for.
    while (status.dwCurrentState == SERVICE_START_PENDING && GetTickCount64() < deadline) {
        Sleep(stop_poll_ms);
        if (!QueryServiceStatus(service, &status)) {
            error = GetLastError();
            return false;
        }
    }
    if (status.dwCurrentState == SERVICE_STOPPED) return true;
    std::printf("stopping %s (the transaction under way finishes, the instrument is handed back)...\n",
                service_name_text);
    std::fflush(stdout);
    if (status.dwCurrentState != SERVICE_STOP_PENDING && !ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE) return false;
    }
    while (GetTickCount64() < deadline) {
        if (!QueryServiceStatus(service, &status)) {
            error = GetLastError();
            return false;
        }
        if (status.dwCurrentState == SERVICE_STOPPED) {
            std::printf("stopped\n");
            return true;
        }
        Sleep(stop_poll_ms);
    }
    error = ERROR_SERVICE_REQUEST_TIMEOUT;
    return false;
}

void print_commands() {
    std::printf("start it now:  net start %s     (or: sc start %s)\n", service_name_text, service_name_text);
    std::printf("stop it:       net stop %s\n", service_name_text);
    std::printf("its state:     sc query %s\n", service_name_text);
    std::printf("remove it:     taverix-gateway.exe --uninstall-service\n");
}

// --log-file's folder must be there: the service cannot make it.
bool log_folder_found(const char* path) {
    char folder[log_path_capacity];
    std::snprintf(folder, sizeof folder, "%s", path);
    char* end = std::strrchr(folder, '\\');
    char* slash = std::strrchr(folder, '/');
    if (slash > end) end = slash;
    if (end == nullptr) return true;   // the service's working folder, the system folder: its own matter
    *end = '\0';
    if (folder[0] == '\0' || (end == folder + 2 && folder[1] == ':')) return true;   // a drive's root
    const DWORD attributes = GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int install(const Options& options, int argc, const char* const* argv, bool again) {
    if (options.log_path[0] != '\0' && !log_folder_found(options.log_path)) {
        std::fprintf(stderr, "cannot install: the folder of --log-file %s is not there; nothing was installed\n",
                     options.log_path);
        return exit_refused;
    }
    wchar_t program[MAX_PATH];
    static wchar_t command[command_capacity];
    if (!service_command(argc, argv, command, program)) {
        std::fprintf(stderr, "cannot install: the program's path and options are too long for a service's command line\n");
        return exit_refused;
    }
    const char* what = again ? "cannot reinstall the service" : "cannot install the service";
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE);
    if (manager == nullptr) return refuse(what, GetLastError());
    SC_HANDLE service = CreateServiceW(manager, service_name, service_display_name, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command,
                                       nullptr, nullptr, nullptr, service_account, L"");
    bool replaced = false;
    if (service == nullptr) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_EXISTS) {
            CloseServiceHandle(manager);
            return refuse(what, error);
        }
        if (!again) {
            CloseServiceHandle(manager);
            std::fprintf(stderr,
                         "%s is installed already; nothing was changed: --reinstall-service replaces it (stopping "
                         "it first), --uninstall-service removes it\n",
                         service_name_text);
            return exit_refused;
        }
        service = OpenServiceW(manager, service_name, SERVICE_ALL_ACCESS);
        DWORD stop_error = NO_ERROR;
        if (service == nullptr || !stop_and_wait(service, stop_error)) {
            const DWORD e = service == nullptr ? GetLastError() : stop_error;
            if (service) CloseServiceHandle(service);
            CloseServiceHandle(manager);
            return refuse(what, e);
        }
        if (!ChangeServiceConfigW(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, command,
                                  nullptr, nullptr, nullptr, service_account, L"", service_display_name)) {
            const DWORD e = GetLastError();
            CloseServiceHandle(service);
            CloseServiceHandle(manager);
            return refuse(what, e);
        }
        replaced = true;
    }
    unsigned long source_error = 0;
    const bool source = event_source_register(program, source_error);

    std::printf("%s service %s (\"QX7316 network gateway\"), started automatically at boot (delayed), as "
                "LocalService:\n  %ls\n",
                replaced ? "reinstalled" : "installed", service_name_text, command);
    std::printf("recovery: restarted 60 s after a failure, twice, then left stopped\n");
    if (options.log_path[0] != '\0') {
        char full[MAX_PATH * 2];
        if (GetFullPathNameA(options.log_path, sizeof full, full, nullptr) == 0) std::snprintf(full, sizeof full, "%s", options.log_path);
        std::printf("its log: %s (rotated, 3 older files kept)\n", full);
    } else {
        std::printf("its log: %%ProgramData%%\\QX7316\\gateway.log (rotated, 3 older files kept)\n");
    }
    configure(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (!source) std::printf("warning: no event log source: Windows error %lu\n", source_error);
    print_commands();
    return 0;
}

int uninstall() {
    const char* what = "cannot remove the service";
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager == nullptr) return refuse(what, GetLastError());
    SC_HANDLE service = OpenServiceW(manager, service_name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (service == nullptr) {
        const DWORD error = GetLastError();
        CloseServiceHandle(manager);
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            std::fprintf(stderr, "%s: %s is not installed; nothing was changed\n", what, service_name_text);
            return exit_refused;
        }
        return refuse(what, error);
    }
    DWORD error = NO_ERROR;
    if (!stop_and_wait(service, error) || !DeleteService(service)) {
        if (error == NO_ERROR) error = GetLastError();
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return refuse(what, error);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    event_source_remove();
    std::printf("removed service %s\n", service_name_text);
    return 0;
}

}  // namespace

int service_install(const Options& options, int argc, const char* const* argv) {
    switch (options.service_action) {
        case ServiceAction::install: return install(options, argc, argv, false);
        case ServiceAction::reinstall: return install(options, argc, argv, true);
        case ServiceAction::uninstall: return uninstall();
        case ServiceAction::none: break;
    }
    return 0;
}

}  // namespace gateway
