// One client line as one bus transaction: the line written to the instrument and, for a query,
// its reply read. The caller holds the bus for the whole transaction.
#pragma once

#include <cstddef>

#include "taverix.h"

namespace gateway {

// The longest reply handed back to a client, its line feed included.
constexpr std::size_t reply_capacity = 8192;
// Each read asks for one buffer of this size.
constexpr std::size_t read_size = 256;
// Reads of one reply at most, however the instrument goes on: then the reply counts as failed.
constexpr int reads_max = 1024;

enum class Outcome { written, replied, failed };

struct Transaction {
    Outcome outcome;
    char reply[reply_capacity + 1];   // for replied: ends in exactly one line feed, zero-terminated
    std::size_t reply_length;
    // For failed: the call that failed and its status; for a reply too long to hand back,
    // "reply too long" with status 0. A failed write or read is followed by a device clear, whose
    // status is in clear_status.
    const char* failed_call;
    BusStatus status;
    bool cleared;
    BusStatus clear_status;
};

// Writes line (zero-terminated) to the instrument at address; when query, reads the reply: one
// buffer, and more while a full buffer does not end in a line feed. A library may fill all
// read_size bytes or terminate within them. A failed write (part of a message may have reached the
// instrument), a failed read, or a reply over reply_capacity, is followed by gp_clr of the
// instrument, so that neither a message's rest nor a late reply meets the next client's.
void bus_transaction(const char* address, const char* line, bool query, Transaction& transaction);

// The reading half alone: a reply read as bus_transaction reads it, with no message written.
void bus_read_reply(const char* address, Transaction& transaction);

// Transactions made since start, and those in which a bus call failed, as the web page shows them.
// bus_transaction and bus_read_reply count themselves; other bus work (the web page's panel
// actions) counts with bus_count.
struct BusCounts {
    unsigned long long transactions;
    unsigned long long failed;
};
void bus_count(bool failed);
BusCounts bus_counts();

}  // namespace gateway
