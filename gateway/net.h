// The few socket operations the gateway needs, the same on Winsock and POSIX sockets. IPv4 only.
// Every call blocks; each connection is served by a thread of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gateway {

using Socket = std::uintptr_t;
constexpr Socket no_socket = ~static_cast<Socket>(0);

struct PeerAddress {
    std::uint32_t ipv4;   // host byte order
    std::uint16_t port;
    char text[24];        // "A.B.C.D:PORT"
};

// An IPv4 address (host byte order) as dotted decimal text, "A.B.C.D".
void net_ipv4_text(char (&text)[16], std::uint32_t address);

// Whether an IPv4 address (host byte order) is this machine's own, on loopback (127.0.0.0/8).
constexpr bool net_is_loopback(std::uint32_t address) { return (address >> 24) == 127; }

// Starts the socket library (Winsock); false when it cannot.
bool net_start();
void net_finish();

// A listening socket on address:port (port 0: any free port). On failure no_socket, and the
// system's error code in error.
Socket net_listen(std::uint32_t address, std::uint16_t port, int& error);
std::uint16_t net_bound_port(Socket listener);

// Makes a thread waiting in net_accept return; net_close_listener then frees the listener once that
// thread has ended.
void net_stop_listening(Socket listener);
void net_close_listener(Socket listener);

// Waits for the next connection; no_socket when the listener was shut or failed.
Socket net_accept(Socket listener, PeerAddress& peer);

// How long a send may make no progress (the peer reads nothing, its receive window stays full)
// before it fails, and how long data sent may stay unacknowledged (the peer vanished) before the
// connection fails.
constexpr int send_limit_ms = 10000;

// No delay for small writes (Nagle's algorithm off), keep-alive probes after 30 s of silence (a
// silent peer that vanished is found out), and the send_limit_ms limits.
void net_tune(Socket s);

// Each receive on s waits at most ms milliseconds, then fails.
void net_set_receive_wait(Socket s, int ms);

// Bytes received (>0), 0 when the peer closed, <0 on an error (or when the wait ran out).
long net_receive(Socket s, char* buffer, std::size_t size);
// As net_receive, but for bytes known to come at once: waits for them up to budget_us
// microseconds without sleeping (threads ready to run go first), which is quicker than being
// woken, and only then as net_receive does. A budget of 0: net_receive.
long net_receive_soon(Socket s, char* buffer, std::size_t size, int budget_us);
// Sends every byte; false when the connection failed.
bool net_send_all(Socket s, const char* data, std::size_t size);

// Why the last net_receive, net_receive_soon or net_send_all of this thread failed, for the log:
// "a reply could not be sent for 10 s ...", "nothing acknowledged for 10 s ..."; null when the peer
// closed or reset the connection, or the gateway shut it.
const char* net_failure_reason();

// A UDP socket bound to address:port (0: any), broadcasts allowed; each receive waits at most
// receive_wait_ms (0: no bound). No address reuse: a port another program holds stays refused.
Socket net_udp_open(std::uint32_t address, std::uint16_t port, int receive_wait_ms, int& error);
// One datagram (its size, >= 0) and where it came from; < 0 on an error or when the wait ran out.
long net_udp_receive(Socket s, char* buffer, std::size_t size, PeerAddress& from);
bool net_udp_send(Socket s, const char* data, std::size_t size, std::uint32_t address, std::uint16_t port);

// The address a second UDP socket must be bound to, beside one bound to address (a local IPv4
// address), so that the broadcasts to that interface's subnet arrive: its broadcast address, on
// Linux. False when no interface has address, it has no broadcast (loopback), or, on Windows, the
// socket bound to address receives them itself (under Wine, which follows Linux here, a bind to a
// broadcast address is taken as one to any address, which is no answer either).
bool net_broadcast_to_bind(std::uint32_t address, std::uint32_t& broadcast);

// Whether a failed bind's error means that another program holds the port, or that the port needs
// rights the program has not.
bool net_error_in_use(int error);
bool net_error_denied(int error);

// Ends both directions, so that a thread blocked on the socket returns.
void net_shut(Socket s);
void net_close(Socket s);

}  // namespace gateway
