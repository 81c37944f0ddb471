// The window "QX-7316 (simulated)" that shows the front (Windows only; elsewhere nothing shows).
//
// The first update starts a thread of the simulator's own that creates the window beside the
// calling thread's window and runs its message loop; the window lives until the process ends. An
// update copies the state under a lock and posts one message when none is waiting: it never waits
// for the window, so the bus call that hands it over costs the same whether the window paints or not.
#pragma once

#include "front_state.h"

namespace sim {

void front_window_update(const FrontState& state);

}  // namespace sim
