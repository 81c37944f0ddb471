// A bus library that allocates nothing itself: every call succeeds and every query gets a fixed
// reply, so that the allocations counted are the program's own.
#include <cstring>

#include "taverix.h"

namespace {
const char* pending = "";

void answer(const char* message) {
    if (std::strcmp(message, ":FUNC?") == 0) pending = "SIN\n";
    else if (std::strcmp(message, ":AMPL?") == 0) pending = "+3.000000E+00\n";
    else if (std::strcmp(message, ":FREQ?") == 0) pending = "+1.000000E+03\n";
    else if (std::strcmp(message, "*TST?") == 0) pending = "0\n";
    else pending = "";
}
}  // namespace

extern "C" {
BusStatus gp_init(std::uint16_t, std::int32_t, std::int32_t) { return 0; }
BusStatus gp_cli() { return 0; }
BusStatus gp_ren() { return 0; }
BusStatus gp_tmout(std::int32_t) { return 0; }
BusStatus gp_clr(const char*) { return 0; }
BusStatus gp_wait(std::int32_t) { return 0; }
BusStatus gp_llo() { return 0; }
BusStatus gp_wrt(const char*, const char* message) {
    answer(message);
    return 0;
}
BusStatus gp_red(const char*, char* reply, std::int32_t size) {
    std::strncpy(reply, pending, static_cast<std::size_t>(size) - 1);
    pending = "";
    return 0;
}
BusStatus gp_lcl(const char*) { return 0; }
}
