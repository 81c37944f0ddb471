// The portmapper (program 100000, version 2) as RPC program tables: NULL, GETPORT (the core
// channel over TCP, and the portmapper itself; anything else, the abort channel included, gives 0)
// and, over TCP only, DUMP (the portmapper over TCP and UDP, the core and abort channels). Calls of
// versions 3 and 4 (rpcbind) answer PROG_MISMATCH 2-2, so that such clients fall back to version 2.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rpc_program.h"
#include "xdr.h"

namespace gateway::vxi11 {

constexpr std::uint32_t portmapper_program = 100000;
constexpr std::uint32_t portmapper_version = 2;
constexpr std::uint16_t portmapper_port = 111;
constexpr std::uint32_t protocol_tcp = 6;
constexpr std::uint32_t protocol_udp = 17;

struct PortmapperCall {
    const char* peer;
};

void portmapper_setup(std::uint16_t core_port, std::uint16_t abort_port);

extern const rpc::Program portmapper_programs[];
extern const std::size_t portmapper_program_count;
// Over UDP: NULL and GETPORT alone (any other procedure answers PROC_UNAVAIL).
extern const rpc::Program portmapper_udp_programs[];
extern const std::size_t portmapper_udp_program_count;

// A call to another portmapper, for registering with it: PMAPPROC_SET (set) or PMAPPROC_UNSET of
// program/version over TCP at port. Writes the call record's body; xid tells the call apart.
void portmapper_write_change(rpc::XdrWriter& w, std::uint32_t xid, bool set, std::uint32_t program,
                             std::uint32_t version, std::uint16_t port);
// Reads its reply: true when the other portmapper accepted and answered TRUE.
bool portmapper_read_change_reply(const std::uint8_t* data, std::size_t size, std::uint32_t xid);

}  // namespace gateway::vxi11
