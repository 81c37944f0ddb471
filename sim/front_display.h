// The simulated instrument's front display, asked for with TAVERIX_SIM_DISPLAY=1: after every bus
// call the front's state is taken and handed to the window (see front_window.h). Off, a bus call
// does nothing more than test one flag.
#pragma once

#include <cstddef>

namespace sim {

void front_display_enable(bool on);

// After gp_wrt: received tells whether the instrument took the message.
void front_after_write(bool received, const char* message);
// After gp_red: sent tells whether the instrument handed these bytes over.
void front_after_read(bool sent, const char* reply, std::size_t delivered);
// After any bus call, the two above included: hands the state to the window.
void front_after_call();

}  // namespace sim
