// Fuzz target: what a VXI-11 client reaches. The input is the byte stream of one connection: its
// first byte chooses the size of the pieces it arrives in and the channel (core, abort,
// portmapper). Records are joined from their fragments, calls read and answered through the
// channel's program table and handlers, over a bus that keeps what reaches it. Checked: every
// call record gets one reply with its xid; an over-long record ends the stream; nothing reaches
// the bus but a message of at most 255 bytes without a zero byte; a connection's links are freed.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core_channel.h"
#include "gateway_log.h"
#include "message_rules.h"
#include "portmapper.h"
#include "record_input.h"
#include "reply_bus_stub.h"
#include "rpc_program.h"
#include "vxi11_messages.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n  %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

// The instrument behind the stub bus echoes every message; what reaches the bus is checked.
std::string reply_to(const char* address, const char* message) {
    const std::size_t n = std::strlen(message);
    if (n == 0 || n > gateway::message_max) fail("a message of the wrong size reached the bus", message);
    if (message[n - 1] == '\n') fail("a message reached the bus with its line feed", message);
    const int a = std::atoi(address);
    if (a < 0 || a > 30) fail("a write to no GPIB address", address);
    return std::string(message) + "\n";
}

namespace {

struct Setup {
    Setup() {
        gateway::log_to(std::fopen("/dev/null", "w"));
        // No call may wait: a lock held by another link of the input answers at once.
        gateway::vxi11::core_channel_setup(4, 9011, std::chrono::milliseconds(0));
        gateway::vxi11::portmapper_setup(9010, 9011);
    }
};

std::uint32_t word_at(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    static gateway::rpc::RecordInput input;
    static std::uint8_t reply[gateway::vxi11::reply_record_max];
    if (size == 0) return 0;
    const std::size_t piece = 1 + data[0] % 61;
    const int channel = (data[0] / 61) % 3;   // 0 core, 1 abort, 2 portmapper
    ++data;
    --size;
    static gateway::vxi11::CoreConnection core;
    core.peer = "fuzz";
    core.log_pending = false;
    gateway::vxi11::PortmapperCall portmapper{"fuzz"};
    const gateway::rpc::Program* programs = channel == 0   ? gateway::vxi11::core_programs
                                            : channel == 1 ? gateway::vxi11::abort_programs
                                                           : gateway::vxi11::portmapper_programs;
    void* context = channel == 2 ? static_cast<void*>(&portmapper) : static_cast<void*>(&core);

    gateway::rpc::record_input_reset(input);
    bool open = true;
    for (std::size_t at = 0; at < size && open;) {
        const std::size_t piece_size = size - at < piece ? size - at : piece;
        gateway::rpc::RecordVerdict verdict = gateway::rpc::RecordVerdict::incomplete;
        const std::size_t taken = gateway::rpc::record_input_take(input, data + at, piece_size, verdict);
        if (taken > piece_size) fail("bytes taken out of range", std::to_string(taken));
        if (input.length > gateway::rpc::record_max) fail("the record buffer overran", std::to_string(input.length));
        at += taken;
        if (verdict == gateway::rpc::RecordVerdict::too_long) {
            open = false;
        } else if (verdict == gateway::rpc::RecordVerdict::record) {
            gateway::rpc::XdrWriter w = gateway::rpc::xdr_writer(reply, sizeof reply);
            gateway::rpc::CallHeader call{};
            const gateway::rpc::Served served =
                gateway::rpc::rpc_serve(programs, 1, context, input.data, input.length, w, call);
            if (served == gateway::rpc::Served::replied) {
                if (!w.ok || w.at < 12 || w.at > sizeof reply) fail("a reply out of bounds", std::to_string(w.at));
                if (word_at(reply) != call.xid || word_at(reply + 4) != 1) fail("a reply without its call's xid", "");
                if (input.length < 24 || word_at(input.data) != call.xid) fail("a reply to no readable call", "");
            } else {
                open = false;
            }
            gateway::vxi11::core_log_flush(core);
            gateway::rpc::record_input_reset(input);
        } else if (taken != piece_size) {
            fail("bytes left over before a record ended", std::to_string(taken));
        }
    }
    gateway::vxi11::core_connection_closed(core);
    return 0;
}
