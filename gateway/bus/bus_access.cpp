#include "bus_access.h"

#include <condition_variable>
#include <mutex>

namespace gateway {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex state_mutex;
std::condition_variable changed;
bool busy = false;
BusOwner lock_holder[bus_address_count] = {};

bool locked_out(const BusClaim& c) {
    return c.address >= 0 && c.address < bus_address_count && lock_holder[c.address] != raw_owner &&
           lock_holder[c.address] != c.owner;
}

// Waits under hold until ready() or a bound; want_bus: the bus must be free too.
BusWait wait_for(std::unique_lock<std::mutex>& hold, const BusClaim& c, bool want_bus) {
    const Clock::time_point start = Clock::now();
    const Clock::time_point lock_deadline = start + c.lock_timeout;
    const bool io_bounded = c.io_timeout.count() >= 0;
    const Clock::time_point io_deadline = start + (io_bounded ? c.io_timeout : std::chrono::milliseconds(0));
    for (;;) {
        if (c.abort != nullptr && c.abort->load()) return BusWait::aborted;
        const Clock::time_point now = Clock::now();
        if (locked_out(c)) {
            if (!c.wait_for_lock || now >= lock_deadline) return BusWait::locked;
            changed.wait_until(hold, lock_deadline);
        } else if (want_bus && busy) {
            if (!io_bounded) {
                changed.wait(hold);
            } else {
                if (now >= io_deadline) return BusWait::timed_out;
                changed.wait_until(hold, io_deadline);
            }
        } else {
            return BusWait::granted;
        }
    }
}

}  // namespace

BusWait bus_claim(const BusClaim& claim) {
    std::unique_lock<std::mutex> hold(state_mutex);
    const BusWait result = wait_for(hold, claim, true);
    if (result == BusWait::granted) busy = true;
    return result;
}

void bus_release() {
    std::lock_guard<std::mutex> hold(state_mutex);
    busy = false;
    changed.notify_all();
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

BusHold::BusHold() {
    const BusClaim claim{-1, raw_owner, true, std::chrono::milliseconds(0), std::chrono::milliseconds(-1), nullptr};
    bus_claim(claim);
}

BusHold::~BusHold() { bus_release(); }

}  // namespace gateway
