#include "bus_transaction.h"

#include <atomic>
#include <cstring>

#include "bus_calls.h"

namespace gateway {

namespace {

std::atomic<unsigned long long> transactions_made{0};
std::atomic<unsigned long long> transactions_failed{0};

void fail(Transaction& t, const char* call, BusStatus status) {
    t.outcome = Outcome::failed;
    t.failed_call = call;
    t.status = status;
    t.reply_length = 0;
    t.reply[0] = '\0';
}

void clear_instrument(Transaction& t, const char* address) {
    t.cleared = true;
    t.clear_status = taverix::gp_clr(address);
}

void reset(Transaction& t) {
    t.outcome = Outcome::written;
    t.reply_length = 0;
    t.reply[0] = '\0';
    t.failed_call = "";
    t.status = 0;
    t.cleared = false;
    t.clear_status = 0;
}

void read_reply(const char* address, Transaction& t) {
    bool too_long = false;
    for (int reads = 0;; ++reads) {
        if (reads == reads_max) {
            fail(t, "reply too long", 0);
            return clear_instrument(t, address);
        }
        // As the panel reads: read_size asked for, and a zero byte past it, so that a library that
        // fills the whole buffer without a terminator loses nothing.
        char piece[read_size + 1];
        std::memset(piece, 0, sizeof piece);
        if (BusStatus s = taverix::gp_red(address, piece, static_cast<std::int32_t>(read_size)); s != 0) {
            fail(t, "gp_red", s);
            return clear_instrument(t, address);
        }
        const std::size_t n = strnlen(piece, read_size);
        if (n > reply_capacity - t.reply_length) too_long = true;
        if (!too_long) {
            std::memcpy(t.reply + t.reply_length, piece, n);
            t.reply_length += n;
        }
        // A library that terminates within the buffer delivers read_size - 1 bytes at most.
        if (n < read_size - 1 || piece[n - 1] == '\n') break;
    }
    if (too_long) {
        fail(t, "reply too long", 0);
        return clear_instrument(t, address);
    }
    // Exactly one line feed at the end.
    while (t.reply_length > 0 && t.reply[t.reply_length - 1] == '\n') --t.reply_length;
    if (t.reply_length == reply_capacity) {
        fail(t, "reply too long", 0);
        return;
    }
    t.reply[t.reply_length++] = '\n';
    t.reply[t.reply_length] = '\0';
    t.outcome = Outcome::replied;
}

}  // namespace

void bus_transaction(const char* address, const char* line, bool query, Transaction& t) {
    reset(t);
    // A message cut off part way could run into the next client's: the device is cleared.
    if (BusStatus s = taverix::gp_wrt(address, line); s != 0) {
        fail(t, "gp_wrt", s);
        clear_instrument(t, address);
    } else if (query) {
        read_reply(address, t);
    }
    bus_count(t.outcome == Outcome::failed);
}

void bus_read_reply(const char* address, Transaction& t) {
    reset(t);
    read_reply(address, t);
    bus_count(t.outcome == Outcome::failed);
}

void bus_count(bool failed) {
    transactions_made.fetch_add(1, std::memory_order_relaxed);
    if (failed) transactions_failed.fetch_add(1, std::memory_order_relaxed);
}

BusCounts bus_counts() {
    return {transactions_made.load(std::memory_order_relaxed), transactions_failed.load(std::memory_order_relaxed)};
}

}  // namespace gateway
