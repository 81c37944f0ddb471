// The real bus library behind the monitor: found, loaded and bound at the first bus call.
//
// The library is the file named by TAVERIX_MONITOR_TARGET or, without it, TAVERIX-real.dll in the
// monitor's own folder. It stays loaded until the process ends.
#pragma once

#include <cstdint>

#include "taverix.h"

namespace monitor {

using InitFunction = BusStatus(TAVERIX_CALL*)(std::uint16_t, std::int32_t, std::int32_t);
using PlainFunction = BusStatus(TAVERIX_CALL*)();
using NumberFunction = BusStatus(TAVERIX_CALL*)(std::int32_t);
using AddressFunction = BusStatus(TAVERIX_CALL*)(const char*);
using WriteFunction = BusStatus(TAVERIX_CALL*)(const char*, const char*);
using ReadFunction = BusStatus(TAVERIX_CALL*)(const char*, char*, std::int32_t);

struct TargetFunctions {
    InitFunction init;
    PlainFunction cli;
    PlainFunction ren;
    NumberFunction tmout;
    AddressFunction clr;
    NumberFunction wait;
    PlainFunction llo;
    WriteFunction wrt;
    ReadFunction red;
    AddressFunction lcl;
};

// Loads and binds the library on the first call from any thread (later calls wait for it), noting
// the outcome in the log once. Returns 0 with functions set, or a monitor_code with functions null.
std::int32_t target_ready(const TargetFunctions*& functions);

}  // namespace monitor
