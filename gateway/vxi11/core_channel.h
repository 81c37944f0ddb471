// The VXI-11 core channel (device_link calls) and abort channel as RPC program tables. Each
// connection has a CoreConnection: its links are freed, their locks with them, when it closes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "gateway_log.h"
#include "rpc_program.h"

namespace gateway::vxi11 {

struct CoreConnection {
    const char* peer;       // "A.B.C.D:PORT" for the log
    std::uint32_t client;   // the peer's IPv4 address: its links' caps, and whose links it may abort
    // The call's log line, kept until its reply has been sent: the client waits for no log.
    bool log_pending;
    CallLog pending_log;   // its texts point into the record, the link, or pending_device
    char pending_device[16];
    // The last call left a query's reply for device_read: clients call it at once.
    bool read_due;
};

// Writes the log line of the connection's last call, if any. Call once its reply has been sent.
void core_log_flush(CoreConnection& connection);

// The instrument named inst0, the abort port told to create_link, and the longest a call waits for
// a lock or for the bus whatever its time-outs ask; the channels serve again.
void core_channel_setup(int default_address, std::uint16_t abort_port, std::chrono::milliseconds wait_max);
// Waits for the bus transaction in progress; no VXI-11 call reaches the bus after it, and calls
// waiting for a lock or for the bus end as aborted.
void core_channel_stop();

// The connection's links freed (however the connection ended).
void core_connection_closed(CoreConnection& connection);

extern const rpc::Program core_programs[];
extern const std::size_t core_program_count;
extern const rpc::Program abort_programs[];
extern const std::size_t abort_program_count;

// The largest device_write data a client is told to send in one call.
constexpr std::uint32_t max_receive_size = 4096;

}  // namespace gateway::vxi11
