// The calls under way in the real library, watched so that one that has not returned within a
// stated time leaves a line while it still runs, naming it and its arguments:
//
//   2026-12-08 20:15:05.241 # still running after 2000 ms: gp_red("4", 256)
//
// The call's own line follows when it returns. The time is TAVERIX_MONITOR_RUNNING_MS
// milliseconds (2000 without it; 0 turns the watch off). The watch is a thread of the monitor's,
// started with the library at the first bus call; it sleeps until the earliest moment a call under
// way can be late, so between calls it wakes once per stated time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "bus_function.h"

namespace monitor {

// A call as it was made: its text arguments, then its numbers, in the order the call's line shows
// them (gp_red: the address list, then the size).
struct CallArguments {
    bus_trace::BusFunction function;
    const char* texts[2];
    std::uint8_t text_count;
    std::int32_t numbers[3];
    std::uint8_t number_count;
};

constexpr int not_watched = -1;

// Reads the stated time and starts the watch; called once, when the library has been loaded.
void running_calls_watch_start();

// Notes the call as under way since begin (a performance counter value) and returns its place, or
// not_watched when the watch is off or every place is taken. The arguments must stay valid until
// running_call_end, which the caller must reach before the call returns.
int running_call_begin(const CallArguments& call, const LARGE_INTEGER& begin);
void running_call_end(int place);

}  // namespace monitor
