// The VXI-11 server: the portmapper on port 111 (TCP and UDP; or registration with the host's own
// portmapper), the core and abort channels on their ports, a thread per connection. Connections
// count against the gateway's connection_max together with the raw socket's.
#pragma once

#include <cstdint>

#include "command_line.h"

namespace gateway {

struct Vxi11Served {
    std::uint16_t core_port;
    std::uint16_t abort_port;
    bool own_portmapper;   // port 111 served here; otherwise registered with the host's portmapper
    char udp_text[16];     // the address the portmapper's UDP socket is bound to
};

// Starts serving as the options say. False when it cannot: why and the fix are in failure (one
// line), and nothing is left running. The bus link must be up.
bool vxi11_start(const Options& options, Vxi11Served& served, char* failure, std::size_t failure_size);

// Stops serving: no new connections or calls; a call's bus transaction in progress finishes, calls
// waiting end as aborted. On return no VXI-11 thread starts a bus call any more.
void vxi11_stop_serving();

// Then closes the connections (waiting for their threads a few seconds at most), which frees their
// links and locks, and withdraws the registration, if any.
void vxi11_close();

// Both.
void vxi11_stop();

}  // namespace gateway
