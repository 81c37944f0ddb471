// The program's calls into the bus library.
//
// Each call goes through a small function of its own, built with a frame pointer, whose frame puts
// the stack pointer back on return. On 32-bit Windows that makes the library's stack clean-up
// convention harmless: a TAVERIX.dll whose functions leave their arguments on the stack (__cdecl)
// serves as well as one whose functions remove them (__stdcall, as declared in taverix.h).
#pragma once

#include "taverix.h"

namespace taverix {
BusStatus gp_init(std::uint16_t own_address, std::int32_t reserved1, std::int32_t reserved2);
BusStatus gp_cli();
BusStatus gp_ren();
BusStatus gp_tmout(std::int32_t timeout);
BusStatus gp_clr(const char* address_list);
BusStatus gp_wait(std::int32_t duration);
BusStatus gp_llo();
BusStatus gp_wrt(const char* address_list, const char* message);
BusStatus gp_red(const char* address_list, char* reply, std::int32_t size);
BusStatus gp_lcl(const char* address_list);
}  // namespace taverix
