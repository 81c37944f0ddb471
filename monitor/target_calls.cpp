// Built with -fno-omit-frame-pointer (see CMakeLists.txt): every function here that passes
// arguments ends with "leave", which restores the stack pointer whatever the library did with it.
// Nothing else happens in these functions, so nothing reads the stack pointer between the call and
// the return.
#include "target_calls.h"

namespace monitor {

BusStatus call_init(const TargetFunctions& target, std::uint16_t own_address, std::int32_t reserved1,
                    std::int32_t reserved2) {
    return target.init(own_address, reserved1, reserved2);
}
BusStatus call_plain(PlainFunction function) { return function(); }
BusStatus call_number(NumberFunction function, std::int32_t value) { return function(value); }
BusStatus call_address(AddressFunction function, const char* address_list) { return function(address_list); }
BusStatus call_wrt(const TargetFunctions& target, const char* address_list, const char* message) {
    return target.wrt(address_list, message);
}
BusStatus call_red(const TargetFunctions& target, const char* address_list, char* reply, std::int32_t size) {
    return target.red(address_list, reply, size);
}

}  // namespace monitor
