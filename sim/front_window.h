// The window "QX-7316 (simulated)" that shows the front (Windows only; elsewhere nothing shows).
//
// The first update starts a thread of the simulator's own that creates the window beside the
// calling thread's window and runs its message loop; the window lives until the process ends. An
// update only copies the state under a lock, where the window looks for it every 20 ms: the bus call
// that hands it over never waits for the window nor calls into the window system.
#pragma once

#include "front_state.h"

namespace sim {

void front_window_update(const FrontState& state);

}  // namespace sim
