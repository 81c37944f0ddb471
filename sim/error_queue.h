// The instrument's error queue, read one error at a time with :SYST:ERR? (oldest first).
#pragma once

#include <cstddef>

namespace sim {

namespace scpi_error {
constexpr int none = 0;
constexpr int parameter_not_allowed = -108;
constexpr int missing_parameter = -109;
constexpr int data_type_error = -104;
constexpr int undefined_header = -113;
constexpr int data_out_of_range = -222;
constexpr int illegal_parameter_value = -224;
constexpr int queue_overflow = -350;
constexpr int query_interrupted = -410;
constexpr int query_unterminated = -420;
}  // namespace scpi_error

void errors_clear();

// How many errors wait to be read.
int errors_waiting();

// Adds an error; when the queue is full its newest entry becomes -350 "Queue overflow".
void error_push(int code);

// Takes the oldest error, or 0 when there is none, and writes it as the instrument answers it,
// such as -113,"Undefined header" (no line feed). Always terminated within size.
void error_pop_text(char* out, std::size_t size);

}  // namespace sim
