// The yardstick for the gateway's round trip: a bare line server built the same way (the same
// socket code, a blocking thread per client, no delay for small writes) that answers every line
// with one fixed reply and touches no bus. Prints "listening on 127.0.0.1:PORT" and serves until
// it is ended.
#include <cstdio>
#include <cstring>
#include <thread>

#include "command_line.h"
#include "net.h"

namespace {

constexpr char fixed_reply[] = "+1.000000E+03\n";

void serve(gateway::Socket s) {
    char received[1024];
    for (;;) {
        const long n = gateway::net_receive(s, received, sizeof received);
        if (n <= 0) break;
        for (long i = 0; i < n; ++i) {
            if (received[i] == '\n' && !gateway::net_send_all(s, fixed_reply, sizeof fixed_reply - 1)) break;
        }
    }
    gateway::net_close(s);
}

}  // namespace

int main() {
    std::uint32_t loopback = 0;
    gateway::read_ipv4("127.0.0.1", loopback);
    int error = 0;
    if (!gateway::net_start()) return 1;
    const gateway::Socket listener = gateway::net_listen(loopback, 0, error);
    if (listener == gateway::no_socket) {
        std::fprintf(stderr, "cannot listen (error %d)\n", error);
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(gateway::net_bound_port(listener)));
    std::fflush(stdout);
    for (;;) {
        gateway::PeerAddress peer{};
        const gateway::Socket s = gateway::net_accept(listener, peer);
        if (s == gateway::no_socket) continue;
        gateway::net_tune(s);
        std::thread(serve, s).detach();
    }
}
