// Registering the core and abort channels with another portmapper (rpcbind) on this host, over UDP
// to 127.0.0.1:111, when that one holds port 111.
#pragma once

#include <cstdint>

namespace gateway::vxi11 {

// PMAPPROC_SET of the core and abort programs; false when no portmapper answered TRUE to both
// (what was set is unset again then).
bool portmapper_register(std::uint16_t core_port, std::uint16_t abort_port);
// PMAPPROC_UNSET of both.
void portmapper_unregister();

}  // namespace gateway::vxi11
