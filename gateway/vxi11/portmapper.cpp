#include "portmapper.h"

#include <cstdio>

#include "gateway_log.h"
#include "vxi11_messages.h"

namespace gateway::vxi11 {

namespace {

std::uint16_t core_port_served = 0;
std::uint16_t abort_port_served = 0;

struct Mapping {
    std::uint32_t program;
    std::uint32_t version;
    std::uint32_t protocol;
    std::uint32_t port;
};

struct PortResult {
    std::uint32_t port;
};

struct MappingList {};

bool xdr_decode(rpc::XdrReader& r, Mapping& m) {
    m.program = rpc::xdr_get_u32(r);
    m.version = rpc::xdr_get_u32(r);
    m.protocol = rpc::xdr_get_u32(r);
    m.port = rpc::xdr_get_u32(r);
    return r.ok;
}

void xdr_encode(rpc::XdrWriter& w, const PortResult& v) { rpc::xdr_put_u32(w, v.port); }

void put_mapping(rpc::XdrWriter& w, const Mapping& m) {
    rpc::xdr_put_u32(w, 1);   // one more entry follows
    rpc::xdr_put_u32(w, m.program);
    rpc::xdr_put_u32(w, m.version);
    rpc::xdr_put_u32(w, m.protocol);
    rpc::xdr_put_u32(w, m.port);
}

// What this portmapper maps: itself and the two channels, over TCP (the portmapper over UDP too).
constexpr std::size_t mapping_count = 4;

void mappings(Mapping (&list)[mapping_count]) {
    list[0] = {portmapper_program, portmapper_version, protocol_tcp, portmapper_port};
    list[1] = {portmapper_program, portmapper_version, protocol_udp, portmapper_port};
    list[2] = {core_program, channel_version, protocol_tcp, core_port_served};
    list[3] = {abort_program, channel_version, protocol_tcp, abort_port_served};
}

void xdr_encode(rpc::XdrWriter& w, const MappingList&) {
    Mapping list[mapping_count];
    mappings(list);
    for (const Mapping& m : list) put_mapping(w, m);
    rpc::xdr_put_u32(w, 0);   // the list's end
}

PortResult getport(PortmapperCall& c, const Mapping& m) {
    // The core channel and the portmapper itself (which rpcinfo asks for); the abort channel's
    // port is told by create_link alone.
    Mapping list[mapping_count];
    mappings(list);
    PortResult r{0};
    for (const Mapping& known : list) {
        if (known.program == abort_program) continue;
        if (known.program == m.program && known.version == m.version && known.protocol == m.protocol) r.port = known.port;
    }
    char text[96];
    std::snprintf(text, sizeof text, "portmapper GETPORT program 0x%X version %u %s -> %u",
                  static_cast<unsigned>(m.program), static_cast<unsigned>(m.version),
                  m.protocol == protocol_tcp ? "tcp" : m.protocol == protocol_udp ? "udp" : "?",
                  static_cast<unsigned>(r.port));
    log_event(c.peer, text);
    return r;
}

MappingList dump(PortmapperCall&, const Void&) { return {}; }

const rpc::Procedure portmapper_procedures[] = {
    {0, rpc::rpc_null_procedure},
    {3, rpc::rpc_procedure<getport>},
    {4, rpc::rpc_procedure<dump>},
};
// Over UDP a call's source address may be forged: only the calls whose reply is no larger than
// the call itself (DUMP's is more than twice as large), so that the gateway amplifies nothing.
const rpc::Procedure portmapper_udp_procedures[] = {
    {0, rpc::rpc_null_procedure},
    {3, rpc::rpc_procedure<getport>},
};

constexpr std::uint32_t procedure_set = 1;
constexpr std::uint32_t procedure_unset = 2;

}  // namespace

const rpc::Program portmapper_programs[] = {
    {portmapper_program, portmapper_version, portmapper_version, portmapper_procedures,
     sizeof portmapper_procedures / sizeof portmapper_procedures[0]},
};
const std::size_t portmapper_program_count = 1;
const rpc::Program portmapper_udp_programs[] = {
    {portmapper_program, portmapper_version, portmapper_version, portmapper_udp_procedures,
     sizeof portmapper_udp_procedures / sizeof portmapper_udp_procedures[0]},
};
const std::size_t portmapper_udp_program_count = 1;

void portmapper_setup(std::uint16_t core_port, std::uint16_t abort_port) {
    core_port_served = core_port;
    abort_port_served = abort_port;
}

void portmapper_write_change(rpc::XdrWriter& w, std::uint32_t xid, bool set, std::uint32_t program,
                             std::uint32_t version, std::uint16_t port) {
    rpc::xdr_put_u32(w, xid);
    rpc::xdr_put_u32(w, 0);   // CALL
    rpc::xdr_put_u32(w, 2);   // RPC version
    rpc::xdr_put_u32(w, portmapper_program);
    rpc::xdr_put_u32(w, portmapper_version);
    rpc::xdr_put_u32(w, set ? procedure_set : procedure_unset);
    for (int auth = 0; auth < 2; ++auth) {   // credentials and verifier: AUTH_NONE
        rpc::xdr_put_u32(w, 0);
        rpc::xdr_put_u32(w, 0);
    }
    rpc::xdr_put_u32(w, program);
    rpc::xdr_put_u32(w, version);
    rpc::xdr_put_u32(w, protocol_tcp);
    rpc::xdr_put_u32(w, port);
}

bool portmapper_read_change_reply(const std::uint8_t* data, std::size_t size, std::uint32_t xid) {
    rpc::XdrReader r = rpc::xdr_reader(data, size);
    const bool header = rpc::xdr_get_u32(r) == xid && rpc::xdr_get_u32(r) == 1 /* REPLY */ &&
                        rpc::xdr_get_u32(r) == 0 /* MSG_ACCEPTED */;
    if (!header) return false;
    rpc::xdr_get_u32(r);   // verifier
    const char* body = nullptr;
    std::size_t length = 0;
    rpc::xdr_get_opaque(r, 400, body, length);
    const bool success = rpc::xdr_get_u32(r) == 0;
    return success && rpc::xdr_get_u32(r) == 1 && r.ok;
}

}  // namespace gateway::vxi11
