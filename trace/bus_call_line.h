// A bus call written as one record line, the same wherever calls are recorded:
//
//   gp_init(1, 0, 0) = 0
//   gp_clr("4") = 0
//   gp_wrt("4", ":FUNC SIN;:FREQ 1000.000000") = 0
//   gp_red("4", 256) = 0 "SIN\n"
//
// Each function starts the line afresh and leaves it without a line feed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bus_function.h"
#include "trace_line.h"

namespace bus_trace {

void write_init_call(TraceLine& line, std::uint16_t own_address, std::int32_t reserved1, std::int32_t reserved2,
                     std::int32_t status);
// gp_cli, gp_ren, gp_llo: no argument.
void write_plain_call(TraceLine& line, BusFunction function, std::int32_t status);
// gp_tmout, gp_wait: one number.
void write_number_call(TraceLine& line, BusFunction function, std::int32_t value, std::int32_t status);
// gp_clr, gp_lcl: an address list.
void write_address_call(TraceLine& line, BusFunction function, const char* address_list, std::int32_t status);
void write_wrt_call(TraceLine& line, const char* address_list, const char* message, std::int32_t status);
// The line ends with the delivered bytes of reply ("" when delivered is 0).
void write_red_call(TraceLine& line, const char* address_list, std::int32_t size, std::int32_t status,
                    const char* reply, std::size_t delivered);

}  // namespace bus_trace
