#include "rpc_message.h"

namespace gateway::rpc {

namespace {

constexpr std::uint32_t msg_call = 0;
constexpr std::uint32_t msg_reply = 1;
constexpr std::uint32_t msg_accepted = 0;
constexpr std::uint32_t msg_denied = 1;
constexpr std::uint32_t denied_rpc_mismatch = 0;
constexpr std::uint32_t auth_none = 0;
constexpr std::size_t auth_body_max = 400;

void skip_auth(XdrReader& r) {
    xdr_get_u32(r);   // flavor
    const char* body = nullptr;
    std::size_t length = 0;
    xdr_get_opaque(r, auth_body_max, body, length);
}

}  // namespace

bool rpc_read_call(XdrReader& r, CallHeader& call) {
    call.xid = xdr_get_u32(r);
    if (xdr_get_u32(r) != msg_call) return false;
    call.rpc_version = xdr_get_u32(r);
    call.program = xdr_get_u32(r);
    call.version = xdr_get_u32(r);
    call.procedure = xdr_get_u32(r);
    skip_auth(r);
    skip_auth(r);
    return r.ok;
}

void rpc_write_accepted(XdrWriter& w, std::uint32_t xid, AcceptStat stat) {
    xdr_put_u32(w, xid);
    xdr_put_u32(w, msg_reply);
    xdr_put_u32(w, msg_accepted);
    xdr_put_u32(w, auth_none);
    xdr_put_u32(w, 0);
    xdr_put_u32(w, static_cast<std::uint32_t>(stat));
}

void rpc_write_versions(XdrWriter& w, std::uint32_t low, std::uint32_t high) {
    xdr_put_u32(w, low);
    xdr_put_u32(w, high);
}

void rpc_write_rpc_mismatch(XdrWriter& w, std::uint32_t xid) {
    xdr_put_u32(w, xid);
    xdr_put_u32(w, msg_reply);
    xdr_put_u32(w, msg_denied);
    xdr_put_u32(w, denied_rpc_mismatch);
    rpc_write_versions(w, 2, 2);
}

}  // namespace gateway::rpc
