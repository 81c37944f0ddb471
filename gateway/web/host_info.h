// What the welcome page and the identification document tell of this PC: its name and its IPv4
// interfaces, as far as the system tells them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gateway::web {

constexpr std::size_t interface_max = 16;

struct HostInterface {
    std::uint32_t address;   // host byte order
    std::uint32_t mask;
    char mac[18];            // "00:11:22:33:44:55"; "" when not told
    std::uint32_t gateway;   // the default gateway on it; 0 when none or not told
    bool dhcp;               // the address came from DHCP (as far as the system tells)
};

struct HostInfo {
    char name[64];
    HostInterface interfaces[interface_max];
    std::size_t interface_count;
};

// The PC's name and its IPv4 interfaces that are up, loopback included, in the system's order.
void host_info_read(HostInfo& info);

// "A.B.C.D" of an address in host byte order.
void dotted_text(char (&text)[16], std::uint32_t address);

}  // namespace gateway::web
