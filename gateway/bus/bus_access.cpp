#include "bus_access.h"

#include <condition_variable>
#include <mutex>

namespace gateway {

namespace {

using Clock = std::chrono::steady_clock;

// Taken for each transaction; try_lock'ed under state_mutex by a claim.
std::mutex the_bus;
// Guards lock_holder; changed is notified when a lock or the bus is freed, or an abort raised.
std::mutex state_mutex;
std::condition_variable changed;
BusOwner lock_holder[bus_address_count] = {};
// Guarded by the_bus.
BusOwner last_writer[bus_address_count] = {};
// How often a waiting claim looks at a bus taken by bus_lock() directly, which notifies nobody.
constexpr auto direct_hold_poll = std::chrono::milliseconds(2);

bool locked_out(const BusClaim& c) {
    return c.address >= 0 && c.address < bus_address_count && lock_holder[c.address] != raw_owner &&
           lock_holder[c.address] != c.owner;
}

// Waits under hold until the address is not locked by another owner and, when want_bus, the bus
// has been taken; or until a bound, or the abort flag. lock_timeout bounds the wait for the lock;
// io_timeout the wait for the bus after it, counted from the moment the lock was not another's.
BusWait wait_for(std::unique_lock<std::mutex>& hold, const BusClaim& c, bool want_bus) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point lock_deadline = start + c.lock_timeout;
    const bool io_bounded = c.io_timeout.count() >= 0;
    Clock::time_point io_deadline = start + (io_bounded ? c.io_timeout : std::chrono::milliseconds(0));
    for (;;) {
        if (c.abort != nullptr && c.abort->load()) return BusWait::aborted;
        const Clock::time_point now = Clock::now();
        if (locked_out(c)) {
            if (!c.wait_for_lock || now >= lock_deadline) return BusWait::locked;
            changed.wait_until(hold, lock_deadline);
            if (io_bounded) io_deadline = Clock::now() + c.io_timeout;
        } else if (!want_bus || the_bus.try_lock()) {
            return BusWait::granted;
        } else {
            if (io_bounded && now >= io_deadline) return BusWait::timed_out;
            const Clock::time_point poll = now + direct_hold_poll;
            changed.wait_until(hold, io_bounded && io_deadline < poll ? io_deadline : poll);
        }
    }
}

}  // namespace

BusWait bus_claim(const BusClaim& claim) {
    std::unique_lock<std::mutex> hold(state_mutex);
    return wait_for(hold, claim, true);
}

void bus_unclaim() {
    the_bus.unlock();
    std::lock_guard<std::mutex> hold(state_mutex);
    changed.notify_all();
}

std::mutex& bus_lock() { return the_bus; }

BusWait address_wait_unlocked(const BusClaim& claim) {
    std::unique_lock<std::mutex> hold(state_mutex);
    return wait_for(hold, claim, false);
}

void bus_wrote(int address, BusOwner writer) {
    if (address >= 0 && address < bus_address_count) last_writer[address] = writer;
}

BusOwner bus_last_writer(int address) {
    return address >= 0 && address < bus_address_count ? last_writer[address] : raw_owner;
}

BusWait address_lock(const BusClaim& claim) {
    if (claim.address < 0 || claim.address >= bus_address_count) return BusWait::locked;
    std::unique_lock<std::mutex> hold(state_mutex);
    const BusWait result = wait_for(hold, claim, false);
    if (result == BusWait::granted) lock_holder[claim.address] = claim.owner;
    return result;
}

bool address_unlock(int address, BusOwner owner) {
    if (address < 0 || address >= bus_address_count || owner == raw_owner) return false;
    std::lock_guard<std::mutex> hold(state_mutex);
    if (lock_holder[address] != owner) return false;
    lock_holder[address] = raw_owner;
    changed.notify_all();
    return true;
}

void address_unlock_all(BusOwner owner) {
    if (owner == raw_owner) return;
    std::lock_guard<std::mutex> hold(state_mutex);
    for (BusOwner& holder : lock_holder) {
        if (holder == owner) holder = raw_owner;
    }
    changed.notify_all();
}

BusOwner address_lock_holder(int address) {
    if (address < 0 || address >= bus_address_count) return raw_owner;
    std::lock_guard<std::mutex> hold(state_mutex);
    return lock_holder[address];
}

void bus_wake_all() {
    std::lock_guard<std::mutex> hold(state_mutex);
    changed.notify_all();
}

}  // namespace gateway
