#include "gateway_run.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "bus_calls.h"
#include "bus_link.h"
#include "connection_slots.h"
#include "gateway_log.h"
#include "net.h"
#include "raw_socket_server.h"
#include "stop_request.h"
#include "vxi11_server.h"
#include "web_server.h"

namespace gateway {

namespace {

constexpr int exit_failed = 1;
constexpr std::int32_t panel_timeout = 5;

std::atomic<bool> released{false};
RunWatch watching{};

void say(const char* text, bool failure) {
    if (watching.line) watching.line(text, failure);
}

// gp_lcl(""), once, under the bus lock: never beside another bus call. Without wait, only when
// the bus is free at once. True when the instrument has been released.
bool release_instrument(bool wait) {
    std::unique_lock<std::mutex> bus(server_bus_lock(), std::defer_lock);
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
    log_note(text);
    log_stop();
    std::_Exit(done ? 0 : exit_failed);
}

// The bus link as the panel brings it up (without the local lockout when asked), then the bus
// time-out when it differs from the panel's. False, with the failure said, when a call failed.
bool bring_up(const Options& options) {
    std::lock_guard<std::mutex> bus(server_bus_lock());
    const LinkResult link =
        options.lockout ? bus_bring_up(options.address_text) : bus_bring_up_without_lockout(options.address_text);
    if (!link.ok) {
        // The calls before the failing one may have made the instrument remote (gp_ren): handed
        // back as the panel does when it is left after a failed bring-up.
        bus_release();
        released = true;
        say(link.status_text, true);
        return false;
    }
    if (options.timeout != panel_timeout) {
        if (BusStatus s = taverix::gp_tmout(options.timeout); s != 0) {
            say(bus_call_failure("gp_tmout() error [%d]", s).status_text, true);
            bus_release();
            released = true;
            return false;
        }
    }
    return true;
}

void say_served(const Options& options, bool raw_served, bool vxi11_served, const Vxi11Served& vxi11) {
    char text[160];
    if (raw_served) {
        std::snprintf(text, sizeof text, "listening on %s:%u", options.listen_text, server_port());
        say(text, false);
    }
    if (!vxi11_served) return;
    if (!vxi11.own_portmapper) {
        say("vxi11 registered with the portmapper on port 111", false);
    } else if (vxi11.broadcast_text[0] == '\0') {
        std::snprintf(text, sizeof text, "vxi11 portmapper on %s:111 (tcp, udp)", options.listen_text);
        say(text, false);
    } else {
        std::snprintf(text, sizeof text, "vxi11 portmapper on %s:111 (tcp, udp) and %s:111 (udp broadcasts)",
                      options.listen_text, vxi11.broadcast_text);
        say(text, false);
    }
    std::snprintf(text, sizeof text, "vxi11 core on %s:%u", options.listen_text, static_cast<unsigned>(vxi11.core_port));
    say(text, false);
    std::snprintf(text, sizeof text, "vxi11 abort on %s:%u", options.listen_text, static_cast<unsigned>(vxi11.abort_port));
    say(text, false);
}

void say_lockout(const Options& options) {
    if (!options.lockout) say("no local lockout (--no-lockout): the instrument's own keys stay usable", false);
}

}  // namespace

RunEnd run(const Options& options, const RunWatch& watch) {
    watching = watch;
    // From here on every way out releases the instrument: a stop requested during the bring-up
    // waits for it.
    stop_requests_catch(stop_at_once, !options.service);
    if (!bring_up(options)) return RunEnd::bring_up_failed;
    if (stop_requested()) {
        release_instrument(true);
        log_note("stopped during the bring-up, the instrument released");
        return RunEnd::stopped;
    }

    if (!net_start()) {
        say("cannot start the socket library", true);
        release_instrument(true);
        return RunEnd::cannot_serve;
    }
    // Raw socket and VXI-11 share the connection slots; either may serve alone.
    slots_open();
    int error = 0;
    char text_line[128];
    const bool raw_served = server_start(options, error);
    if (!raw_served) {
        char text[96];
        std::snprintf(text, sizeof text, "cannot listen on %s:%u (error %d)", options.listen_text,
                      static_cast<unsigned>(options.port), error);
        say(text, true);
    }
    Vxi11Served vxi11{};
    char vxi11_failure[320] = "";
    const bool vxi11_served = options.vxi11 && vxi11_start(options, vxi11, vxi11_failure, sizeof vxi11_failure);
    if (options.vxi11 && !vxi11_served) say(vxi11_failure, true);
    // The page last: it shows what the others serve.
    char web_failure[320] = "";
    const bool web_served = options.web && (raw_served || vxi11_served) &&
                            web::web_start(options, raw_served ? server_port() : 0, vxi11_served, web_failure,
                                           sizeof web_failure);
    if (options.web && web_failure[0] != '\0') say(web_failure, true);
    if (!raw_served && !vxi11_served) {
        release_instrument(true);
        net_finish();
        return RunEnd::cannot_serve;
    }
    say_served(options, raw_served, vxi11_served, vxi11);
    if (web_served) {
        std::snprintf(text_line, sizeof text_line, "web page on http://%s:%u/", options.listen_text, web::web_port());
        say(text_line, false);
    }
    say_lockout(options);
    if (watch.serving) watch.serving();

    // The instrument first, then the rest: a console closing gives the process about 5 s.
    const char* name = stop_request_wait();
    if (watch.stopping) watch.stopping(name);
    char text[128];
    std::snprintf(text, sizeof text, options.service ? "%s: stopping" : "%s: stopping (again to stop at once)", name);
    log_note(text);
    if (web_served) web::web_stop_serving();
    if (vxi11_served) vxi11_stop_serving();
    if (raw_served) server_stop_serving();
    release_instrument(true);
    log_note("instrument released (gp_lcl)");
    if (raw_served) server_close();
    if (vxi11_served) vxi11_close();
    if (web_served) web::web_close();
    net_finish();
    if (const std::size_t lost = log_dropped(); lost > 0) {
        std::snprintf(text, sizeof text, "stopped, %zu log lines dropped", lost);
        log_note(text);
    } else {
        log_note("stopped");
    }
    log_stop();
    stop_request_done();
    return RunEnd::stopped;
}

}  // namespace gateway
