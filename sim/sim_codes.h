// Failure codes of the simulated bus library. Every bus function returns 0 on success or one of
// these; an injected fault (TAVERIX_SIM_FAULTS) returns whatever code it names instead.
#pragma once

#include <cstdint>

namespace sim_code {

constexpr std::int32_t ok = 0;
// The call came before a successful gp_init (every function but gp_init itself).
constexpr std::int32_t not_initialised = 1;
// A null text or buffer, a buffer size of 0 or less, an own address outside 1-30, a negative
// time-out or wait.
constexpr std::int32_t bad_argument = 2;
// No instrument listens at the address list (wrong address, not a plain decimal address, or the
// empty list where one instrument must be named).
constexpr std::int32_t no_listener = 3;
// gp_red found no reply pending within the time-out.
constexpr std::int32_t timeout = 4;

}  // namespace sim_code
