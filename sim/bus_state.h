// The interface and the bus as the simulated library keeps them: whether gp_init has run, the
// time-out, remote enable, local lockout, and where the instrument listens.
#pragma once

#include <cstdint>

namespace sim {

// Where the instrument listens: a GPIB address 0-30, or no_instrument.
constexpr int no_instrument = -1;
constexpr int default_instrument_address = 4;

// Milliseconds one unit of the gp_tmout value stands for.
constexpr std::int32_t default_timeout_unit_ms = 100;

// The time-out value in force until gp_tmout sets one (so 1 s with the default unit).
constexpr std::int32_t default_timeout = 10;

// Longest wait of gp_red or gp_wait, in milliseconds, whatever the values.
constexpr std::int64_t longest_wait_ms = 60000;

// Not initialised, default time-out, remote enable off, lockout off, instrument local.
void bus_power_up();

void bus_set_instrument_address(int address);
// Where the instrument listens: 0-30, or no_instrument.
int bus_instrument_address();
void bus_set_timeout_unit_ms(std::int32_t unit_ms);

// How long after its message a reply becomes readable, in milliseconds (0: at once).
void bus_set_reply_delay_ms(std::int32_t delay_ms);

// The instrument's remote state, as IEEE 488 names it.
enum class RemoteState { local = 0, remote = 1, local_with_lockout = 2, remote_with_lockout = 3 };
RemoteState bus_remote_state();

}  // namespace sim
