// The USB-GPIB bus library TAVERIX, as this program uses it.
//
// On 32-bit Windows every function is __stdcall and TAVERIX.dll exports it under its undecorated name.
// (TAVERIX_CDECL builds a stand-in library whose functions are __cdecl instead; the program calls
// either kind correctly, see bus_calls.h.)
#pragma once

#include <cstdint>

// Result of a bus call: 0 is success, anything else a failure code.
using BusStatus = std::int32_t;

#if defined(_WIN32) && !defined(_WIN64) && !defined(TAVERIX_CDECL)
#define TAVERIX_CALL __stdcall
#else
#define TAVERIX_CALL
#endif

extern "C" {
BusStatus TAVERIX_CALL gp_init(std::uint16_t own_address, std::int32_t reserved1, std::int32_t reserved2);
BusStatus TAVERIX_CALL gp_cli();
BusStatus TAVERIX_CALL gp_ren();
BusStatus TAVERIX_CALL gp_tmout(std::int32_t timeout);
BusStatus TAVERIX_CALL gp_clr(const char* address_list);
BusStatus TAVERIX_CALL gp_wait(std::int32_t duration);
BusStatus TAVERIX_CALL gp_llo();
BusStatus TAVERIX_CALL gp_wrt(const char* address_list, const char* message);
BusStatus TAVERIX_CALL gp_red(const char* address_list, char* reply, std::int32_t size);
BusStatus TAVERIX_CALL gp_lcl(const char* address_list);
}
