#include "vxi11_server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <thread>

#include "connection_slots.h"
#include "link_table.h"
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
// After a query's device_write the client's device_read follows within microseconds: the
// connection's thread waits for it this long without sleeping, which saves a sleep and a wake-up
// per query (a tenth of its time on loopback). Not on Windows: under Wine each look at the socket
// costs a round trip to the Wine server, more than it saves (real Windows is unmeasured).
#ifdef _WIN32
constexpr int read_due_wait_us = 0;
#else
constexpr int read_due_wait_us = 100;
#endif
constexpr int udp_receive_wait_ms = 250;
constexpr auto connection_end_wait = std::chrono::milliseconds(5000);
// However long a client's time-outs: a call waits for a lock or for the bus at most this long.
constexpr std::chrono::milliseconds call_wait_max = std::chrono::minutes(10);

enum class Channel { portmapper, core, abort };

// A connection's buffers; which slots are taken is kept by connection_slots.
struct Connection {
    Socket socket;
    PeerAddress peer;
    Channel channel;
    CoreConnection core;
    PortmapperCall portmapper;
    rpc::RecordInput input;
    std::uint8_t received[receive_size];
    std::uint8_t reply[reply_record_max];
};

Options options;
Socket core_listener = no_socket;
Socket abort_listener = no_socket;
Socket portmapper_listener = no_socket;
Socket portmapper_udp = no_socket;
// Where the listener is one interface's address: a socket bound to its subnet's broadcast address,
// for discovery (a socket bound to a unicast address receives no broadcasts on Linux, nor under Wine).
Socket portmapper_broadcast = no_socket;
bool registered = false;
std::thread core_thread;
std::thread abort_thread;
std::thread portmapper_thread;
std::thread udp_thread;
std::thread broadcast_thread;

Connection connections[connection_max];
std::atomic<bool> accepting{false};

bool is_stopping() { return !accepting; }

const rpc::Program* programs_of(Channel c, std::size_t& count) {
    switch (c) {
        case Channel::portmapper: count = portmapper_program_count; return portmapper_programs;
        case Channel::core: count = core_program_count; return core_programs;
        case Channel::abort: count = abort_program_count; return abort_programs;
    }
    count = 0;
    return nullptr;
}

// One call record answered with one reply record, left in c.reply; its size, or 0 when the record
// is no RPC call (logged) and the connection is to end.
std::size_t answer_record(Connection& c) {
    std::size_t count = 0;
    const rpc::Program* programs = programs_of(c.channel, count);
    void* context = c.channel == Channel::portmapper ? static_cast<void*>(&c.portmapper) : static_cast<void*>(&c.core);
    rpc::XdrWriter w = rpc::xdr_writer(c.reply + 4, sizeof c.reply - 4);
    rpc::CallHeader call{};
    if (rpc::rpc_serve(programs, count, context, c.input.data, c.input.length, w, call) == rpc::Served::malformed) {
        log_event(c.peer.text, "closed: not an RPC call record");
        return 0;
    }
    rpc::record_mark_write(c.reply, w.at);
    return 4 + w.at;
}

void serve_connection(int index) {
    Connection* c = &connections[index];
    rpc::record_input_reset(c->input);
    bool open = true;
    while (open) {
        const bool soon = c->channel == Channel::core && c->core.read_due;
        const long n = net_receive_soon(c->socket, reinterpret_cast<char*>(c->received), sizeof c->received,
                                        soon ? read_due_wait_us : 0);
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
                slot_at_work(index);
                const std::size_t reply_size = answer_record(*c);
                // A reply waiting to be sent is no work: a client that reads nothing keeps no slot
                // by it, whatever it holds.
                slot_done(index);
                open = reply_size > 0 && net_send_all(c->socket, reinterpret_cast<const char*>(c->reply), reply_size);
                if (reply_size > 0) core_log_flush(c->core);
                // A VISA session's links (and locks) are never closed to make room: while it holds
                // one, its core connection counts as at work. Any other connection, an abort
                // channel too, is at work only while a call is served.
                if (open && c->channel == Channel::core && links_held(&c->core)) slot_at_work(index);
                rpc::record_input_reset(c->input);
            }
        }
    }
    if (c->channel == Channel::core) core_connection_closed(c->core);
    if (const char* why = net_failure_reason()) log_event(c->peer.text, why);
    log_event(c->peer.text, "disconnected");
    slot_free(index);
}

const char* channel_name(Channel c) {
    switch (c) {
        case Channel::portmapper: return "connected (vxi11 portmapper)";
        case Channel::core: return "connected (vxi11 core)";
        case Channel::abort: return "connected (vxi11 abort)";
    }
    return "connected";
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

// Channels as the context of each listener's Admission.
constexpr Channel channels[] = {Channel::portmapper, Channel::core, Channel::abort};

void admit_connection(int index, Socket s, const PeerAddress& peer, const void* context) {
    const Channel channel = *static_cast<const Channel*>(context);
    Connection& c = connections[index];
    c.socket = s;
    c.peer = peer;
    c.channel = channel;
    c.core.peer = c.peer.text;
    c.core.client = peer.ipv4;
    c.core.log_pending = false;
    c.core.read_due = false;
    c.portmapper.peer = c.peer.text;
    log_event(peer.text, channel_name(channel));
}

void turned_away(Socket s, const void* context) {
    if (*static_cast<const Channel*>(context) == Channel::core) refuse_core_connection(s);
}

void accept_connections(Socket listener, Channel channel) {
    static const char* const protocols[] = {"vxi11 portmapper", "vxi11 core", "vxi11 abort"};
    const Admission admission{&options, protocols[static_cast<int>(channel)], admit_connection, serve_connection, turned_away,
                              &channels[static_cast<int>(channel)]};
    slots_accept(listener, admission, accepting);
}

// The portmapper over UDP: one datagram is one call, answered to its sender from the listener's
// address (portmapper_udp). Only NULL and GETPORT: no reply is larger than its call.
void serve_udp(Socket receiving) {
    char received[rpc::record_max];
    std::uint8_t reply[reply_record_max];
    while (!is_stopping()) {
        PeerAddress from{};
        const long n = net_udp_receive(receiving, received, sizeof received, from);
        if (n < 0 || !client_allowed(options, from.ipv4)) continue;
        PortmapperCall call_context{from.text};
        rpc::XdrWriter w = rpc::xdr_writer(reply, sizeof reply);
        rpc::CallHeader call{};
        if (rpc::rpc_serve(portmapper_udp_programs, portmapper_udp_program_count, &call_context,
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
    close_socket(portmapper_broadcast);
}

// Port 111 here, or registration with the portmapper holding it. False: failure says why. UDP is
// served where TCP is: on loopback alone, on one interface (its subnet's broadcasts too), or on
// every one.
bool take_portmapper_port(Vxi11Served& served, char* failure, std::size_t failure_size) {
    int tcp_error = 0;
    int udp_error = 0;
    served.broadcast_text[0] = '\0';
    portmapper_listener = net_listen(options.listen_address, portmapper_port, tcp_error);
    portmapper_udp = net_udp_open(options.listen_address, portmapper_port, udp_receive_wait_ms, udp_error);
    std::uint32_t broadcast = 0;
    if (portmapper_udp != no_socket && net_broadcast_to_bind(options.listen_address, broadcast)) {
        int error = 0;
        portmapper_broadcast = net_udp_open(broadcast, portmapper_port, udp_receive_wait_ms, error);
        if (portmapper_broadcast != no_socket) net_ipv4_text(served.broadcast_text, broadcast);
    }
    if (portmapper_listener != no_socket && portmapper_udp != no_socket) {
        served.own_portmapper = true;
        return true;
    }
    close_socket(portmapper_listener);
    close_socket(portmapper_udp);
    close_socket(portmapper_broadcast);
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
    registered = false;
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
    accepting = true;
    core_thread = std::thread(accept_connections, core_listener, Channel::core);
    abort_thread = std::thread(accept_connections, abort_listener, Channel::abort);
    if (served.own_portmapper) {
        portmapper_thread = std::thread(accept_connections, portmapper_listener, Channel::portmapper);
        udp_thread = std::thread(serve_udp, portmapper_udp);
        if (portmapper_broadcast != no_socket) broadcast_thread = std::thread(serve_udp, portmapper_broadcast);
    }
    return true;
}

void vxi11_stop_serving() {
    accepting = false;
    slots_refuse();
    for (Socket listener : {core_listener, abort_listener, portmapper_listener}) {
        if (listener != no_socket) net_stop_listening(listener);
    }
    for (std::thread* t : {&core_thread, &abort_thread, &portmapper_thread, &udp_thread, &broadcast_thread}) {
        if (t->joinable()) t->join();
    }
    for (Socket listener : {core_listener, abort_listener, portmapper_listener}) {
        if (listener != no_socket) net_close_listener(listener);
    }
    core_listener = abort_listener = portmapper_listener = no_socket;
    close_socket(portmapper_udp);
    close_socket(portmapper_broadcast);
    core_channel_stop();
}

bool vxi11_close() {
    slots_close_all();
    const bool ended = slots_wait_empty(connection_end_wait);
    if (registered) portmapper_unregister();
    registered = false;
    return ended;
}

}  // namespace gateway
