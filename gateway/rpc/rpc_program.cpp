#include "rpc_program.h"

namespace gateway::rpc {

bool rpc_null_procedure(void*, XdrReader&, XdrWriter&) { return true; }

Served rpc_serve(const Program* programs, std::size_t program_count, void* context, const std::uint8_t* record,
                 std::size_t size, XdrWriter& reply, CallHeader& call) {
    reply.at = 0;
    reply.ok = true;
    XdrReader r = xdr_reader(record, size);
    if (!rpc_read_call(r, call)) return Served::malformed;
    if (call.rpc_version != 2) {
        rpc_write_rpc_mismatch(reply, call.xid);
        return Served::replied;
    }
    const Program* program = nullptr;
    for (std::size_t i = 0; i < program_count; ++i) {
        if (programs[i].number == call.program) program = &programs[i];
    }
    if (program == nullptr) {
        rpc_write_accepted(reply, call.xid, AcceptStat::prog_unavail);
        return Served::replied;
    }
    if (call.version < program->version_low || call.version > program->version_high) {
        rpc_write_accepted(reply, call.xid, AcceptStat::prog_mismatch);
        rpc_write_versions(reply, program->version_low, program->version_high);
        return Served::replied;
    }
    const Procedure* procedure = nullptr;
    for (std::size_t i = 0; i < program->procedure_count; ++i) {
        if (program->procedures[i].number == call.procedure) procedure = &program->procedures[i];
    }
    if (procedure == nullptr) {
        rpc_write_accepted(reply, call.xid, AcceptStat::proc_unavail);
        return Served::replied;
    }
    rpc_write_accepted(reply, call.xid, AcceptStat::success);
    if (!procedure->serve(context, r, reply)) {
        reply.at = 0;
        rpc_write_accepted(reply, call.xid, AcceptStat::garbage_args);
    } else if (!reply.ok) {
        reply.at = 0;
        reply.ok = true;
        rpc_write_accepted(reply, call.xid, AcceptStat::system_err);
    }
    return Served::replied;
}

}  // namespace gateway::rpc
