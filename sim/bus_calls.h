// What each of the ten bus functions does to the bus and the instrument, once any injected fault
// has been ruled out. Checks come in this order: gp_init has run (else not_initialised), the
// arguments (else bad_argument), the address list (else no_listener).
//
// An address list is either empty (every instrument) or one GPIB address in plain decimal digits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

std::int32_t bus_init(std::uint16_t own_address);
std::int32_t bus_interface_clear();
std::int32_t bus_remote_enable();
std::int32_t bus_set_timeout(std::int32_t timeout);
std::int32_t bus_device_clear(const char* address_list);
std::int32_t bus_wait(std::int32_t duration_ms);
std::int32_t bus_local_lockout();
std::int32_t bus_write(const char* address_list, const char* message);
// delivered: bytes written into reply before its terminator (0 when nothing was written).
std::int32_t bus_read(const char* address_list, char* reply, std::int32_t size, std::size_t& delivered);
std::int32_t bus_go_to_local(const char* address_list);

}  // namespace sim
