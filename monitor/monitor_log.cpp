#include "monitor_log.h"

#include <cstring>

#include "log_file.h"

namespace monitor {

namespace {

// Everything below is used only while the lock is held.
SRWLOCK lock = SRWLOCK_INIT;
bus_trace::TraceLine line;
// Time, duration and the line with its line feed and a terminating zero.
constexpr std::size_t prefix_capacity = 64;
char output[prefix_capacity + bus_trace::trace_line_capacity + 2];

LARGE_INTEGER ticks_per_second;

char* put_digits(char* at, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return at + width;
}

// "2026-12-08 20:15:03.123 "
char* put_time(char* at, const SYSTEMTIME& time) {
    at = put_digits(at, time.wYear, 4);
    *at++ = '-';
    at = put_digits(at, time.wMonth, 2);
    *at++ = '-';
    at = put_digits(at, time.wDay, 2);
    *at++ = ' ';
    at = put_digits(at, time.wHour, 2);
    *at++ = ':';
    at = put_digits(at, time.wMinute, 2);
    *at++ = ':';
    at = put_digits(at, time.wSecond, 2);
    *at++ = '.';
    at = put_digits(at, time.wMilliseconds, 3);
    *at++ = ' ';
    return at;
}

// "15us "
char* put_microseconds(char* at, long long microseconds) {
    char digits[24];
    int count = 0;
    unsigned long long value = microseconds < 0 ? 0 : static_cast<unsigned long long>(microseconds);
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) *at++ = digits[--count];
    *at++ = 'u';
    *at++ = 's';
    *at++ = ' ';
    return at;
}

long long microseconds_between(const LARGE_INTEGER& begin, const LARGE_INTEGER& end) {
    if (ticks_per_second.QuadPart == 0) QueryPerformanceFrequency(&ticks_per_second);
    const long long ticks = end.QuadPart - begin.QuadPart;
    return ticks_per_second.QuadPart > 0 ? ticks * 1000000 / ticks_per_second.QuadPart : 0;
}

// Whether a debugger or a debug-output viewer takes the debug output. Without one,
// OutputDebugStringA reaches nobody and still costs much (under Wine about a millisecond a line).
// A viewer is found by the event it creates; looked for again every quarter second, so one started
// later gets the lines from then on.
constexpr ULONGLONG viewer_recheck_ms = 250;
bool viewer_seen = false;
ULONGLONG viewer_checked_at = 0;
bool viewer_checked = false;

bool debug_output_taken() {
    if (IsDebuggerPresent()) return true;
    const ULONGLONG now = GetTickCount64();
    if (!viewer_checked || now - viewer_checked_at >= viewer_recheck_ms) {
        viewer_seen = false;
        for (const wchar_t* name : {L"DBWIN_BUFFER_READY", L"Global\\DBWIN_BUFFER_READY"}) {
            if (HANDLE ready = OpenEventW(SYNCHRONIZE, FALSE, name)) {
                CloseHandle(ready);
                viewer_seen = true;
            }
        }
        viewer_checked = true;
        viewer_checked_at = now;
    }
    return viewer_seen;
}

// Appends the line to the prefix already in output, writes it out and gives the log back.
void finish(char* at) {
    std::memcpy(at, line.text, line.length);
    at += line.length;
    *at++ = '\n';
    *at = '\0';
    log_file_write(output, static_cast<std::size_t>(at - output));
    if (debug_output_taken()) OutputDebugStringA(output);
    ReleaseSRWLockExclusive(&lock);
}

}  // namespace

void call_clock_start(CallClock& clock) { GetLocalTime(&clock.started); }

void call_timing_begin(CallClock& clock) {
    QueryPerformanceCounter(&clock.begin);
    clock.end = clock.begin;
}

void call_timing_end(CallClock& clock) { QueryPerformanceCounter(&clock.end); }

bus_trace::TraceLine& log_begin() {
    AcquireSRWLockExclusive(&lock);
    bus_trace::line_start(line);
    return line;
}

void log_end_call(const CallClock& clock) {
    char* at = put_time(output, clock.started);
    at = put_microseconds(at, microseconds_between(clock.begin, clock.end));
    finish(at);
}

void log_end_note() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    finish(put_time(output, now));
}

}  // namespace monitor
