// A stand-in for the bus library that records every call in order and answers as told, so the
// exchanges can be checked call by call.
#pragma once

#include <string>
#include <vector>

#include "taverix.h"

// Forgets every call and every answer: from now on all calls return 0 and reads deliver nothing.
void fake_bus_reset();

// The nth gp_wrt from now (1 for the first) returns status.
void fake_bus_fail_write(int nth, BusStatus status);

// The nth gp_red from now copies these bytes into the buffer (no more than its size, and no
// terminator of its own) and returns status.
void fake_bus_reply(int nth, const std::string& bytes, BusStatus status = 0);

// Adds a line to the call log, for events of the test's own between bus calls.
void fake_bus_note(const std::string& line);

// Every call since the last reset, one line each: gp_wrt("4", ":FUNC?"), gp_red("4", 256).
const std::vector<std::string>& fake_bus_log();
