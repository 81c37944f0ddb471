// Control of the simulated instrument from tests in the same process. Not part of the bus library:
// the program never calls these.
#pragma once

extern "C" {
// Forgets every call, reply, setting and fault, and reads the configuration from the environment
// again, as at process start.
void taverix_sim_reset();

// Sets one configuration variable as if it were in the environment (name such as
// "TAVERIX_SIM_FAULTS"); a null value removes it. Takes effect at once.
void taverix_sim_set(const char* name, const char* value);

// Copies the trace of the calls since the last reset into buffer, one line a call, always
// terminated within size bytes. Returns the length of the whole trace.
int taverix_sim_trace(char* buffer, int size);

// The instrument's remote state: 0 local, 1 remote, 2 local with lockout, 3 remote with lockout.
int taverix_sim_remote_state();
}
