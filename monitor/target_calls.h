// Calls into the real library through its function pointers.
//
// Each call goes through a small function of its own, built with a frame pointer, whose frame puts
// the stack pointer back on return. On 32-bit Windows that makes the library's stack clean-up
// convention harmless: a library whose functions are __cdecl serves as well as a __stdcall one.
#pragma once

#include "target_library.h"

namespace monitor {

BusStatus call_init(const TargetFunctions& target, std::uint16_t own_address, std::int32_t reserved1,
                    std::int32_t reserved2);
BusStatus call_plain(PlainFunction function);
BusStatus call_number(NumberFunction function, std::int32_t value);
BusStatus call_address(AddressFunction function, const char* address_list);
BusStatus call_wrt(const TargetFunctions& target, const char* address_list, const char* message);
BusStatus call_red(const TargetFunctions& target, const char* address_list, char* reply, std::int32_t size);

}  // namespace monitor
