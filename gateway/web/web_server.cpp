#include "web_server.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "gateway_log.h"
#include "net.h"
#include "web_actions.h"
#include "web_request.h"
#include "web_site.h"

namespace gateway::web {

namespace {

using Clock = std::chrono::steady_clock;

// Room for a whole header at its limit and what a client sends after it at once.
constexpr std::size_t receive_capacity = 2 * header_limit;
// How long a new connection waits for the one closed to make room for it; how long web_close waits.
constexpr auto eviction_end_wait = std::chrono::seconds(2);
constexpr auto connection_end_wait = std::chrono::seconds(5);

struct Connection {
    // Under pool_mutex.
    bool in_use;
    bool at_work;   // new and waiting for its first request, part of a request has come, or one is served
    bool closing;   // shut to make room, its thread not ended yet
    Clock::time_point idle_since;
    // The connection's thread's alone.
    Socket socket;
    PeerAddress peer;
    char received[receive_capacity];
    std::size_t held;
    bool mid_request;   // bytes of a request not yet answered have come (the parser may hold them)
    WebRequest request;
    WebResponse response;
    std::string bytes;
};

Options options;
Socket listener = no_socket;
std::thread accept_thread;
std::atomic<bool> accepting{false};
unsigned port_served = 0;

std::mutex pool_mutex;
std::condition_variable pool_changed;
Connection pool[web_connection_max];

void set_at_work(Connection& c, bool at_work) {
    std::lock_guard<std::mutex> hold(pool_mutex);
    c.at_work = at_work;
    if (!at_work) c.idle_since = Clock::now();
}

bool send_response(Connection& c, bool head, bool keep_alive) {
    http_response_write(c.response, head, keep_alive, c.bytes);
    return net_send_all(c.socket, c.bytes.data(), c.bytes.size());
}

// Serves the requests in c.received; false when the connection is to close.
bool serve_held(Connection& c, int index) {
    while (c.held > 0) {
        Feed feed = Feed::more;
        int refusal = 400;
        const std::size_t taken = http_input_put(index, c.received, c.held, feed, refusal, c.request);
        std::memmove(c.received, c.received + taken, c.held - taken);
        c.held -= taken;
        if (feed == Feed::more) {
            if (taken > 0) continue;   // the parser keeps what it took: the request is under way
            if (c.held == sizeof c.received) {   // no header ends within its limit
                refusal_response(431, c.response);
                send_response(c, false, false);
                return false;
            }
            return true;
        }
        if (feed == Feed::refused) {
            refusal_response(refusal, c.response);
            send_response(c, false, false);
            log_event(c.peer.text, "web request refused and connection closed");
            return false;
        }
        handle_request(c.request, c.peer.text, c.response);
        const bool keep = c.request.keep_alive && accepting;
        // Idle from the moment its answer goes out, so that the client that has it finds the
        // connection idle (a connection sending right now is the last one taken for a newcomer).
        c.mid_request = c.held > 0;
        if (!c.mid_request) set_at_work(c, false);
        if (!send_response(c, c.request.method == Method::head, keep) || !keep) return false;
        http_input_reset(index);
    }
    return true;
}

void serve(int index) {
    Connection& c = pool[index];
    c.held = 0;
    c.mid_request = false;
    http_input_reset(index);
    Clock::time_point deadline = Clock::now() + request_time_limit;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        net_set_receive_wait(c.socket, static_cast<int>(left));
        const long n = net_receive(c.socket, c.received + c.held, sizeof c.received - c.held);
        if (n <= 0) break;
        c.held += static_cast<std::size_t>(n);
        c.mid_request = true;
        set_at_work(c, true);
        const bool open = serve_held(c, index);
        if (!open) break;
        if (!c.mid_request) {
            // Between requests: the next one has the whole limit again.
            set_at_work(c, false);
            deadline = Clock::now() + request_time_limit;
        }
    }
    std::lock_guard<std::mutex> hold(pool_mutex);
    net_close(c.socket);
    c.socket = no_socket;
    c.in_use = false;
    pool_changed.notify_all();
}

// A connection for the pool: a free place, else the place of the one idle longest, whose thread is
// waited for; no_slot when every one is at work.
int take_place(Socket s, const PeerAddress& peer) {
    std::unique_lock<std::mutex> hold(pool_mutex);
    const Clock::time_point give_up = Clock::now() + eviction_end_wait;
    for (;;) {
        if (!accepting) return no_slot;
        int idle = no_slot;
        bool closing = false;
        for (std::size_t i = 0; i < web_connection_max; ++i) {
            Connection& c = pool[i];
            if (!c.in_use) {
                c.in_use = true;
                c.at_work = true;
                c.closing = false;
                c.idle_since = Clock::now();
                c.socket = s;
                c.peer = peer;
                return static_cast<int>(i);
            }
            closing = closing || c.closing;
            if (!c.at_work && !c.closing && (idle == no_slot || c.idle_since < pool[idle].idle_since)) {
                idle = static_cast<int>(i);
            }
        }
        if (!closing) {
            if (idle == no_slot) return no_slot;
            pool[idle].closing = true;
            net_shut(pool[idle].socket);
        }
        if (pool_changed.wait_until(hold, give_up) == std::cv_status::timeout) return no_slot;
    }
}

void accept_connections() {
    for (;;) {
        PeerAddress peer{};
        const Socket s = net_accept(listener, peer);
        if (s == no_socket) {
            if (!accepting) return;
            continue;
        }
        if (!client_allowed(options, peer.ipv4)) {
            log_event(peer.text, "web turned away: not in an --allow range");
            net_close(s);
            continue;
        }
        net_tune(s);
        const int index = take_place(s, peer);
        if (index == no_slot) {
            net_close(s);
            continue;
        }
        try {
            std::thread(serve, index).detach();
        } catch (const std::system_error&) {
            std::lock_guard<std::mutex> hold(pool_mutex);
            net_close(s);
            pool[index].in_use = false;
            pool_changed.notify_all();
        }
    }
}

void listen_failure(int error, char* failure, std::size_t size) {
    const unsigned port = options.web_port;
    if (net_error_denied(error)) {
        std::snprintf(failure, size,
                      "web not served: port %u refused (error %d: no right to bind it, or another program holds it "
                      "exclusively): --web-port 8080, or run with the rights for port %u",
                      port, error, port);
    } else if (net_error_in_use(error)) {
        std::snprintf(failure, size, "web not served: port %u is held by another program (error %d): --web-port 8080, "
                      "or stop that program", port, error);
    } else {
        std::snprintf(failure, size, "web not served: cannot listen on %s:%u (error %d): --web-port 8080, or --no-web",
                      options.listen_text, port, error);
    }
}

}  // namespace

bool web_start(const Options& given, unsigned raw_port, bool vxi11, char* failure, std::size_t failure_size) {
    options = given;
    int error = 0;
    listener = net_listen(options.listen_address, options.web_port, error);
    if (listener == no_socket) {
        listen_failure(error, failure, failure_size);
        return false;
    }
    port_served = net_bound_port(listener);
    if (!site_setup(options, raw_port, vxi11, port_served)) {
        std::snprintf(failure, failure_size, "web not served: the system gave no random bytes for the page's token");
        net_close(listener);
        listener = no_socket;
        return false;
    }
    actions_setup(std::atoi(options.address_text), options.timeout);
    idn_refresh("gateway");
    log_start();
    accepting = true;
    accept_thread = std::thread(accept_connections);
    return true;
}

unsigned web_port() { return port_served; }

void web_stop_serving() {
    accepting = false;
    {
        std::lock_guard<std::mutex> hold(pool_mutex);
        pool_changed.notify_all();
    }
    net_stop_listening(listener);
    if (accept_thread.joinable()) accept_thread.join();
    net_close_listener(listener);
    listener = no_socket;
    actions_stop();
}

bool web_close() {
    std::unique_lock<std::mutex> hold(pool_mutex);
    for (Connection& c : pool) {
        if (c.in_use) net_shut(c.socket);
    }
    return pool_changed.wait_for(hold, connection_end_wait, [] {
        for (const Connection& c : pool) {
            if (c.in_use) return false;
        }
        return true;
    });
}

std::size_t web_connections_list(SlotView* views, std::size_t max) {
    std::lock_guard<std::mutex> hold(pool_mutex);
    const Clock::time_point now = Clock::now();
    std::size_t n = 0;
    for (const Connection& c : pool) {
        if (c.in_use && n < max) slot_view_set(views[n++], c.peer.text, "web", c.at_work, c.idle_since, now);
    }
    return n;
}

}  // namespace gateway::web
