#include "vxi11_server.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "connection_slots.h"
#include "core_channel.h"
#include "gateway_log.h"
#include "net.h"
#include "portmapper.h"
#include "portmapper_registration.h"
#include "record_input.h"
#include "rpc_message.h"
#include "rpc_program.h"
#include "vxi11_messages.h"

namespace gateway {

namespace {

using namespace vxi11;

constexpr std::size_t receive_size = 4096;
// A reply: its record mark, RPC header and the largest result (device_read's data).
constexpr std::size_t reply_capacity = 4 + 64 + data_max;
constexpr int udp_receive_wait_ms = 250;
constexpr auto connection_end_wait = std::chrono::seconds(5);
// However long a client's time-outs: a call waits for a lock or for the bus at most this long.
constexpr std::chrono::milliseconds call_wait_max = std::chrono::minutes(10);

enum class Channel { portmapper, core, abort };

// A connection's state; its index is its slot in connection_slots, shared with the raw socket.
struct Connection {
    int index;
    bool in_use;
    Socket socket;
    PeerAddress peer;
    Channel channel;
    CoreConnection core;
    PortmapperCall portmapper;
    rpc::RecordInput input;
    std::uint8_t received[receive_size];
    std::uint8_t reply[reply_capacity];
};

Options options;
Socket core_listener = no_socket;
Socket abort_listener = no_socket;
Socket portmapper_listener = no_socket;
Socket portmapper_udp = no_socket;
bool registered = false;
std::thread core_thread;
std::thread abort_thread;
std::thread portmapper_thread;
std::thread udp_thread;

// Guards the connections' in_use and socket fields, stopping and running.
std::mutex connections_mutex;
std::condition_variable connection_ended;
Connection connections[connection_max];
std::size_t running = 0;
bool stopping = false;

bool is_stopping() {
    std::lock_guard<std::mutex> hold(connections_mutex);
    return stopping;
}

const rpc::Program* programs_of(Channel c, std::size_t& count) {
    switch (c) {
        case Channel::portmapper: count = portmapper_program_count; return portmapper_programs;
        case Channel::core: count = core_program_count; return core_programs;
        case Channel::abort: count = abort_program_count; return abort_programs;
    }
    count = 0;
    return nullptr;
}

// One call record answered with one reply record. False when the connection is to end.
bool serve_record(Connection& c) {
    std::size_t count = 0;
    const rpc::Program* programs = programs_of(c.channel, count);
    void* context = c.channel == Channel::portmapper ? static_cast<void*>(&c.portmapper) : static_cast<void*>(&c.core);
    rpc::XdrWriter w = rpc::xdr_writer(c.reply + 4, sizeof c.reply - 4);
    rpc::CallHeader call{};
    if (rpc::rpc_serve(programs, count, context, c.input.data, c.input.length, w, call) == rpc::Served::malformed) {
        log_event(c.peer.text, "closed: not an RPC call record");
        return false;
    }
    rpc::record_mark_write(c.reply, w.at);
    const bool sent = net_send_all(c.socket, reinterpret_cast<const char*>(c.reply), 4 + w.at);
    core_log_flush(c.core);
    return sent;
}

void serve_connection(Connection* c) {
    rpc::record_input_reset(c->input);
    bool open = true;
    while (open) {
        const long n = net_receive(c->socket, reinterpret_cast<char*>(c->received), sizeof c->received);
        if (n <= 0) break;
        const std::uint8_t* data = c->received;
        std::size_t left = static_cast<std::size_t>(n);
        while (left > 0 && open) {
            rpc::RecordVerdict verdict = rpc::RecordVerdict::incomplete;
            const std::size_t taken = rpc::record_input_take(c->input, data, left, verdict);
            data += taken;
            left -= taken;
            if (verdict == rpc::RecordVerdict::too_long) {
                log_event(c->peer.text, "closed: RPC record over 8192 bytes");
                open = false;
            } else if (verdict == rpc::RecordVerdict::record) {
                slot_at_work(c->index);
                open = serve_record(*c);
                slot_done(c->index);
                rpc::record_input_reset(c->input);
            }
        }
    }
    if (c->channel == Channel::core) core_connection_closed(c->core);
    log_event(c->peer.text, "disconnected");
    {
        std::lock_guard<std::mutex> hold(connections_mutex);
        c->socket = no_socket;
        c->in_use = false;
        --running;
        connection_ended.notify_all();
    }
    slot_free(c->index);   // closes the socket
}

const char* channel_name(Channel c) {
    switch (c) {
        case Channel::portmapper: return "connected (vxi11 portmapper)";
        case Channel::core: return "connected (vxi11 core)";
        case Channel::abort: return "connected (vxi11 abort)";
    }
    return "connected";
}

const char* const no_thread = "no thread to serve it";

// Gives the connection a slot (which may close the connection idle longest) and a thread. False,
// with why, when it is turned away; the socket is the caller's then.
bool admit(Socket s, const PeerAddress& peer, Channel channel, const char*& why) {
    if (is_stopping()) {
        why = "the gateway is stopping";
        return false;
    }
    const int index = slot_take(s, peer, why);
    if (index == no_slot) return false;
    std::lock_guard<std::mutex> hold(connections_mutex);
    Connection& c = connections[index];
    c.index = index;
    c.in_use = true;
    c.socket = s;
    c.peer = peer;
    c.channel = channel;
    c.core.peer = c.peer.text;
    c.core.log_pending = false;
    c.portmapper.peer = c.peer.text;
    log_event(peer.text, channel_name(channel));
    try {
        std::thread(serve_connection, &c).detach();
    } catch (const std::system_error&) {
        c.in_use = false;
        c.socket = no_socket;
        why = no_thread;
        slot_free(index);   // closes the socket: no "out of resources" answer then
        return false;
    }
    ++running;
    return true;
}

// A core connection past the limit: its first call, when it is create_link, is answered "out of
// resources" before the connection is closed, so that the client is told why. Waits for that call
// a second at most (on the accepting thread: connections are not served then anyway).
void refuse_core_connection(Socket s) {
    constexpr int wait_ms = 250;
    constexpr int receives_max = 4;
    static rpc::RecordInput input;
    static std::uint8_t received[512];
    static std::uint8_t reply[128];
    net_set_receive_wait(s, wait_ms);
    rpc::record_input_reset(input);
    for (int receives = 0; receives < receives_max; ++receives) {
        const long n = net_receive(s, reinterpret_cast<char*>(received), sizeof received);
        if (n <= 0) return;
        rpc::RecordVerdict verdict = rpc::RecordVerdict::incomplete;
        rpc::record_input_take(input, received, static_cast<std::size_t>(n), verdict);
        if (verdict == rpc::RecordVerdict::too_long) return;
        if (verdict != rpc::RecordVerdict::record) continue;
        rpc::XdrReader r = rpc::xdr_reader(input.data, input.length);
        rpc::CallHeader call{};
        if (!rpc::rpc_read_call(r, call) || call.program != core_program || call.procedure != create_link_procedure) {
            return;
        }
        rpc::XdrWriter w = rpc::xdr_writer(reply + 4, sizeof reply - 4);
        rpc::rpc_write_accepted(w, call.xid, rpc::AcceptStat::success);
        rpc::xdr_encode(w, CreateLinkResult{out_of_resources, 0, 0, max_receive_size});
        rpc::record_mark_write(reply, w.at);
        net_send_all(s, reinterpret_cast<const char*>(reply), 4 + w.at);
        return;
    }
}

void accept_connections(Socket listener, Channel channel) {
    for (;;) {
        PeerAddress peer{};
        const Socket s = net_accept(listener, peer);
        if (s == no_socket) {
            if (is_stopping()) return;
            continue;
        }
        if (!client_allowed(options, peer.ipv4)) {
            log_event(peer.text, "turned away: not in an --allow range");
            net_close(s);
            continue;
        }
        net_tune(s);
        const char* why = "";
        if (!admit(s, peer, channel, why)) {
            char what[96];
            std::snprintf(what, sizeof what, "turned away: %s", why);
            log_event(peer.text, what);
            if (why == no_thread) continue;
            // Told why when the gateway is full; when it is stopping, nothing waits for the call.
            if (channel == Channel::core && !is_stopping()) refuse_core_connection(s);
            net_close(s);
        }
    }
}

// The portmapper over UDP, broadcasts included: one datagram is one call, answered to its sender.
void serve_udp() {
    static char received[rpc::record_max];
    static std::uint8_t reply[reply_capacity];
    while (!is_stopping()) {
        PeerAddress from{};
        const long n = net_udp_receive(portmapper_udp, received, sizeof received, from);
        if (n < 0 || !client_allowed(options, from.ipv4)) continue;
        PortmapperCall call_context{from.text};
        rpc::XdrWriter w = rpc::xdr_writer(reply, sizeof reply);
        rpc::CallHeader call{};
        if (rpc::rpc_serve(portmapper_programs, portmapper_program_count, &call_context,
                           reinterpret_cast<const std::uint8_t*>(received), static_cast<std::size_t>(n), w,
                           call) == rpc::Served::replied) {
            net_udp_send(portmapper_udp, reinterpret_cast<const char*>(reply), w.at, from.ipv4, from.port);
        }
    }
}

void close_socket(Socket& s) {
    if (s != no_socket) net_close(s);
    s = no_socket;
}

void close_all() {
    close_socket(core_listener);
    close_socket(abort_listener);
    close_socket(portmapper_listener);
    close_socket(portmapper_udp);
}

void format_address(char* text, std::size_t size, std::uint32_t a) {
    std::snprintf(text, size, "%u.%u.%u.%u", static_cast<unsigned>(a >> 24), static_cast<unsigned>((a >> 16) & 0xFF),
                  static_cast<unsigned>((a >> 8) & 0xFF), static_cast<unsigned>(a & 0xFF));
}

// Port 111 here, or registration with the portmapper holding it. False: failure says why.
bool take_portmapper_port(Vxi11Served& served, char* failure, std::size_t failure_size) {
    // Broadcasts arrive on an interface, never on loopback: the UDP socket listens on every one.
    constexpr std::uint32_t any_address = 0;
    int tcp_error = 0;
    int udp_error = 0;
    portmapper_listener = net_listen(options.listen_address, portmapper_port, tcp_error);
    portmapper_udp = net_udp_open(any_address, portmapper_port, udp_receive_wait_ms, udp_error);
    format_address(served.udp_text, sizeof served.udp_text, any_address);
    if (portmapper_listener != no_socket && portmapper_udp != no_socket) {
        served.own_portmapper = true;
        return true;
    }
    close_socket(portmapper_listener);
    close_socket(portmapper_udp);
    served.own_portmapper = false;
    if (portmapper_register(served.core_port, served.abort_port)) {
        registered = true;
        return true;
    }
    const int error = tcp_error != 0 ? tcp_error : udp_error;
    if (net_error_denied(error)) {
        std::snprintf(failure, failure_size,
                      "vxi11 not served: port 111 refused (error %d: no right to bind it, or another program holds it "
                      "exclusively) and no portmapper to register with: run as root or give the program "
                      "cap_net_bind_service, or stop the program holding it, or start rpcbind",
                      error);
    } else if (net_error_in_use(error)) {
        std::snprintf(failure, failure_size,
                      "vxi11 not served: port 111 is held by a program that takes no registration (error %d): "
                      "stop it or let it accept PMAPPROC_SET from 127.0.0.1 (rpcbind does)",
                      error);
    } else {
        std::snprintf(failure, failure_size, "vxi11 not served: cannot bind port 111 (error %d); --no-vxi11 turns it off",
                      error);
    }
    return false;
}

bool open_channel(Socket& listener, std::uint16_t port, const char* option, char* failure, std::size_t failure_size) {
    int error = 0;
    listener = net_listen(options.listen_address, port, error);
    if (listener != no_socket) return true;
    std::snprintf(failure, failure_size, "vxi11 not served: cannot listen on %s:%u (error %d); choose another %s",
                  options.listen_text, static_cast<unsigned>(port), error, option);
    return false;
}

}  // namespace

bool vxi11_start(const Options& given, Vxi11Served& served, char* failure, std::size_t failure_size) {
    options = given;
    stopping = false;
    running = 0;
    registered = false;
    for (Connection& c : connections) {
        c.in_use = false;
        c.socket = no_socket;
    }
    if (!open_channel(core_listener, options.core_port, "--core-port", failure, failure_size) ||
        !open_channel(abort_listener, options.abort_port, "--abort-port", failure, failure_size)) {
        close_all();
        return false;
    }
    served.core_port = net_bound_port(core_listener);
    served.abort_port = net_bound_port(abort_listener);
    if (!take_portmapper_port(served, failure, failure_size)) {
        close_all();
        return false;
    }
    core_channel_setup(std::atoi(options.address_text), served.abort_port, call_wait_max);
    portmapper_setup(served.core_port, served.abort_port);
    log_start();
    slots_open();
    core_thread = std::thread(accept_connections, core_listener, Channel::core);
    abort_thread = std::thread(accept_connections, abort_listener, Channel::abort);
    if (served.own_portmapper) {
        portmapper_thread = std::thread(accept_connections, portmapper_listener, Channel::portmapper);
        udp_thread = std::thread(serve_udp);
    }
    return true;
}

void vxi11_stop_serving() {
    {
        std::lock_guard<std::mutex> hold(connections_mutex);
        stopping = true;
    }
    slots_refuse();   // an accepting thread waiting for a slot returns at once
    for (Socket listener : {core_listener, abort_listener, portmapper_listener}) {
        if (listener != no_socket) net_stop_listening(listener);
    }
    for (std::thread* t : {&core_thread, &abort_thread, &portmapper_thread, &udp_thread}) {
        if (t->joinable()) t->join();
    }
    for (Socket listener : {core_listener, abort_listener, portmapper_listener}) {
        if (listener != no_socket) net_close_listener(listener);
    }
    core_listener = abort_listener = portmapper_listener = no_socket;
    close_socket(portmapper_udp);
    core_channel_stop();
}

void vxi11_close() {
    std::unique_lock<std::mutex> hold(connections_mutex);
    for (Connection& c : connections) {
        if (c.in_use) net_shut(c.socket);
    }
    connection_ended.wait_for(hold, connection_end_wait, [] { return running == 0; });
    hold.unlock();
    if (registered) portmapper_unregister();
    registered = false;
}

void vxi11_stop() {
    vxi11_stop_serving();
    vxi11_close();
}

}  // namespace gateway
