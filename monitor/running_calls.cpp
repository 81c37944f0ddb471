#include "running_calls.h"

#include <cstdlib>
#include <string_view>

#include "monitor_log.h"

namespace monitor {

namespace {

constexpr char running_variable[] = "TAVERIX_MONITOR_RUNNING_MS";
constexpr unsigned long default_running_ms = 2000;
constexpr unsigned long longest_running_ms = 3600000;
// More calls at once than this (from as many threads) go unwatched.
constexpr int place_count = 64;

// A place's state. A call takes a free place (filling it), and gives it back when it returns. The
// watch takes a running call's place while it reads it (reading), so that the call cannot return
// (and its caller free the arguments) meanwhile; the call waits for it to be done, which it is at
// once unless the call is late. Each step is one interlocked operation.
enum PlaceState : LONG { place_free, place_filling, place_running, place_reading, place_reported };

struct Place {
    volatile LONG state;
    LARGE_INTEGER begin;
    CallArguments call;
};

// Set once, before the first call is noted.
bool watching = false;
unsigned long running_ms = default_running_ms;
long long running_ticks = 0;
long long ticks_per_ms = 1;

Place places[place_count];
// The watch's line, written into the log once the call's place is given back.
bus_trace::TraceLine running_line;

LONG change_state(Place& place, PlaceState from, PlaceState to) {
    return InterlockedCompareExchange(&place.state, to, from);
}

// TAVERIX_MONITOR_RUNNING_MS as milliseconds 0-3600000; anything else is remarked on in the log
// and the default taken.
unsigned long read_running_ms() {
    char value[32];
    const DWORD length = GetEnvironmentVariableA(running_variable, value, sizeof value);
    if (length == 0) return default_running_ms;
    if (length < sizeof value && value[0] >= '0' && value[0] <= '9') {
        char* end = nullptr;
        const unsigned long ms = std::strtoul(value, &end, 10);
        if (*end == '\0' && ms <= longest_running_ms) return ms;
    }
    bus_trace::TraceLine& line = log_begin();
    bus_trace::line_append(line, "# ");
    bus_trace::line_append(line, running_variable);
    bus_trace::line_append(line, " ");
    if (length < sizeof value) {
        bus_trace::line_append_quoted(line, value, length);
    } else {
        bus_trace::line_append(line, "(too long)");
    }
    bus_trace::line_append(line, " is not milliseconds 0-3600000, 2000 taken");
    log_end_note();
    return default_running_ms;
}

// "# still running after 2013 ms: gp_red("4", 256)"
void write_running_call(bus_trace::TraceLine& line, const Place& place, long long elapsed_ms) {
    bus_trace::line_start(line);
    bus_trace::line_append(line, "# still running after ");
    bus_trace::line_append_number(line, elapsed_ms);
    bus_trace::line_append(line, " ms: ");
    bus_trace::line_append(line, bus_trace::bus_function_name(place.call.function));
    bus_trace::line_append(line, "(");
    const char* separator = "";
    for (int i = 0; i < place.call.text_count; ++i, separator = ", ") {
        bus_trace::line_append(line, separator);
        bus_trace::line_append_quoted_text(line, place.call.texts[i]);
    }
    for (int i = 0; i < place.call.number_count; ++i, separator = ", ") {
        bus_trace::line_append(line, separator);
        bus_trace::line_append_number(line, place.call.numbers[i]);
    }
    bus_trace::line_append(line, ")");
}

// Logs the first late call not yet logged. Returns how long to sleep: 0 after a late call (there
// may be more), else until the earliest moment a call under way, or one starting now, can be late.
DWORD watch_once() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    long long sleep_ticks = running_ticks;
    for (Place& place : places) {
        if (place.state != place_running) continue;
        if (change_state(place, place_running, place_reading) != place_running) continue;
        const long long elapsed = now.QuadPart - place.begin.QuadPart;
        if (elapsed < running_ticks) {
            if (running_ticks - elapsed < sleep_ticks) sleep_ticks = running_ticks - elapsed;
            InterlockedExchange(&place.state, place_running);
            continue;
        }
        write_running_call(running_line, place, elapsed / ticks_per_ms);
        InterlockedExchange(&place.state, place_reported);
        bus_trace::line_append(log_begin(), std::string_view(running_line.text, running_line.length));
        log_end_note();
        return 0;
    }
    return static_cast<DWORD>((sleep_ticks + ticks_per_ms - 1) / ticks_per_ms);
}

DWORD WINAPI watch(void* started) {
    SetEvent(static_cast<HANDLE>(started));
    for (;;) Sleep(watch_once());
}

}  // namespace

void running_calls_watch_start() {
    running_ms = read_running_ms();
    if (running_ms == 0) return;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    ticks_per_ms = frequency.QuadPart / 1000 > 0 ? frequency.QuadPart / 1000 : 1;
    running_ticks = static_cast<long long>(running_ms) * ticks_per_ms;
    // The watch runs until the process ends, so the monitor stays loaded as long, whatever
    // FreeLibrary calls the program makes.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&watch), &self);
    // Waited for until it runs (within a bound, in case this first call comes from a DllMain, which
    // holds back thread starts), so that what starting a thread allocates is done with. The event
    // stays open: after a wait cut short the thread still signals it.
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    constexpr SIZE_T stack_size = 64 * 1024;
    HANDLE thread = nullptr;
    if (started) thread = CreateThread(nullptr, stack_size, watch, started, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (!thread) {
        const DWORD error = GetLastError();
        if (started) CloseHandle(started);
        bus_trace::TraceLine& line = log_begin();
        bus_trace::line_append(line, "# no watch for calls still running, Windows error ");
        bus_trace::line_append_number(line, error);
        log_end_note();
        return;
    }
    WaitForSingleObject(started, 2000);
    CloseHandle(thread);
    watching = true;
}

int running_call_begin(const CallArguments& call, const LARGE_INTEGER& begin) {
    if (!watching) return not_watched;
    for (int i = 0; i < place_count; ++i) {
        Place& place = places[i];
        if (place.state != place_free || change_state(place, place_free, place_filling) != place_free) continue;
        place.begin = begin;
        place.call = call;
        InterlockedExchange(&place.state, place_running);
        return i;
    }
    return not_watched;
}

void running_call_end(int index) {
    if (index == not_watched) return;
    Place& place = places[index];
    while (change_state(place, place_running, place_free) != place_running &&
           change_state(place, place_reported, place_free) != place_reported) {
        Sleep(0);
    }
}

}  // namespace monitor
