// A program's procedures as one table from procedure number to handler. A handler sees decoded
// arguments and returns decoded results: rpc_procedure<> joins it to its XDR reading and writing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rpc_message.h"
#include "xdr.h"

namespace gateway::rpc {

// Reads the arguments (false: they cannot be read), calls the handler, writes its results.
using ServeFunction = bool (*)(void* context, XdrReader& arguments, XdrWriter& results);

struct Procedure {
    std::uint32_t number;
    ServeFunction serve;
};

struct Program {
    std::uint32_t number;
    std::uint32_t version_low;
    std::uint32_t version_high;
    const Procedure* procedures;
    std::size_t procedure_count;
};

// Reads the arguments a handler takes, calls it with the program's context, writes its results.
template <class Context, class Arguments, class Result>
bool rpc_call_handler(Result (*handler)(Context&, const Arguments&), void* context, XdrReader& arguments,
                      XdrWriter& results) {
    Arguments decoded{};
    if (!xdr_decode(arguments, decoded) || !arguments.ok) return false;
    xdr_encode(results, handler(*static_cast<Context*>(context), decoded));
    return true;
}

// A table's entry for a handler Result handler(Context&, const Arguments&), given
//   bool xdr_decode(XdrReader&, Arguments&) and void xdr_encode(XdrWriter&, const Result&).
template <auto handler>
bool rpc_procedure(void* context, XdrReader& arguments, XdrWriter& results) {
    return rpc_call_handler(handler, context, arguments, results);
}

// Procedure 0 of every program: no arguments, no results; a client's "are you there".
bool rpc_null_procedure(void* context, XdrReader& arguments, XdrWriter& results);

enum class Served {
    replied,     // the reply is in the writer
    malformed,   // not a readable call: no reply; the connection is to end
};

// Answers one call record from the programs of this port, into reply (from its start).
Served rpc_serve(const Program* programs, std::size_t program_count, void* context, const std::uint8_t* record,
                 std::size_t size, XdrWriter& reply, CallHeader& call);

}  // namespace gateway::rpc
