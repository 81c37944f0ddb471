// A bus library inside the test program: records every call and fails the calls it is told to.
#pragma once

#include <string>

#include "taverix.h"

// Forgets the calls and failures; the self test reply becomes "0\n".
void fake_bus_reset();

// Every later call of the named function ("gp_tmout") returns status.
void fake_bus_fail(const std::string& function, BusStatus status);

// Every later gp_wrt of exactly this message returns status.
void fake_bus_fail_write(const std::string& message, BusStatus status);

void fake_bus_self_test_reply(const std::string& reply);

// One line a call since the last reset, such as gp_clr("4") = 0 or gp_wrt("4", ":FUNC?") = 0.
const std::string& fake_bus_trace();
