// taverix-gateway: the instrument on the TAVERIX bus as a network instrument, SCPI text lines
// over TCP.
#include <cstdio>
#include <cstring>

#include "bus_calls.h"
#include "bus_link.h"
#include "command_line.h"
#include "raw_socket_server.h"
#include "net.h"
#include "stop_request.h"

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
    int error = 0;
    if (!gateway::net_start() || !gateway::server_start(options, error)) {
        std::fprintf(stderr, "cannot listen on %s:%u (error %d)\n", options.listen_text,
                     static_cast<unsigned>(options.port), error);
        bus_release();
        return exit_failed;
    }
    std::printf("listening on %s:%u\n", options.listen_text, gateway::server_port());
    std::fflush(stdout);

    gateway::stop_request_wait();
    gateway::server_stop();
    bus_release();
    gateway::net_finish();
    std::fputs("stopped\n", stderr);
    std::fflush(stderr);
    gateway::stop_request_done();
    return 0;
}
