// ONC RPC version 2 messages: a call's header read, a reply's header written.
#pragma once

#include <cstdint>

#include "xdr.h"

namespace gateway::rpc {

enum class AcceptStat : std::uint32_t {
    success = 0,
    prog_unavail = 1,
    prog_mismatch = 2,
    proc_unavail = 3,
    garbage_args = 4,
    system_err = 5,
};

struct CallHeader {
    std::uint32_t xid;
    std::uint32_t rpc_version;
    std::uint32_t program;
    std::uint32_t version;
    std::uint32_t procedure;
};

// Reads a call's header up to its arguments, the credentials and verifier skipped (at most 400
// bytes each). False when the record is not a readable call: it cannot be answered.
bool rpc_read_call(XdrReader& r, CallHeader& call);

// An accepted reply's header: xid, REPLY, MSG_ACCEPTED, an empty verifier, stat. For success the
// results follow; for prog_mismatch call rpc_write_versions next.
void rpc_write_accepted(XdrWriter& w, std::uint32_t xid, AcceptStat stat);
void rpc_write_versions(XdrWriter& w, std::uint32_t low, std::uint32_t high);
// The denied reply to a call of another RPC version than 2.
void rpc_write_rpc_mismatch(XdrWriter& w, std::uint32_t xid);

}  // namespace gateway::rpc
