// The VXI-11 server: the portmapper on port 111 (TCP and UDP where TCP is; or registration with the
// host's own portmapper), the core and abort channels on their ports, a thread per connection. Connections
// take the gateway's connection slots (connection_slots.h) as the raw socket's do: slots_open
// first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "command_line.h"

namespace gateway {

struct Vxi11Served {
    std::uint16_t core_port;
    std::uint16_t abort_port;
    bool own_portmapper;   // port 111 served here; otherwise registered with the host's portmapper
    char broadcast_text[16];   // the broadcast address the portmapper answers on too; "" when none
};

// Starts serving as the options say. False when it cannot: why and the fix are in failure (one
// line), and nothing is left running. The bus link must be up.
bool vxi11_start(const Options& options, Vxi11Served& served, char* failure, std::size_t failure_size);

// Stops serving: no new connections or calls; waits for a call's bus transaction in progress,
// and calls waiting for a lock or for the bus end as aborted. On return no VXI-11 call touches the
// bus any more.
void vxi11_stop_serving();

// Then closes every connection (the raw socket's too: they share the slots), waiting for their
// threads at most a few seconds, which frees the links and locks; withdraws the registration with
// the host's portmapper, if any. True when every connection ended.
bool vxi11_close();

}  // namespace gateway
