// The simulator's configuration variables and its start: everything is read from the process
// environment the first time any function is called, and again on taverix_sim_reset.
#pragma once

namespace sim {

// Starts the simulator from the environment, once.
void sim_start_once();

// Forgets every call, reply, setting and fault and reads the environment again.
void sim_reset_from_environment();

// Applies one variable as if it stood in the environment with that value (null: absent).
void sim_apply_variable(const char* name, const char* value);

}  // namespace sim
