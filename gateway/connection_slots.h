// The gateway's connections, whatever their protocol: at most connection_max at once, each in a
// slot of its own, and at most connections_per_address_max from one client address (this
// machine's, on loopback, aside), so that one PC cannot take every slot. Silent connections never
// keep a working client out for long: when every slot is taken, or its address has its share, a
// new connection gets the slot of the connection idle longest (no request under way and no whole
// request for at least idle_before_eviction) among all, or among its address's, waiting for one
// to become so at most that long; only when every one of them is at work is it turned away.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include "command_line.h"
#include "net.h"

namespace gateway {

constexpr std::size_t connection_max = 16;
constexpr std::size_t connections_per_address_max = 8;
constexpr auto idle_before_eviction = std::chrono::seconds(1);
// How long a new connection waits for the thread of the one closed for it to end.
constexpr auto eviction_end_wait = std::chrono::seconds(2);
constexpr int no_slot = -1;

using SlotClock = std::chrono::steady_clock;

// What the choice of a slot for a newcomer sees of each slot.
struct SlotState {
    bool in_use;
    bool at_work;
    bool closing;   // shut to make room; its thread has not ended yet
    std::uint32_t client;   // the peer's IPv4 address
    SlotClock::time_point idle_since;
};

enum class SlotAction {
    take,     // slot is free: the newcomer's
    evict,    // close slot, idle long enough, for the newcomer; then choose again
    wait,     // nothing yet: choose again at until, or when a slot comes free
    refuse,   // turned away, why says why
};

struct SlotChoice {
    SlotAction action;
    int slot;
    SlotClock::time_point until;
    const char* why;
};

// The rule slot_take follows, apart from its waiting: for a newcomer from client that arrived at
// arrived, with the slots as they are now.
SlotChoice slot_choose(const SlotState (&taken)[connection_max], std::uint32_t client, SlotClock::time_point arrived,
                       SlotClock::time_point now);

// Every slot free; new connections are taken.
void slots_open();

// A slot for the new connection s (already accepted), listed with its protocol; no_slot when it
// is turned away, with why in why_refused. When every slot is taken, or the peer's address has its
// share, this may close the connection idle longest (logging why) and waits, at most
// idle_before_eviction and the end of that connection's thread, for a slot.
int slot_take(Socket s, const PeerAddress& peer, const char* protocol, const char*& why_refused);

// The connection's thread ends: its socket is closed and its slot free.
void slot_free(int slot);

// A whole request came in and is being served / was served: a connection at work is never closed
// to make room.
void slot_at_work(int slot);
void slot_done(int slot);

// What a protocol does with the connections its listener accepts.
struct Admission {
    const Options* options;   // the --allow ranges
    const char* protocol;     // as the web page lists it: "raw socket", "vxi11 core", ...
    // Fills the slot's record for the new connection and logs it; its thread is started next.
    void (*admit)(int slot, Socket s, const PeerAddress& peer, const void* context);
    void (*serve)(int slot);   // the connection's thread
    // Told of a connection turned away for want of a slot, before it is closed; may be null.
    void (*turned_away)(Socket s, const void* context);
    const void* context;
};

// The listener's thread: accepts connections until the listener is shut while accepting is
// false. Each one from an allowed address is tuned, given a slot and served by a thread of its
// own; one turned away is logged with why and closed.
void slots_accept(Socket listener, const Admission& admission, const std::atomic<bool>& accepting);

// Stops taking connections: a slot_take waiting returns at once.
void slots_refuse();

// Stops taking connections and shuts every one taken, so that their threads end.
void slots_close_all();

// Waits at most wait for every slot to be free; true when they are.
bool slots_wait_empty(std::chrono::milliseconds wait);

// A connection as the web page lists it.
struct SlotView {
    char peer[24];
    const char* protocol;
    bool at_work;
    std::chrono::milliseconds idle;   // since its last request was served (0 while at work)
};
// The connections in their slots, at most max of them into views; returns how many.
std::size_t slots_list(SlotView* views, std::size_t max);
// One view: idle is now - idle_since, or 0 while at work.
void slot_view_set(SlotView& view, const char* peer, const char* protocol, bool at_work,
                   std::chrono::steady_clock::time_point idle_since, std::chrono::steady_clock::time_point now);

}  // namespace gateway
