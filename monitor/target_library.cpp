#include "target_library.h"

#include <windows.h>

#include <cstring>

#include "bus_function.h"
#include "monitor_codes.h"
#include "monitor_log.h"
#include "running_calls.h"

namespace monitor {

namespace {

constexpr wchar_t target_variable[] = L"TAVERIX_MONITOR_TARGET";
constexpr wchar_t default_target_name[] = L"TAVERIX-real.dll";
constexpr DWORD path_capacity = 1024;

INIT_ONCE load_once = INIT_ONCE_STATIC_INIT;
TargetFunctions bound;
std::int32_t load_status = monitor_code::target_not_loaded;
wchar_t target_path[path_capacity];

// The module this code lies in: the monitor's own DLL.
HMODULE own_module() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&own_module), &module);
    return module;
}

// TAVERIX_MONITOR_TARGET when set and not empty, else TAVERIX-real.dll beside the monitor. False
// when the path does not fit.
bool find_target_path() {
    const DWORD length = GetEnvironmentVariableW(target_variable, target_path, path_capacity);
    if (length > 0 && length < path_capacity) return true;
    if (length >= path_capacity) {
        target_path[0] = L'\0';
        return false;
    }
    const DWORD module_length = GetModuleFileNameW(own_module(), target_path, path_capacity);
    if (module_length == 0 || module_length >= path_capacity) {
        target_path[0] = L'\0';
        return false;
    }
    std::size_t folder = module_length;
    while (folder > 0 && target_path[folder - 1] != L'\\' && target_path[folder - 1] != L'/') --folder;
    const std::size_t name = sizeof default_target_name / sizeof default_target_name[0];
    if (folder + name > path_capacity) {
        target_path[0] = L'\0';
        return false;
    }
    std::memcpy(target_path + folder, default_target_name, sizeof default_target_name);
    return true;
}

// "# target "PATH" " followed by what the caller adds; the path in UTF-8.
bus_trace::TraceLine& begin_target_note() {
    static char path_utf8[path_capacity * 3];
    const int length = WideCharToMultiByte(CP_UTF8, 0, target_path, -1, path_utf8, sizeof path_utf8, nullptr, nullptr);
    bus_trace::TraceLine& line = log_begin();
    bus_trace::line_append(line, "# target ");
    bus_trace::line_append_quoted(line, path_utf8, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
    bus_trace::line_append(line, " ");
    return line;
}

void note_not_loaded(const char* why, DWORD error) {
    bus_trace::TraceLine& line = begin_target_note();
    bus_trace::line_append(line, why);
    if (error != 0) {
        bus_trace::line_append(line, ", Windows error ");
        bus_trace::line_append_number(line, error);
    }
    bus_trace::line_append(line, ": every call returns ");
    bus_trace::line_append_number(line, monitor_code::target_not_loaded);
    log_end_note();
}

// An exported function as what it is (through the untyped function pointer, as GCC asks).
template <typename Function>
Function as(FARPROC found) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// Binds the ten functions; the first one missing is named in the log.
bool bind_functions(HMODULE library) {
    FARPROC found[bus_trace::bus_function_count];
    for (std::size_t i = 0; i < bus_trace::bus_function_count; ++i) {
        char name[16] = {};
        const std::string_view wanted = bus_trace::bus_function_names[i];
        std::memcpy(name, wanted.data(), wanted.size());
        found[i] = GetProcAddress(library, name);
        if (!found[i]) {
            bus_trace::TraceLine& line = begin_target_note();
            bus_trace::line_append(line, "has no function ");
            bus_trace::line_append(line, wanted);
            bus_trace::line_append(line, ": every call returns ");
            bus_trace::line_append_number(line, monitor_code::target_incomplete);
            log_end_note();
            return false;
        }
    }
    using bus_trace::BusFunction;
    const auto at = [&found](BusFunction function) { return found[bus_trace::bus_function_index(function)]; };
    bound.init = as<InitFunction>(at(BusFunction::init));
    bound.cli = as<PlainFunction>(at(BusFunction::cli));
    bound.ren = as<PlainFunction>(at(BusFunction::ren));
    bound.tmout = as<NumberFunction>(at(BusFunction::tmout));
    bound.clr = as<AddressFunction>(at(BusFunction::clr));
    bound.wait = as<NumberFunction>(at(BusFunction::wait));
    bound.llo = as<PlainFunction>(at(BusFunction::llo));
    bound.wrt = as<WriteFunction>(at(BusFunction::wrt));
    bound.red = as<ReadFunction>(at(BusFunction::red));
    bound.lcl = as<AddressFunction>(at(BusFunction::lcl));
    return true;
}

BOOL CALLBACK load_target(PINIT_ONCE, PVOID, PVOID*) {
    if (!find_target_path()) {
        note_not_loaded("path too long", 0);
        return TRUE;
    }
    // The library's own dependencies are looked for in its folder first.
    HMODULE library = LoadLibraryExW(target_path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) {
        note_not_loaded("cannot be loaded", GetLastError());
        return TRUE;
    }
    // Named to itself, the monitor would call itself without end.
    if (library == own_module()) {
        FreeLibrary(library);
        note_not_loaded("is the bus monitor itself", 0);
        return TRUE;
    }
    if (!bind_functions(library)) {
        FreeLibrary(library);
        load_status = monitor_code::target_incomplete;
        return TRUE;
    }
    bus_trace::TraceLine& line = begin_target_note();
    bus_trace::line_append(line, "loaded");
    log_end_note();
    running_calls_watch_start();
    load_status = 0;
    return TRUE;
}

}  // namespace

std::int32_t target_ready(const TargetFunctions*& functions) {
    InitOnceExecuteOnce(&load_once, load_target, nullptr, nullptr);
    functions = load_status == 0 ? &bound : nullptr;
    return load_status;
}

}  // namespace monitor
