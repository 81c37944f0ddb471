// The monitor's log: one line per bus call, and a remark line ("# ...") where something about the
// library, a call still running or the log itself is to be said.
//
//   2026-12-08 20:15:03.123 15us gp_red("4", 256) = 0 "SIN\n"
//   2026-12-08 20:15:03.101 # target "C:\\App\\TAVERIX-real.dll" loaded
//
// A call line holds the local time the call began, with milliseconds, how long the library took in
// microseconds, and the bus call's record line (bus_call_line.h). Each line is appended to the log
// file (log_file.h) as soon as it is complete, and handed to OutputDebugStringA when a debugger or
// a debug-output viewer takes it. Lines from several threads are written one whole line at a time.
#pragma once

#include <windows.h>

#include "trace_line.h"

namespace monitor {

// When a call began and how long the library took.
struct CallClock {
    SYSTEMTIME started;
    LARGE_INTEGER begin;
    LARGE_INTEGER end;
};

// Notes the start; the library's part is timed between call_timing_begin and call_timing_end (a call
// that never reaches the library takes 0).
void call_clock_start(CallClock& clock);
void call_timing_begin(CallClock& clock);
void call_timing_end(CallClock& clock);

// Takes the log for one line and hands out the line to write it into; log_end_call or log_end_note
// writes it and gives the log back.
bus_trace::TraceLine& log_begin();
void log_end_call(const CallClock& clock);
void log_end_note();

}  // namespace monitor
