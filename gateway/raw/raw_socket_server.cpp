#include "raw_socket_server.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "bus_access.h"
#include "bus_transaction.h"
#include "connection_count.h"
#include "gateway_log.h"
#include "line_input.h"
#include "message_query.h"
#include "net.h"

namespace gateway {

namespace {

constexpr std::size_t receive_size = 1024;
// How long server_stop waits for the connections' threads to end.
constexpr auto client_end_wait = std::chrono::seconds(5);
constexpr auto raw_lock_wait = std::chrono::milliseconds(5000);

struct ClientSlot {
    bool in_use;
    Socket socket;
    PeerAddress peer;
    LineInput input;
    Transaction transaction;
    char received[receive_size];
};

Options options;
Socket listener = no_socket;
std::thread accept_thread;

// Guards the slots' in_use and socket fields, stopping and clients_running.
std::mutex slots_mutex;
std::condition_variable clients_ended;
ClientSlot slots[client_max];
std::size_t clients_running = 0;
bool stopping = false;

// Set while holding the bus: no transaction starts after it.
std::atomic<bool> stopped{false};
int instrument_address = 0;

// One complete line from a client: refused, or one transaction. False when the connection failed.
bool serve_line(ClientSlot& slot, LineVerdict verdict) {
    LineInput& in = slot.input;
    if (verdict == LineVerdict::too_long) {
        log_refusal(slot.peer.text, "over 255 bytes", in.text, in.length);
        return true;
    }
    if (verdict == LineVerdict::zero_byte) {
        log_refusal(slot.peer.text, "zero byte in line", in.text, in.length);
        return true;
    }
    if (in.length == 0) return true;   // an empty line asks for nothing
    const bool query = message_has_query(in.text, in.length);
    // A line for an instrument locked by a VXI-11 link waits for the lock, as long as raw_lock_wait.
    const BusClaim claim{instrument_address, raw_owner, true, raw_lock_wait, std::chrono::milliseconds(-1), nullptr};
    if (bus_claim(claim) != BusWait::granted) {
        log_refusal(slot.peer.text, "instrument locked by a VXI-11 link for 5 s", in.text, in.length);
        return true;
    }
    if (stopped) {
        bus_release();
        return false;
    }
    bus_transaction(options.address_text, in.text, query, slot.transaction);
    bus_release();
    const Transaction& t = slot.transaction;
    const bool sent = t.outcome != Outcome::replied || net_send_all(slot.socket, t.reply, t.reply_length);
    log_transaction(slot.peer.text, in.text, in.length, t);
    return sent;
}

void serve_client(ClientSlot* slot) {
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
                open = serve_line(*slot, verdict);
                line_input_reset(slot->input);
            }
        }
        if (!open) break;
    }
    log_event(slot->peer.text, "disconnected");
    connection_give_back();
    std::lock_guard<std::mutex> hold(slots_mutex);
    net_close(slot->socket);
    slot->socket = no_socket;
    slot->in_use = false;
    --clients_running;
    clients_ended.notify_all();
}

// Gives the connection a free slot and a thread; false when every slot is taken or stopping.
bool admit(Socket s, const PeerAddress& peer) {
    std::lock_guard<std::mutex> hold(slots_mutex);
    if (stopping || !connection_take()) return false;
    for (ClientSlot& slot : slots) {
        if (slot.in_use) continue;
        slot.in_use = true;
        slot.socket = s;
        slot.peer = peer;
        log_event(peer.text, "connected");
        try {
            std::thread(serve_client, &slot).detach();
        } catch (const std::system_error&) {   // no thread to be had: turned away like a 17th
            slot.in_use = false;
            slot.socket = no_socket;
            connection_give_back();
            return false;
        }
        ++clients_running;
        return true;
    }
    connection_give_back();
    return false;
}

void accept_clients() {
    for (;;) {
        PeerAddress peer{};
        const Socket s = net_accept(listener, peer);
        if (s == no_socket) {
            std::lock_guard<std::mutex> hold(slots_mutex);
            if (stopping) return;
            continue;
        }
        if (!client_allowed(options, peer.ipv4)) {
            log_event(peer.text, "turned away: not in an --allow range");
            net_close(s);
            continue;
        }
        net_tune(s);
        if (!admit(s, peer)) {
            log_event(peer.text, "turned away: 16 clients already");
            net_close(s);
        }
    }
}

}  // namespace

bool server_start(const Options& given, int& error) {
    options = given;
    instrument_address = std::atoi(options.address_text);
    stopping = false;
    stopped = false;
    clients_running = 0;
    for (ClientSlot& slot : slots) {
        slot.in_use = false;
        slot.socket = no_socket;
    }
    listener = net_listen(options.listen_address, options.port, error);
    if (listener == no_socket) return false;
    log_start();
    accept_thread = std::thread(accept_clients);
    return true;
}

unsigned server_port() { return net_bound_port(listener); }

void server_stop() {
    {
        std::lock_guard<std::mutex> hold(slots_mutex);
        stopping = true;
    }
    net_stop_listening(listener);
    accept_thread.join();
    net_close_listener(listener);
    listener = no_socket;
    {
        // Waits for the transaction in progress; none starts after this.
        std::lock_guard<std::mutex> hold(bus_lock());
        stopped = true;
    }
    std::unique_lock<std::mutex> hold(slots_mutex);
    for (ClientSlot& slot : slots) {
        if (slot.in_use) net_shut(slot.socket);
    }
    clients_ended.wait_for(hold, client_end_wait, [] { return clients_running == 0; });
    hold.unlock();
    log_stop();
}

std::mutex& server_bus_lock() { return bus_lock(); }

}  // namespace gateway
