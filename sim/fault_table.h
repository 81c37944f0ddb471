// Injected faults: calls of a bus function that return a chosen code and do nothing else.
//
// The table is read from a text such as "gp_tmout=7,gp_wrt#2=-5": NAME=CODE faults every call of
// that function, NAME#N=CODE only its N-th call (counted from 1 since start or reset), NAME%N=CODE
// its N-th, 2N-th, 3N-th... call. An N-th-call entry (# or %) wins over an every-call entry; among
// entries of the same kind the last one wins. Entries
// that cannot be read are ignored, each with a note in the trace.
#pragma once

#include <cstdint>

#include "bus_function.h"

namespace sim {

using bus_trace::bus_function_by_name;
using bus_trace::bus_function_count;
using bus_trace::bus_function_index;
using bus_trace::BusFunction;

// Replaces the table with the entries in text (null: no faults). Call counts are kept.
void faults_configure(const char* text);

// Sets every call count back to 0.
void faults_clear_counts();

// Counts one call of the function; true, with the code, when this call is to fail.
bool fault_for_call(BusFunction function, std::int32_t& code);

}  // namespace sim
