// Built with -fno-omit-frame-pointer (see CMakeLists.txt): every function here that passes
// arguments ends with "leave", which restores the stack pointer whatever the library did with it.
#include "bus_calls.h"

namespace taverix {
BusStatus gp_init(std::uint16_t own_address, std::int32_t reserved1, std::int32_t reserved2) {
    return ::gp_init(own_address, reserved1, reserved2);
}
BusStatus gp_cli() { return ::gp_cli(); }
BusStatus gp_ren() { return ::gp_ren(); }
BusStatus gp_tmout(std::int32_t timeout) { return ::gp_tmout(timeout); }
BusStatus gp_clr(const char* address_list) { return ::gp_clr(address_list); }
BusStatus gp_wait(std::int32_t duration) { return ::gp_wait(duration); }
BusStatus gp_llo() { return ::gp_llo(); }
BusStatus gp_wrt(const char* address_list, const char* message) { return ::gp_wrt(address_list, message); }
BusStatus gp_red(const char* address_list, char* reply, std::int32_t size) {
    return ::gp_red(address_list, reply, size);
}
BusStatus gp_lcl(const char* address_list) { return ::gp_lcl(address_list); }
}  // namespace taverix
