#include "connection_slots.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "gateway_log.h"

namespace gateway {

namespace {

using Clock = SlotClock;

// Which slots are taken, and by what; the sockets and peers beside them.
std::mutex slots_mutex;
std::condition_variable slot_freed;
SlotState slots[connection_max];
Socket sockets[connection_max];
PeerAddress peers[connection_max];
const char* protocols[connection_max];   // as the web page lists it
bool closed = true;

}  // namespace

SlotChoice slot_choose(const SlotState (&taken)[connection_max], std::uint32_t client, Clock::time_point arrived,
                       Clock::time_point now) {
    std::size_t of_client = 0;
    int free = no_slot;
    for (std::size_t i = 0; i < connection_max; ++i) {
        if (taken[i].in_use && taken[i].client == client) ++of_client;
        if (!taken[i].in_use && free == no_slot) free = static_cast<int>(i);
    }
    // An address with its share makes room among its own connections only.
    const bool capped = !net_is_loopback(client) && of_client >= connections_per_address_max;
    if (!capped && free != no_slot) return {SlotAction::take, free, now, ""};
    int idle = no_slot;
    bool closing = false;
    for (std::size_t i = 0; i < connection_max; ++i) {
        const SlotState& s = taken[i];
        if (!s.in_use || (capped && s.client != client)) continue;
        if (s.closing) closing = true;
        if (s.at_work || s.closing) continue;
        if (idle == no_slot || s.idle_since < taken[idle].idle_since) idle = static_cast<int>(i);
    }
    if (idle == no_slot && !closing) {
        return {SlotAction::refuse, no_slot, now,
                capped ? "8 connections from this address already, every one at work"
                       : "16 connections already, every one at work"};
    }
    if (now - arrived > idle_before_eviction + eviction_end_wait) {
        return {SlotAction::refuse, no_slot, now,
                capped ? "8 connections from this address already, and none came free in time"
                       : "16 connections already, and none came free in time"};
    }
    // One connection closed at a time: its slot is this one's.
    if (idle != no_slot && !closing) {
        const Clock::time_point due = taken[idle].idle_since + idle_before_eviction;
        if (now >= due) return {SlotAction::evict, idle, now, ""};
        return {SlotAction::wait, no_slot, due, ""};
    }
    return {SlotAction::wait, no_slot, arrived + idle_before_eviction + eviction_end_wait, ""};
}

void slots_open() {
    std::lock_guard<std::mutex> hold(slots_mutex);
    for (std::size_t i = 0; i < connection_max; ++i) {
        slots[i].in_use = false;
        sockets[i] = no_socket;
    }
    closed = false;
}

int slot_take(Socket s, const PeerAddress& peer, const char* protocol, const char*& why_refused) {
    std::unique_lock<std::mutex> hold(slots_mutex);
    const Clock::time_point arrived = Clock::now();
    for (;;) {
        if (closed) {
            why_refused = "the gateway is stopping";
            return no_slot;
        }
        const Clock::time_point now = Clock::now();
        const SlotChoice choice = slot_choose(slots, peer.ipv4, arrived, now);
        switch (choice.action) {
            case SlotAction::take: {
                const int i = choice.slot;
                slots[i] = SlotState{true, false, false, peer.ipv4, now};
                sockets[i] = s;
                peers[i] = peer;
                protocols[i] = protocol;
                return i;
            }
            case SlotAction::refuse:
                why_refused = choice.why;
                return no_slot;
            case SlotAction::evict: {
                SlotState& victim = slots[choice.slot];
                victim.closing = true;
                net_shut(sockets[choice.slot]);
                char what[96];
                std::snprintf(what, sizeof what, "closed after %lld ms without a request: its slot goes to %s",
                              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                  now - victim.idle_since).count()),
                              peer.text);
                log_event(peers[choice.slot].text, what);
                break;
            }
            case SlotAction::wait:
                slot_freed.wait_until(hold, choice.until);
                break;
        }
    }
}

void slot_free(int i) {
    std::lock_guard<std::mutex> hold(slots_mutex);
    net_close(sockets[i]);
    sockets[i] = no_socket;
    slots[i].in_use = false;
    slot_freed.notify_all();
}

void slot_at_work(int i) {
    std::lock_guard<std::mutex> hold(slots_mutex);
    slots[i].at_work = true;
}

void slot_done(int i) {
    std::lock_guard<std::mutex> hold(slots_mutex);
    slots[i].at_work = false;
    slots[i].idle_since = Clock::now();
}

void slots_refuse() {
    std::lock_guard<std::mutex> hold(slots_mutex);
    closed = true;
    slot_freed.notify_all();
}

void slots_close_all() {
    std::lock_guard<std::mutex> hold(slots_mutex);
    closed = true;
    for (std::size_t i = 0; i < connection_max; ++i) {
        if (slots[i].in_use) net_shut(sockets[i]);
    }
    slot_freed.notify_all();
}

bool slots_wait_empty(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> hold(slots_mutex);
    return slot_freed.wait_for(hold, wait, [] {
        for (const SlotState& s : slots) {
            if (s.in_use) return false;
        }
        return true;
    });
}

std::size_t slots_list(SlotView* views, std::size_t max) {
    std::lock_guard<std::mutex> hold(slots_mutex);
    const Clock::time_point now = Clock::now();
    std::size_t n = 0;
    for (std::size_t i = 0; i < connection_max; ++i) {
        const SlotState& slot = slots[i];
        if (slot.in_use && n < max) slot_view_set(views[n++], peers[i].text, protocols[i], slot.at_work, slot.idle_since, now);
    }
    return n;
}

void slot_view_set(SlotView& v, const char* peer, const char* protocol, bool at_work, Clock::time_point idle_since,
                   Clock::time_point now) {
    std::snprintf(v.peer, sizeof v.peer, "%s", peer);
    v.protocol = protocol != nullptr ? protocol : "";
    v.at_work = at_work;
    v.idle = at_work ? std::chrono::milliseconds(0) : std::chrono::duration_cast<std::chrono::milliseconds>(now - idle_since);
}

void slots_accept(Socket listener, const Admission& admission, const std::atomic<bool>& accepting) {
    for (;;) {
        PeerAddress peer{};
        const Socket s = net_accept(listener, peer);
        if (s == no_socket) {
            if (!accepting) return;
            continue;
        }
        if (!client_allowed(*admission.options, peer.ipv4)) {
            log_event(peer.text, "turned away: not in an --allow range");
            net_close(s);
            continue;
        }
        net_tune(s);
        const char* why = "";
        const int index = slot_take(s, peer, admission.protocol, why);
        if (index == no_slot) {
            char what[96];
            std::snprintf(what, sizeof what, "turned away: %s", why);
            log_event(peer.text, what);
            if (admission.turned_away != nullptr) admission.turned_away(s, admission.context);
            net_close(s);
            continue;
        }
        admission.admit(index, s, peer, admission.context);
        try {
            std::thread(admission.serve, index).detach();
        } catch (const std::system_error&) {   // no thread to be had: turned away
            log_event(peer.text, "turned away: no thread to serve it");
            slot_free(index);
        }
    }
}

}  // namespace gateway
