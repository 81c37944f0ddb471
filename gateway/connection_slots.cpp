#include "connection_slots.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "gateway_log.h"

namespace gateway {

namespace {

using Clock = std::chrono::steady_clock;

// How long a new connection waits for the thread of the one closed for it to end.
constexpr auto eviction_end_wait = std::chrono::seconds(2);

struct Slot {
    bool in_use;
    bool at_work;
    bool closing;   // shut to make room; its thread has not ended yet
    Socket socket;
    PeerAddress peer;
    const char* protocol;
    Clock::time_point idle_since;
};

std::mutex slots_mutex;
std::condition_variable slot_freed;
Slot slots[connection_max];
bool closed = true;

int free_slot() {
    for (std::size_t i = 0; i < connection_max; ++i) {
        if (!slots[i].in_use) return static_cast<int>(i);
    }
    return no_slot;
}

// The connection idle longest, or no_slot when every one is at work or already closing.
int longest_idle() {
    int found = no_slot;
    for (std::size_t i = 0; i < connection_max; ++i) {
        const Slot& s = slots[i];
        if (!s.in_use || s.at_work || s.closing) continue;
        if (found == no_slot || s.idle_since < slots[found].idle_since) found = static_cast<int>(i);
    }
    return found;
}

bool any_closing() {
    for (const Slot& s : slots) {
        if (s.in_use && s.closing) return true;
    }
    return false;
}

int take(int i, Socket s, const PeerAddress& peer) {
    Slot& slot = slots[i];
    slot.in_use = true;
    slot.at_work = false;
    slot.closing = false;
    slot.socket = s;
    slot.peer = peer;
    slot.protocol = "";
    slot.idle_since = Clock::now();
    return i;
}

}  // namespace

void slots_open() {
    std::lock_guard<std::mutex> hold(slots_mutex);
    for (Slot& slot : slots) {
        slot.in_use = false;
        slot.socket = no_socket;
    }
    closed = false;
}

int slot_take(Socket s, const PeerAddress& peer, const char*& why_refused) {
    std::unique_lock<std::mutex> hold(slots_mutex);
    const Clock::time_point arrived = Clock::now();
    for (;;) {
        if (closed) {
            why_refused = "the gateway is stopping";
            return no_slot;
        }
        if (const int i = free_slot(); i != no_slot) return take(i, s, peer);
        const Clock::time_point now = Clock::now();
        const int idle = longest_idle();
        if (idle == no_slot && !any_closing()) {
            why_refused = "16 connections already, every one at work";
            return no_slot;
        }
        if (now - arrived > idle_before_eviction + eviction_end_wait) {
            why_refused = "16 connections already, and none came free in time";
            return no_slot;
        }
        // One connection closed at a time: its slot is this one's.
        if (idle != no_slot && !any_closing() && now - slots[idle].idle_since >= idle_before_eviction) {
            Slot& victim = slots[idle];
            victim.closing = true;
            net_shut(victim.socket);
            char what[96];
            std::snprintf(what, sizeof what, "closed after %lld ms without a request: its slot goes to %s",
                          static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                              now - victim.idle_since).count()),
                          peer.text);
            log_event(victim.peer.text, what);
            continue;
        }
        // Wait for a slot to come free, or the idle one to have been idle long enough.
        const Clock::time_point until = idle != no_slot && !any_closing()
                                            ? slots[idle].idle_since + idle_before_eviction
                                            : arrived + idle_before_eviction + eviction_end_wait;
        slot_freed.wait_until(hold, until);
    }
}

void slot_free(int i) {
    std::lock_guard<std::mutex> hold(slots_mutex);
    net_close(slots[i].socket);
    slots[i].socket = no_socket;
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
    for (Slot& slot : slots) {
        if (slot.in_use) net_shut(slot.socket);
    }
    slot_freed.notify_all();
}

bool slots_wait_empty(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> hold(slots_mutex);
    return slot_freed.wait_for(hold, wait, [] {
        for (const Slot& s : slots) {
            if (s.in_use) return false;
        }
        return true;
    });
}

std::size_t slots_list(SlotView* views, std::size_t max) {
    std::lock_guard<std::mutex> hold(slots_mutex);
    const Clock::time_point now = Clock::now();
    std::size_t n = 0;
    for (const Slot& slot : slots) {
        if (slot.in_use && n < max) slot_view_set(views[n++], slot.peer.text, slot.protocol, slot.at_work, slot.idle_since, now);
    }
    return n;
}

void slot_view_set(SlotView& v, const char* peer, const char* protocol, bool at_work, Clock::time_point idle_since,
                   Clock::time_point now) {
    std::snprintf(v.peer, sizeof v.peer, "%s", peer);
    v.protocol = protocol;
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
        const int index = slot_take(s, peer, why);
        if (index == no_slot) {
            char what[96];
            std::snprintf(what, sizeof what, "turned away: %s", why);
            log_event(peer.text, what);
            if (admission.turned_away != nullptr) admission.turned_away(s, admission.context);
            net_close(s);
            continue;
        }
        {
            std::lock_guard<std::mutex> hold(slots_mutex);
            slots[index].protocol = admission.protocol;
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
