// The links of every VXI-11 connection: at most link_max, ids unique across the gateway and drawn
// at random, so that no client can guess another's. A link is used only by the connection that
// made it; an abort channel of the same client address may raise its abort flag. No connection
// and no client address takes more than its share, so that one program or one PC cannot starve the
// rest; clients on this machine (loopback) are not capped per address.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "bus_transaction.h"
#include "message_rules.h"

namespace gateway::vxi11 {

constexpr std::size_t link_max = 64;
constexpr std::size_t links_per_connection_max = 8;
constexpr std::size_t links_per_address_max = 16;
// A message's bytes kept until its END: message_max and the line ending ("\r\n") that is not sent.
constexpr std::size_t message_kept_max = message_max + 2;

struct Link {
    // Set and read under the table's lock.
    bool in_use;
    std::uint32_t id;
    const void* connection;
    std::uint32_t client;   // the IPv4 address of the connection's peer
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

// A fresh link for connection, whose peer is client at peer ("A.B.C.D:PORT"); nullptr when a cap
// is reached, with which one in why_refused.
Link* link_create(const void* connection, std::uint32_t client, const char* peer, int address, const char* device,
                  const char*& why_refused);
// The link with this id made by connection; nullptr when there is none.
Link* link_find(const void* connection, std::uint32_t id);
// Frees the link and every lock it holds.
void link_destroy(Link* link);
void links_destroy_all(const void* connection);
// Whether connection has a link.
bool links_held(const void* connection);

enum class AbortResult { raised, no_such_link, another_client };
// Raises the abort flag of the link with this id, when the abort comes from its own client address.
AbortResult link_abort(std::uint32_t id, std::uint32_t from);
// Raises every link's abort flag (the gateway is stopping).
void links_abort_all();

// Where link ids come from: the system's random source unless a test or fuzz target gives
// a source of its own (nullptr: the system's again). Ids of 0, and ids in use, are drawn again.
void link_ids_from(std::uint32_t (*source)());

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
