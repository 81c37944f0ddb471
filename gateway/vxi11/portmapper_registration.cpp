#include "portmapper_registration.h"

#include "net.h"
#include "portmapper.h"
#include "record_input.h"
#include "vxi11_messages.h"

namespace gateway::vxi11 {

namespace {

constexpr std::uint32_t loopback = 0x7F000001;
constexpr int answer_wait_ms = 500;
constexpr int tries = 2;

std::uint32_t next_xid = 0x51A70000;

bool change(bool set, std::uint32_t program, std::uint16_t port) {
    int error = 0;
    const Socket s = net_udp_open(0, 0, answer_wait_ms, error);
    if (s == no_socket) return false;
    bool answered = false;
    for (int attempt = 0; attempt < tries && !answered; ++attempt) {
        const std::uint32_t xid = ++next_xid;
        std::uint8_t call[128];
        rpc::XdrWriter w = rpc::xdr_writer(call, sizeof call);
        portmapper_write_change(w, xid, set, program, channel_version, port);
        if (!net_udp_send(s, reinterpret_cast<const char*>(call), w.at, loopback, portmapper_port)) break;
        char reply[512];
        PeerAddress from{};
        for (;;) {   // datagrams of other calls are passed over; a receive that runs out ends the try
            const long n = net_udp_receive(s, reply, sizeof reply, from);
            if (n < 0) break;
            if (from.ipv4 != loopback || from.port != portmapper_port) continue;
            answered = portmapper_read_change_reply(reinterpret_cast<const std::uint8_t*>(reply),
                                                    static_cast<std::size_t>(n), xid);
            if (answered) break;
        }
    }
    net_close(s);
    return answered;
}

}  // namespace

bool portmapper_register(std::uint16_t core_port, std::uint16_t abort_port) {
    // A gateway that ended without unregistering left its ports behind: they would refuse the new.
    portmapper_unregister();
    if (!change(true, core_program, core_port)) return false;
    if (!change(true, abort_program, abort_port)) {
        change(false, core_program, 0);
        return false;
    }
    return true;
}

void portmapper_unregister() {
    change(false, core_program, 0);
    change(false, abort_program, 0);
}

}  // namespace gateway::vxi11
