#ifdef _WIN32
#define _CRT_RAND_S   // rand_s: the C runtime's cryptographically random numbers
#endif
#include "link_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#ifndef _WIN32
#include <sys/random.h>
#endif

#include "bus_access.h"
#include "net.h"

namespace gateway::vxi11 {

namespace {

// Draws before create_link gives up on finding an id not in use (never with a real random source).
constexpr int id_draws_max = 16;

std::mutex table_mutex;
Link links[link_max];

std::uint32_t system_random() {
    std::uint32_t value = 0;
#ifdef _WIN32
    unsigned int drawn = 0;
    if (rand_s(&drawn) == 0) value = drawn;
#else
    if (getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) value = 0;
#endif
    return value;
}

std::uint32_t (*id_source)() = system_random;

bool id_in_use(std::uint32_t id) {
    for (const Link& link : links) {
        if (link.in_use && link.id == id) return true;
    }
    return false;
}

// Under the table's lock: why a new link for connection and client would pass a cap, or nullptr.
const char* cap_reached(const void* connection, std::uint32_t client) {
    std::size_t total = 0;
    std::size_t of_connection = 0;
    std::size_t of_client = 0;
    for (const Link& link : links) {
        if (!link.in_use) continue;
        ++total;
        if (link.connection == connection) ++of_connection;
        if (link.client == client) ++of_client;
    }
    if (total >= link_max) return "64 links already";
    if (of_connection >= links_per_connection_max) return "8 links on this connection already";
    if (!net_is_loopback(client) && of_client >= links_per_address_max) return "16 links from this address already";
    return nullptr;
}

}  // namespace

void link_ids_from(std::uint32_t (*source)()) {
    std::lock_guard<std::mutex> hold(table_mutex);
    id_source = source != nullptr ? source : system_random;
}

Link* link_create(const void* connection, std::uint32_t client, const char* peer, int address, const char* device,
                  const char*& why_refused) {
    std::lock_guard<std::mutex> hold(table_mutex);
    why_refused = cap_reached(connection, client);
    if (why_refused != nullptr) return nullptr;
    std::uint32_t id = 0;
    for (int draw = 0; draw < id_draws_max && (id == raw_owner || id_in_use(id)); ++draw) id = id_source();
    if (id == raw_owner || id_in_use(id)) {
        why_refused = "no link id to be had";
        return nullptr;
    }
    for (Link& link : links) {
        if (link.in_use) continue;
        link.in_use = true;
        link.id = id;
        link.connection = connection;
        link.client = client;
        link.abort_requested = false;
        link.address = address;
        std::snprintf(link.address_text, sizeof link.address_text, "%d", address);
        std::snprintf(link.device, sizeof link.device, "%s", device);
        std::snprintf(link.peer, sizeof link.peer, "%s", peer);
        link.message_length = 0;
        link.message_refused = false;
        link.reply_pending = false;
        link.reply_at = 0;
        return &link;
    }
    why_refused = "64 links already";
    return nullptr;
}

Link* link_find(const void* connection, std::uint32_t id) {
    std::lock_guard<std::mutex> hold(table_mutex);
    for (Link& link : links) {
        if (link.in_use && link.id == id && link.connection == connection) return &link;
    }
    return nullptr;
}

void link_destroy(Link* link) {
    address_unlock_all(link->id);
    std::lock_guard<std::mutex> hold(table_mutex);
    link->in_use = false;
    link->connection = nullptr;
}

void links_destroy_all(const void* connection) {
    for (Link& link : links) {
        bool mine = false;
        {
            std::lock_guard<std::mutex> hold(table_mutex);
            mine = link.in_use && link.connection == connection;
        }
        if (mine) link_destroy(&link);
    }
}

bool links_held(const void* connection) {
    std::lock_guard<std::mutex> hold(table_mutex);
    for (const Link& link : links) {
        if (link.in_use && link.connection == connection) return true;
    }
    return false;
}

AbortResult link_abort(std::uint32_t id, std::uint32_t from) {
    {
        std::lock_guard<std::mutex> hold(table_mutex);
        Link* found = nullptr;
        for (Link& link : links) {
            if (link.in_use && link.id == id) found = &link;
        }
        if (found == nullptr) return AbortResult::no_such_link;
        if (found->client != from) return AbortResult::another_client;
        found->abort_requested = true;
    }
    bus_wake_all();
    return AbortResult::raised;
}

void links_abort_all() {
    {
        std::lock_guard<std::mutex> hold(table_mutex);
        for (Link& link : links) {
            if (link.in_use) link.abort_requested = true;
        }
    }
    bus_wake_all();
}

std::size_t links_list(LinkView* views, std::size_t max) {
    std::lock_guard<std::mutex> hold(table_mutex);
    std::size_t n = 0;
    for (const Link& link : links) {
        if (!link.in_use || n == max) continue;
        LinkView& v = views[n++];
        v.id = link.id;
        v.address = link.address;
        std::memcpy(v.device, link.device, sizeof v.device);
        std::memcpy(v.peer, link.peer, sizeof v.peer);
    }
    return n;
}

}  // namespace gateway::vxi11
