// The links of every VXI-11 connection: at most link_max, ids unique across the gateway. A link is
// used only by the connection that made it; the abort channel may raise its abort flag.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "bus_transaction.h"
#include "line_input.h"

namespace gateway::vxi11 {

constexpr std::size_t link_max = 64;
// A message's bytes kept until its END: line_max and the line ending ("\r\n") that is not sent.
constexpr std::size_t message_kept_max = line_max + 2;

struct Link {
    // Set and read under the table's lock.
    bool in_use;
    std::uint32_t id;
    const void* connection;
    std::atomic<bool> abort_requested;

    // The owning connection's alone.
    int address;
    char address_text[4];   // as gp_* take it
    char device[16];        // as the log shows it
    char peer[24];          // the connection's "A.B.C.D:PORT"
    // A message of several writes: kept until the write with the END flag.
    char message[message_kept_max + 1];
    std::size_t message_length;
    bool message_refused;   // over-long or holding a zero byte: the rest up to END is dropped
    // The reply read for the last query, handed out by device_read from reply_at on.
    Transaction transaction;
    bool reply_pending;
    std::size_t reply_at;
};

// A fresh link for connection (at peer); nullptr when link_max are in use.
Link* link_create(const void* connection, int address, const char* device, const char* peer);
// The link with this id made by connection; nullptr when there is none.
Link* link_find(const void* connection, std::uint32_t id);
// Frees the link and every lock it holds.
void link_destroy(Link* link);
void links_destroy_all(const void* connection);
// Whether connection has a link.
bool links_held(const void* connection);
// Raises the abort flag of the link with this id; false when no link has it.
bool link_abort(std::uint32_t id);
// Raises every link's abort flag (the gateway is stopping).
void links_abort_all();

// A link as the web page lists it.
struct LinkView {
    std::uint32_t id;
    int address;
    char device[16];
    char peer[24];
};
// The links in use, at most max of them into views; returns how many.
std::size_t links_list(LinkView* views, std::size_t max);

}  // namespace gateway::vxi11
