// taverix-gateway: the instruments on the TAVERIX bus as network instruments: SCPI text lines
// over TCP (raw socket) and VXI-11.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "bus_calls.h"
#include "bus_link.h"
#include "command_line.h"
#include "connection_slots.h"
#include "gateway_log.h"
#include "raw_socket_server.h"
#include "net.h"
#include "stop_request.h"
#include "vxi11_server.h"
#include "web_server.h"

namespace {

constexpr int exit_failed = 1;
constexpr int exit_usage = 2;
constexpr std::int32_t panel_timeout = 5;

std::atomic<bool> released{false};

void print_failure(const char* text) {
    const std::size_t n = std::strlen(text);
    std::fputs(text, stderr);
    if (n == 0 || text[n - 1] != '\n') std::fputc('\n', stderr);
    std::fflush(stderr);
}

// gp_lcl(""), once, under the bus lock: never beside another bus call. Without wait, only when
// the bus is free at once. True when the instrument has been released.
bool release_instrument(bool wait) {
    std::unique_lock<std::mutex> bus(gateway::server_bus_lock(), std::defer_lock);
    if (wait) {
        bus.lock();
    } else if (!bus.try_lock()) {
        return released;
    }
    if (!released) {
        bus_release();
        released = true;
    }
    return true;
}

// A second stop request while the first is carried out (a long read, say): ends the process at
// once, releasing the instrument only when no bus call is in progress, and says which it was.
void stop_at_once(const char* name) {
    const bool done = release_instrument(false);
    char text[256];
    std::snprintf(text, sizeof text,
                  done ? "%s again: stopped at once, the instrument was released (gp_lcl)"
                       : "%s again: stopped at once, the instrument was NOT released: a bus call was in "
                         "progress; it stays remote and locked out until the interface is reset",
                  name);
    gateway::log_note(text);
    gateway::log_stop();
    std::_Exit(done ? 0 : exit_failed);
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

    gateway::options_warnings(options, print_failure);

    // From here on every way out releases the instrument: a stop requested during the bring-up
    // waits for it.
    gateway::stop_requests_catch(stop_at_once);
    {
        std::lock_guard<std::mutex> bus(gateway::server_bus_lock());
        const LinkResult link = bus_bring_up(options.address_text);
        if (!link.ok) {
            print_failure(link.status_text);
            return exit_failed;
        }
        if (options.timeout != panel_timeout) {
            if (BusStatus s = taverix::gp_tmout(options.timeout); s != 0) {
                print_failure(bus_call_failure("gp_tmout() error [%d]", s).status_text);
                bus_release();
                released = true;
                return exit_failed;
            }
        }
    }
    if (gateway::stop_requested()) {
        release_instrument(true);
        gateway::log_note("stopped during the bring-up, the instrument released");
        return 0;
    }

    if (!gateway::net_start()) {
        print_failure("cannot start the socket library");
        release_instrument(true);
        return exit_failed;
    }
    // Raw socket and VXI-11 share the connection slots; either may serve alone.
    gateway::slots_open();
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
    // The page last: it shows what the others serve.
    char web_failure[320] = "";
    const bool web_served = options.web && (raw_served || vxi11_served) &&
                            gateway::web::web_start(options, raw_served ? gateway::server_port() : 0, vxi11_served,
                                                    web_failure, sizeof web_failure);
    if (options.web && !web_served && web_failure[0] != '\0') print_failure(web_failure);
    if (!raw_served && !vxi11_served) {
        release_instrument(true);
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
    if (web_served) std::printf("web page on http://%s:%u/\n", options.listen_text, gateway::web::web_port());
    std::fflush(stdout);

    // The instrument first, then the rest: a console closing gives the process about 5 s.
    const char* name = gateway::stop_request_wait();
    char text[128];
    std::snprintf(text, sizeof text, "%s: stopping (again to stop at once)", name);
    gateway::log_note(text);
    if (web_served) gateway::web::web_stop_serving();
    if (vxi11_served) gateway::vxi11_stop_serving();
    if (raw_served) gateway::server_stop_serving();
    release_instrument(true);
    gateway::log_note("instrument released (gp_lcl)");
    if (raw_served) gateway::server_close();
    if (vxi11_served) gateway::vxi11_close();
    if (web_served) gateway::web::web_close();
    gateway::net_finish();
    if (const std::size_t lost = gateway::log_dropped(); lost > 0) {
        std::snprintf(text, sizeof text, "stopped, %zu log lines dropped", lost);
        gateway::log_note(text);
    } else {
        gateway::log_note("stopped");
    }
    gateway::log_stop();
    gateway::stop_request_done();
    return 0;
}
