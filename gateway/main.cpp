// taverix-gateway: the instruments on the TAVERIX bus as network instruments: SCPI text lines
// over TCP (raw socket) and VXI-11.
#include <cstdio>
#include <cstring>

#include "bus_calls.h"
#include "bus_link.h"
#include "command_line.h"
#include "gateway_log.h"
#include "raw_socket_server.h"
#include "net.h"
#include "stop_request.h"
#include "vxi11_server.h"

namespace {

constexpr int exit_failed = 1;
constexpr int exit_usage = 2;
constexpr std::int32_t panel_timeout = 5;

void print_failure(const char* text) {
    const std::size_t n = std::strlen(text);
    std::fputs(text, stderr);
    if (n == 0 || text[n - 1] != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
    gateway::Options options;
    gateway::options_default(options);
    if (!gateway::options_read(argc, argv, options)) {
        std::fputs(gateway::usage_text, stderr);
        return exit_usage;
    }
    if (options.help) {
        std::fputs(gateway::usage_text, stdout);
        return 0;
    }

    const LinkResult link = bus_bring_up(options.address_text);
    if (!link.ok) {
        print_failure(link.status_text);
        return exit_failed;
    }
    if (options.timeout != panel_timeout) {
        if (BusStatus s = taverix::gp_tmout(options.timeout); s != 0) {
            print_failure(bus_call_failure("gp_tmout() error [%d]", s).status_text);
            bus_release();
            return exit_failed;
        }
    }

    gateway::stop_requests_catch();
    if (!gateway::net_start()) {
        print_failure("cannot start the socket library");
        bus_release();
        return exit_failed;
    }
    int error = 0;
    const bool raw_served = gateway::server_start(options, error);
    if (!raw_served) {
        std::fprintf(stderr, "cannot listen on %s:%u (error %d)\n", options.listen_text,
                     static_cast<unsigned>(options.port), error);
    }
    gateway::Vxi11Served vxi11{};
    char vxi11_failure[320] = "";
    const bool vxi11_served =
        options.vxi11 && gateway::vxi11_start(options, vxi11, vxi11_failure, sizeof vxi11_failure);
    if (options.vxi11 && !vxi11_served) print_failure(vxi11_failure);
    if (!raw_served && !vxi11_served) {
        bus_release();
        gateway::net_finish();
        return exit_failed;
    }
    if (raw_served) std::printf("listening on %s:%u\n", options.listen_text, gateway::server_port());
    if (vxi11_served) {
        if (!vxi11.own_portmapper) {
            std::printf("vxi11 registered with the portmapper on port 111\n");
        } else if (std::strcmp(vxi11.udp_text, options.listen_text) == 0) {
            std::printf("vxi11 portmapper on %s:111 (tcp, udp)\n", options.listen_text);
        } else {
            std::printf("vxi11 portmapper on %s:111 (tcp) and %s:111 (udp)\n", options.listen_text, vxi11.udp_text);
        }
        std::printf("vxi11 core on %s:%u\n", options.listen_text, static_cast<unsigned>(vxi11.core_port));
        std::printf("vxi11 abort on %s:%u\n", options.listen_text, static_cast<unsigned>(vxi11.abort_port));
    }
    std::fflush(stdout);

    gateway::stop_request_wait();
    if (vxi11_served) gateway::vxi11_stop();
    if (raw_served) gateway::server_stop();
    gateway::log_stop();
    bus_release();
    gateway::net_finish();
    std::fputs("stopped\n", stderr);
    std::fflush(stderr);
    gateway::stop_request_done();
    return 0;
}
