// The control functions tests use to set up the simulator and look into it.
#include "sim_control.h"

#include "bus_state.h"
#include "sim_setup.h"
#include "sim_trace.h"

using namespace sim;

extern "C" {

void taverix_sim_reset() { sim_reset_from_environment(); }

void taverix_sim_set(const char* name, const char* value) {
    sim_start_once();
    sim_apply_variable(name, value);
}

int taverix_sim_trace(char* buffer, int size) {
    sim_start_once();
    return trace_copy(buffer, size);
}

int taverix_sim_remote_state() {
    sim_start_once();
    return static_cast<int>(bus_remote_state());
}

}  // extern "C"
