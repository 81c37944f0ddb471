// The one bus shared by every client of either protocol: one transaction at a time, and locks of
// single instrument addresses held by VXI-11 links. A claim waits for both, bounded by its own
// time-outs, and gives up at once when its abort flag is raised.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

namespace gateway {

constexpr int bus_address_count = 31;   // GPIB addresses 0-30

// Who claims: a link id (never 0), or raw_owner for a raw socket line, which holds no lock.
using BusOwner = std::uint32_t;
constexpr BusOwner raw_owner = 0;

enum class BusWait {
    granted,     // the bus (or the lock) is the caller's
    locked,      // another owner holds the address's lock (no waiting asked, or lock_timeout passed)
    timed_out,   // the bus stayed busy, or the lock taken, past io_timeout
    aborted,     // the abort flag was raised while waiting
};

struct BusClaim {
    int address;                              // 0-30; -1: the bus alone, locks aside
    BusOwner owner;
    bool wait_for_lock;                       // false: a lock held by another answers locked at once
    std::chrono::milliseconds lock_timeout;   // the longest wait for another owner's lock
    // The longest wait for the bus, once the lock is not another's; negative: no bound.
    std::chrono::milliseconds io_timeout;
    const std::atomic<bool>* abort;           // may be null
};

// Waits until the address is not locked by another owner (lock_timeout), then until the bus is
// free (io_timeout), and takes the bus (bus_lock). granted: call bus_unclaim after the transaction.
BusWait bus_claim(const BusClaim& claim);
void bus_unclaim();

// Waits, as bus_claim does, until the address is not locked by another owner; takes nothing.
BusWait address_wait_unlocked(const BusClaim& claim);

// Who wrote the last message to each address: an instrument's unread output is that writer's
// alone. Called with the bus held. Before any message, nobody's: no link id.
void bus_wrote(int address, BusOwner writer);
BusOwner bus_last_writer(int address);

// Takes the address's lock for claim.owner (granted at once when it holds it already); waits only
// for the lock, never for the bus.
BusWait address_lock(const BusClaim& claim);
// False when owner does not hold the address's lock.
bool address_unlock(int address, BusOwner owner);
// Every lock owner holds, freed.
void address_unlock_all(BusOwner owner);
// The owner holding the address's lock, raw_owner when none.
BusOwner address_lock_holder(int address);

// Wakes every waiting claim so that it looks at its abort flag again.
void bus_wake_all();

// The bus itself: held for each whole transaction. Taken directly (a lock_guard), it ignores the
// address locks: for stopping, releasing the instrument, or reading the simulator's trace. A claim
// waiting while it is held so looks again every few milliseconds.
std::mutex& bus_lock();

}  // namespace gateway
