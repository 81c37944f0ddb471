// The one place where Winsock and POSIX sockets differ.
#include "net.h"

#include <chrono>
#include <cstdio>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <mstcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace gateway {

namespace {

constexpr int keep_alive_idle_s = 30;
constexpr int keep_alive_interval_s = 5;
constexpr int send_buffer_size = 32 * 1024;

#ifdef _WIN32
using Native = SOCKET;
int last_error() { return WSAGetLastError(); }
// How long unacknowledged data is sent again before the connection fails, in seconds (Windows
// Vista on; the headers here lack its name).
constexpr int tcp_max_retransmission_time = 5;
#else
using Native = int;
int last_error() { return errno; }
#endif

// Why a connection failed, as far as the log cares.
enum class Failure { none, send_stalled, peer_silent };
thread_local Failure last_failure = Failure::none;

// A failed send or receive: what its error says about the peer. A send fails so when it could not
// go on for send_limit_ms (the peer's window stayed shut: it reads nothing, or vanished), a receive
// when what was sent before, or a keep-alive probe, stayed unacknowledged or untaken that long. A
// peer whose address no longer answers on its network (ARP unanswered) is reported at that time
// as unreachable instead of timed out.
Failure failure_of(int error, bool sending) {
#ifdef _WIN32
    const bool timed_out = error == WSAETIMEDOUT || error == WSAEHOSTUNREACH || error == WSAENETUNREACH;
#else
    const bool timed_out = error == ETIMEDOUT || error == EHOSTUNREACH || error == ENETUNREACH ||
                           (sending && (error == EAGAIN || error == EWOULDBLOCK));
#endif
    if (!timed_out) return Failure::none;
    return sending ? Failure::send_stalled : Failure::peer_silent;
}

Native native(Socket s) { return static_cast<Native>(s); }

Socket wrap(Native n) {
#ifdef _WIN32
    return n == INVALID_SOCKET ? no_socket : static_cast<Socket>(n);
#else
    return n < 0 ? no_socket : static_cast<Socket>(n);
#endif
}

void set_int_option(Socket s, int level, int name, int value) {
    setsockopt(native(s), level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

bool net_start() {
#ifdef _WIN32
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
    return true;
#endif
}

void net_finish() {
#ifdef _WIN32
    WSACleanup();
#endif
}

void net_stop_listening(Socket listener) {
#ifdef _WIN32
    closesocket(native(listener));   // the thread in accept returns
#else
    shutdown(native(listener), SHUT_RDWR);   // the thread in accept returns; closed later
#endif
}

void net_close_listener(Socket listener) {
#ifndef _WIN32
    close(native(listener));
#else
    (void)listener;
#endif
}

Socket net_listen(std::uint32_t address, std::uint16_t port, int& error) {
    error = 0;
    const Socket s = wrap(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (s == no_socket) {
        error = last_error();
        return no_socket;
    }
#ifdef _WIN32
    // Another program may not take the port over while the gateway holds it.
    set_int_option(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
#else
    // A gateway started again at once gets its port back from connections still closing.
    set_int_option(s, SOL_SOCKET, SO_REUSEADDR, 1);
#endif
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(address);
    where.sin_port = htons(port);
    if (bind(native(s), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
        listen(native(s), SOMAXCONN) != 0) {
        error = last_error();
        net_close(s);
        return no_socket;
    }
    return s;
}

std::uint16_t net_bound_port(Socket listener) {
    sockaddr_in where{};
    socklen_t size = sizeof where;
    if (getsockname(native(listener), reinterpret_cast<sockaddr*>(&where), &size) != 0) return 0;
    return ntohs(where.sin_port);
}

void net_ipv4_text(char (&text)[16], std::uint32_t a) {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(a >> 24), static_cast<unsigned>((a >> 16) & 0xFF),
                  static_cast<unsigned>((a >> 8) & 0xFF), static_cast<unsigned>(a & 0xFF));
}

namespace {

void peer_from(const sockaddr_in& from, PeerAddress& peer) {
    peer.ipv4 = ntohl(from.sin_addr.s_addr);
    peer.port = ntohs(from.sin_port);
    char address[16];
    net_ipv4_text(address, peer.ipv4);
    std::snprintf(peer.text, sizeof peer.text, "%s:%u", address, static_cast<unsigned>(peer.port));
}

}  // namespace

Socket net_accept(Socket listener, PeerAddress& peer) {
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const Socket s = wrap(accept(native(listener), reinterpret_cast<sockaddr*>(&from), &size));
    if (s == no_socket) return no_socket;
    peer_from(from, peer);
    return s;
}

Socket net_udp_open(std::uint32_t address, std::uint16_t port, int receive_wait_ms, int& error) {
    error = 0;
    const Socket s = wrap(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (s == no_socket) {
        error = last_error();
        return no_socket;
    }
#ifdef _WIN32
    set_int_option(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, 1);
#endif
    if (receive_wait_ms > 0) net_set_receive_wait(s, receive_wait_ms);
    set_int_option(s, SOL_SOCKET, SO_BROADCAST, 1);
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(address);
    where.sin_port = htons(port);
    if (bind(native(s), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        error = last_error();
        net_close(s);
        return no_socket;
    }
    return s;
}

long net_udp_receive(Socket s, char* buffer, std::size_t size, PeerAddress& from) {
    sockaddr_in where{};
    socklen_t where_size = sizeof where;
    const long n = static_cast<long>(recvfrom(native(s), buffer, static_cast<int>(size), 0,
                                              reinterpret_cast<sockaddr*>(&where), &where_size));
    if (n >= 0) peer_from(where, from);
    return n;
}

bool net_udp_send(Socket s, const char* data, std::size_t size, std::uint32_t address, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    to.sin_port = htons(port);
    return sendto(native(s), data, static_cast<int>(size), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<long>(size);
}

bool net_error_in_use(int error) {
#ifdef _WIN32
    return error == WSAEADDRINUSE;
#else
    return error == EADDRINUSE;
#endif
}

bool net_error_denied(int error) {
#ifdef _WIN32
    return error == WSAEACCES;
#else
    return error == EACCES || error == EPERM;
#endif
}

void net_tune(Socket s) {
    set_int_option(s, IPPROTO_TCP, TCP_NODELAY, 1);
    set_int_option(s, SOL_SOCKET, SO_KEEPALIVE, 1);
    // Room for a few of the largest replies, far more than the bus can fill in a round trip; not
    // the megabytes the system would grow it to for a client that reads nothing.
    set_int_option(s, SOL_SOCKET, SO_SNDBUF, send_buffer_size);
#ifdef _WIN32
    tcp_keepalive timing{};
    timing.onoff = 1;
    timing.keepalivetime = keep_alive_idle_s * 1000;
    timing.keepaliveinterval = keep_alive_interval_s * 1000;
    DWORD returned = 0;
    WSAIoctl(native(s), SIO_KEEPALIVE_VALS, &timing, sizeof timing, nullptr, 0, &returned, nullptr, nullptr);
    set_int_option(s, SOL_SOCKET, SO_SNDTIMEO, send_limit_ms);
    set_int_option(s, IPPROTO_TCP, tcp_max_retransmission_time, send_limit_ms / 1000);
#else
    set_int_option(s, IPPROTO_TCP, TCP_KEEPIDLE, keep_alive_idle_s);
    set_int_option(s, IPPROTO_TCP, TCP_KEEPINTVL, keep_alive_interval_s);
    set_int_option(s, IPPROTO_TCP, TCP_KEEPCNT, 4);
    timeval limit{};
    limit.tv_sec = send_limit_ms / 1000;
    limit.tv_usec = (send_limit_ms % 1000) * 1000;
    setsockopt(native(s), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    // Also ends a connection whose keep-alive probes go unanswered, 10 s after the first.
    set_int_option(s, IPPROTO_TCP, TCP_USER_TIMEOUT, send_limit_ms);
#endif
}

void net_set_receive_wait(Socket s, int ms) {
#ifdef _WIN32
    set_int_option(s, SOL_SOCKET, SO_RCVTIMEO, ms);
#else
    timeval wait{};
    wait.tv_sec = ms / 1000;
    wait.tv_usec = (ms % 1000) * 1000;
    setsockopt(native(s), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
#endif
}

long net_receive(Socket s, char* buffer, std::size_t size) {
    for (;;) {
        const long n = static_cast<long>(recv(native(s), buffer, static_cast<int>(size), 0));
#ifndef _WIN32
        if (n < 0 && errno == EINTR) continue;
#endif
        last_failure = n < 0 ? failure_of(last_error(), false) : Failure::none;
        return n;
    }
}

long net_receive_soon(Socket s, char* buffer, std::size_t size, int budget_us) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(budget_us);
    while (budget_us > 0) {
#ifdef _WIN32
        u_long waiting = 0;
        if (ioctlsocket(native(s), FIONREAD, &waiting) != 0 || waiting > 0) break;
#else
        const long n = static_cast<long>(recv(native(s), buffer, size, MSG_DONTWAIT));
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            last_failure = n < 0 ? failure_of(errno, false) : Failure::none;
            return n;
        }
#endif
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::yield();
    }
    return net_receive(s, buffer, size);
}

bool net_send_all(Socket s, const char* data, std::size_t size) {
#ifdef _WIN32
    constexpr int flags = 0;
#else
    constexpr int flags = MSG_NOSIGNAL;   // a closed peer is an error here, not a signal
#endif
    // Each send waits at most send_limit_ms for room; one that sent part goes on with the rest.
    while (size > 0) {
        const long n = static_cast<long>(send(native(s), data, static_cast<int>(size), flags));
        if (n <= 0) {
#ifndef _WIN32
            if (n < 0 && errno == EINTR) continue;
#endif
            last_failure = n < 0 ? failure_of(last_error(), true) : Failure::none;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    last_failure = Failure::none;
    return true;
}

const char* net_failure_reason() {
    switch (last_failure) {
        case Failure::send_stalled: return "closed: a reply could not be sent for 10 s: the client reads nothing, or is gone";
        case Failure::peer_silent: return "closed: the client took nothing sent to it for 10 s: gone, or reading nothing";
        case Failure::none: break;
    }
    return nullptr;
}

bool net_broadcast_to_bind(std::uint32_t address, std::uint32_t& broadcast) {
#ifdef _WIN32
    (void)address;
    (void)broadcast;
    return false;
#else
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool found = false;
    for (const ifaddrs* f = list; f != nullptr && !found; f = f->ifa_next) {
        if (f->ifa_addr == nullptr || f->ifa_addr->sa_family != AF_INET || (f->ifa_flags & IFF_BROADCAST) == 0 ||
            f->ifa_broadaddr == nullptr) {
            continue;
        }
        if (ntohl(reinterpret_cast<const sockaddr_in*>(f->ifa_addr)->sin_addr.s_addr) != address) continue;
        broadcast = ntohl(reinterpret_cast<const sockaddr_in*>(f->ifa_broadaddr)->sin_addr.s_addr);
        found = true;
    }
    freeifaddrs(list);
    return found;
#endif
}

void net_shut(Socket s) {
#ifdef _WIN32
    shutdown(native(s), SD_BOTH);
    // Under Wine the shutdown alone leaves a thread blocked in recv waiting; cancelling the
    // socket's pending I/O makes it return.
    CancelIoEx(reinterpret_cast<HANDLE>(native(s)), nullptr);
#else
    shutdown(native(s), SHUT_RDWR);
#endif
}

void net_close(Socket s) {
#ifdef _WIN32
    closesocket(native(s));
#else
    close(native(s));
#endif
}

}  // namespace gateway
