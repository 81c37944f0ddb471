// The simulated instrument's trace of bus calls, as lines, for tests in the same process.
#pragma once

#include <string>
#include <vector>

// Every call since the last taverix_sim_reset, one line each, without line ends.
std::vector<std::string> sim_trace_lines();

// The lines that start with the function name given (such as "gp_wrt(").
std::vector<std::string> sim_trace_calls(const std::string& prefix);
