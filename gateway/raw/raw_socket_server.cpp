#include "raw_socket_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bus_access.h"
#include "bus_transaction.h"
#include "connection_slots.h"
#include "gateway_log.h"
#include "line_input.h"
#include "message_rules.h"
#include "net.h"

namespace gateway {

namespace {

constexpr std::size_t receive_size = 1024;
// How long server_close waits for the connections' threads to end.
constexpr auto client_end_wait = std::chrono::seconds(5);
constexpr auto raw_lock_wait = std::chrono::milliseconds(5000);

// A connection's buffers; which slots are taken is kept by connection_slots.
struct ClientSlot {
    Socket socket;
    PeerAddress peer;
    LineInput input;
    Transaction transaction;
    char received[receive_size];
};

Options options;
Socket listener = no_socket;
std::thread accept_thread;
ClientSlot clients[connection_max];

std::atomic<bool> accepting{false};
// Set while holding the bus: no transaction starts after it.
std::atomic<bool> stopped{false};
int instrument_address = 0;

enum class LineServed { nothing, transaction, stopping };

// One complete line from a client: refused (logged), or one transaction, whose outcome is left in
// slot.transaction.
LineServed serve_line(ClientSlot& slot, LineVerdict verdict) {
    LineInput& in = slot.input;
    if (verdict == LineVerdict::too_long) {
        log_refusal(slot.peer.text, "over 255 bytes", in.text, in.length);
        return LineServed::nothing;
    }
    if (verdict == LineVerdict::zero_byte) {
        log_refusal(slot.peer.text, "zero byte in line", in.text, in.length);
        return LineServed::nothing;
    }
    if (in.length == 0) return LineServed::nothing;   // an empty line asks for nothing
    const bool query = message_has_query(in.text, in.length);
    // A line for an instrument locked by a VXI-11 link waits for the lock, as long as raw_lock_wait.
    const BusClaim claim{instrument_address, raw_owner, true, raw_lock_wait, std::chrono::milliseconds(-1), nullptr};
    if (bus_claim(claim) != BusWait::granted) {
        log_refusal(slot.peer.text, "instrument locked by a VXI-11 link for 5 s", in.text, in.length);
        return LineServed::nothing;
    }
    if (stopped) {
        bus_unclaim();
        return LineServed::stopping;
    }
    bus_transaction(options.address_text, in.text, query, slot.transaction);
    bus_wrote(instrument_address, raw_owner);
    bus_unclaim();
    return LineServed::transaction;
}

// The transaction's reply, if any, then its log line. False when the connection failed.
bool send_reply(ClientSlot& slot) {
    const Transaction& t = slot.transaction;
    const bool sent = t.outcome != Outcome::replied || net_send_all(slot.socket, t.reply, t.reply_length);
    log_transaction(slot.peer.text, slot.input.text, slot.input.length, t);
    return sent;
}

void serve_client(int index) {
    ClientSlot* slot = &clients[index];
    line_input_reset(slot->input);
    for (;;) {
        const long n = net_receive(slot->socket, slot->received, sizeof slot->received);
        if (n <= 0) break;
        const char* data = slot->received;
        std::size_t left = static_cast<std::size_t>(n);
        bool open = true;
        while (left > 0 && open) {
            LineVerdict verdict = LineVerdict::incomplete;
            const std::size_t taken = line_input_take(slot->input, data, left, verdict);
            data += taken;
            left -= taken;
            if (verdict != LineVerdict::incomplete) {
                slot_at_work(index);
                const LineServed served = serve_line(*slot, verdict);
                // A reply waiting to be sent is no work: a client that reads nothing keeps no slot by it.
                slot_done(index);
                open = served == LineServed::transaction ? send_reply(*slot) : served == LineServed::nothing;
                line_input_reset(slot->input);
            }
        }
        if (!open) break;
    }
    if (const char* why = net_failure_reason()) log_event(slot->peer.text, why);
    log_event(slot->peer.text, "disconnected");
    slot_free(index);
}

void admit_client(int index, Socket s, const PeerAddress& peer, const void*) {
    ClientSlot& slot = clients[index];
    slot.socket = s;
    slot.peer = peer;
    log_event(peer.text, "connected");
}

void accept_clients() {
    const Admission admission{&options, "raw socket", admit_client, serve_client, nullptr, nullptr};
    slots_accept(listener, admission, accepting);
}

}  // namespace

bool server_start(const Options& given, int& error) {
    options = given;
    instrument_address = std::atoi(options.address_text);
    stopped = false;
    listener = net_listen(options.listen_address, options.port, error);
    if (listener == no_socket) return false;
    slots_open();
    accepting = true;
    log_start();
    accept_thread = std::thread(accept_clients);
    return true;
}

unsigned server_port() { return net_bound_port(listener); }

void server_stop_serving() {
    accepting = false;
    slots_refuse();
    net_stop_listening(listener);
    accept_thread.join();
    net_close_listener(listener);
    listener = no_socket;
    // Waits for the transaction in progress; none starts after this.
    std::lock_guard<std::mutex> hold(bus_lock());
    stopped = true;
}

bool server_close() {
    slots_close_all();
    return slots_wait_empty(client_end_wait);
}

void server_stop() {
    server_stop_serving();
    server_close();
    log_stop();
}

std::mutex& server_bus_lock() { return bus_lock(); }

}  // namespace gateway
