#include "link_table.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "bus_access.h"

namespace gateway::vxi11 {

namespace {

std::mutex table_mutex;
Link links[link_max];
std::uint32_t last_id = 0;

}  // namespace

Link* link_create(const void* connection, int address, const char* device, const char* peer) {
    std::lock_guard<std::mutex> hold(table_mutex);
    for (Link& link : links) {
        if (link.in_use) continue;
        if (++last_id == raw_owner) ++last_id;
        link.in_use = true;
        link.id = last_id;
        link.connection = connection;
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

bool link_abort(std::uint32_t id) {
    {
        std::lock_guard<std::mutex> hold(table_mutex);
        Link* found = nullptr;
        for (Link& link : links) {
            if (link.in_use && link.id == id) found = &link;
        }
        if (found == nullptr) return false;
        found->abort_requested = true;
    }
    bus_wake_all();
    return true;
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
