// Fuzz target: what VXI-11 clients reach, several of them at once. The input is a script of events
// among up to 20 connections from three client addresses (this machine's, 10.0.0.1, 10.0.0.2),
// each event a byte whose low three bits say what happens and whose rest names a connection k (or
// a count), followed by what the event needs:
//   0  connection k opens (next byte: its channel, core, abort or portmapper, and its address),
//      given a slot as the gateway gives one: free, or made by closing the connection idle longest;
//   1  connection k closes;
//   2  a UDP datagram to the portmapper (next byte: its size, then its bytes);
//   3  time goes on (the rest of the byte, in 100 ms), so that connections become idle;
//   4-7  connection k's bytes (next byte: how many, then them), joined into records that are read
//      and answered through the channel's program table and handlers.
// Link ids come from a counter, so that an input can name them; the bus keeps what reaches it, each
// address's instrument echoing its messages. Checked: every call record gets one reply with its xid,
// and every datagram at most one, no larger than the datagram; an over-long record ends its connection; nothing reaches the bus
// but a message of at most 255 bytes without a zero byte; no slot goes to a connection past 16 in
// all or past 8 from one address (this machine's aside), and none is taken from a connection at
// work or from another address while the newcomer's address has its 8; no connection holds more than
// 8 links, no address more than 16 (this machine's aside), the gateway more than 64; an abort is
// honoured only from the link's own client address; a device_read hands out only what its own link
// wrote; a connection's links are freed when it closes.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "bus_access.h"
#include "connection_slots.h"
#include "core_channel.h"
#include "gateway_log.h"
#include "link_table.h"
#include "message_rules.h"
#include "net.h"
#include "portmapper.h"
#include "record_input.h"
#include "reply_bus_stub.h"
#include "rpc_message.h"
#include "rpc_program.h"
#include "vxi11_messages.h"

namespace {

using namespace gateway;

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n  %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

// The instrument at each address echoes every message; what reaches the bus is checked.
std::string reply_to(const char* address, const char* message) {
    const std::size_t n = std::strlen(message);
    if (n == 0 || n > message_max) fail("a message of the wrong size reached the bus", message);
    if (message[n - 1] == '\n') fail("a message reached the bus with its line feed", message);
    const int a = std::atoi(address);
    if (a < 0 || a > 30) fail("a write to no GPIB address", address);
    return std::string(message) + "\n";
}

namespace {

enum class Channel { core, abort, portmapper };

constexpr std::size_t connection_count = 20;
constexpr std::uint32_t clients[] = {0x7F000001, 0x0A000001, 0x0A000002};
const char* const client_texts[] = {"127.0.0.1:1", "10.0.0.1:1", "10.0.0.2:1"};

struct Connection {
    bool open;
    int slot;
    Channel channel;
    std::uint32_t client;
    vxi11::CoreConnection core;
    vxi11::PortmapperCall portmapper;
    rpc::RecordInput input;
};

struct LinkRecord {
    std::size_t connection;
    std::string written;   // every byte its device_writes carried, in order
};

Connection connections[connection_count];
SlotState slots[connection_max];
SlotClock::time_point now;
std::map<std::uint32_t, LinkRecord> links;   // by id, as create_link gave them
std::uint32_t next_id = 1;

std::uint32_t counted_id() { return next_id++; }

struct Setup {
    Setup() {
        log_to(std::fopen("/dev/null", "w"));
        // No call may wait: a lock held by another link of the input answers at once.
        vxi11::core_channel_setup(4, 9011, std::chrono::milliseconds(0));
        vxi11::portmapper_setup(9010, 9011);
        vxi11::link_ids_from(counted_id);
    }
};

std::uint32_t word_at(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

std::size_t count_from(std::uint32_t client) {
    std::size_t n = 0;
    for (const SlotState& s : slots) n += s.in_use && s.client == client;
    return n;
}

// The links of connection k still in the table; every one when k is connection_count.
std::size_t links_of(std::size_t k, bool by_client = false, std::uint32_t client = 0) {
    std::size_t n = 0;
    for (const auto& [id, record] : links) {
        const Connection& owner = connections[record.connection];
        if (vxi11::link_find(&owner.core, id) == nullptr) continue;
        if (by_client ? owner.client == client : (k == connection_count || record.connection == k)) ++n;
    }
    return n;
}

void close_connection(std::size_t k) {
    Connection& c = connections[k];
    if (!c.open) return;
    if (c.channel == Channel::core) {
        vxi11::core_connection_closed(c.core);
        for (const auto& [id, record] : links) {
            if (record.connection == k && vxi11::link_find(&c.core, id) != nullptr) {
                fail("a closed connection's link is left", std::to_string(id));
            }
        }
    }
    slots[c.slot].in_use = false;
    c.open = false;
}

void open_connection(std::size_t k, std::uint8_t how) {
    close_connection(k);
    const std::uint32_t client = clients[(how / 3) % 3];
    const SlotClock::time_point arrived = now;
    for (int round = 0; round < 8; ++round) {
        const SlotChoice choice = slot_choose(slots, client, arrived, now);
        const bool capped = !net_is_loopback(client) && count_from(client) >= connections_per_address_max;
        if (choice.action == SlotAction::refuse) return;
        if (choice.action == SlotAction::wait) {
            if (choice.until <= now) fail("a wait for no time", "");
            now = choice.until;
            continue;
        }
        SlotState& slot = slots[choice.slot];
        if (choice.action == SlotAction::evict) {
            if (!slot.in_use || slot.at_work || slot.closing) fail("a connection at work closed to make room", "");
            if (capped && slot.client != client) fail("another address's connection closed for a capped one", "");
            if (now - slot.idle_since < idle_before_eviction) fail("a connection closed before it was idle 1 s", "");
            for (std::size_t v = 0; v < connection_count; ++v) {
                if (connections[v].open && connections[v].slot == choice.slot) close_connection(v);
            }
            continue;
        }
        if (slot.in_use) fail("a slot in use given again", std::to_string(choice.slot));
        if (capped) fail("a ninth connection from one address", "");
        Connection& c = connections[k];
        c.open = true;
        c.slot = choice.slot;
        c.channel = static_cast<Channel>(how % 3);
        c.client = client;
        c.core = vxi11::CoreConnection{};
        c.core.peer = client_texts[(how / 3) % 3];
        c.core.client = client;
        c.portmapper.peer = c.core.peer;
        rpc::record_input_reset(c.input);
        slot = SlotState{true, false, false, client, now};
        return;
    }
}

// What a core or abort channel call did, checked against the rules between clients.
void check_call(std::size_t k, const std::uint8_t* reply, std::size_t reply_size) {
    Connection& c = connections[k];
    rpc::XdrReader r = rpc::xdr_reader(c.input.data, c.input.length);
    rpc::CallHeader call{};
    if (!rpc::rpc_read_call(r, call) || call.rpc_version != 2 || call.version != 1) return;
    if (reply_size < 28 || word_at(reply + 20) != 0) return;   // not answered with results
    const std::uint32_t error = word_at(reply + 24);
    const std::uint32_t link = rpc::xdr_get_u32(r);
    if (c.channel == Channel::abort && call.program == vxi11::abort_program && call.procedure == 1 && error == 0) {
        const auto owner = links.find(link);
        if (owner == links.end() || connections[owner->second.connection].client != c.client) {
            fail("an abort honoured from another client's address", std::to_string(link));
        }
    }
    if (c.channel != Channel::core || call.program != vxi11::core_program || error != 0) return;
    if (call.procedure == vxi11::create_link_procedure && reply_size >= 32) {
        links[word_at(reply + 28)] = LinkRecord{k, ""};
        if (links_of(k) > vxi11::links_per_connection_max) fail("over 8 links on one connection", "");
        if (!net_is_loopback(c.client) && links_of(0, true, c.client) > vxi11::links_per_address_max) {
            fail("over 16 links from one address", "");
        }
        if (links_of(connection_count) > vxi11::link_max) fail("over 64 links", "");
    } else if (call.procedure == 11) {
        const auto record = links.find(link);
        rpc::xdr_get_u32(r);   // io_timeout
        rpc::xdr_get_u32(r);   // lock_timeout
        rpc::xdr_get_u32(r);   // flags
        const char* data = nullptr;
        std::size_t length = 0;
        rpc::xdr_get_opaque(r, vxi11::data_max, data, length);
        if (record != links.end() && r.ok && record->second.written.size() < 65536) {
            record->second.written.append(data, length);
        }
    } else if (call.procedure == 12 && reply_size >= 36) {
        std::size_t length = word_at(reply + 32);
        if (length > reply_size - 36) fail("a device_read's data past its reply", std::to_string(length));
        const std::string data(reinterpret_cast<const char*>(reply + 36), length);
        const std::string sent = length > 0 && data.back() == '\n' ? data.substr(0, length - 1) : data;
        const auto record = links.find(link);
        if (record == links.end() || record->second.written.find(sent) == std::string::npos) {
            fail("a device_read handed out what its own link never wrote", data);
        }
    }
}

// Bytes for connection k: records joined, each answered and checked.
void receive(std::size_t k, const std::uint8_t* data, std::size_t size) {
    static std::uint8_t reply[vxi11::reply_record_max];
    Connection& c = connections[k];
    for (std::size_t at = 0; at < size && c.open;) {
        rpc::RecordVerdict verdict = rpc::RecordVerdict::incomplete;
        const std::size_t taken = rpc::record_input_take(c.input, data + at, size - at, verdict);
        if (taken == 0 || taken > size - at) fail("bytes taken out of range", std::to_string(taken));
        if (c.input.length > rpc::record_max) fail("the record buffer overran", std::to_string(c.input.length));
        at += taken;
        if (verdict == rpc::RecordVerdict::too_long) {
            close_connection(k);
        } else if (verdict == rpc::RecordVerdict::record) {
            slots[c.slot].at_work = true;
            const rpc::Program* programs = c.channel == Channel::core    ? vxi11::core_programs
                                           : c.channel == Channel::abort ? vxi11::abort_programs
                                                                         : vxi11::portmapper_programs;
            void* context = c.channel == Channel::portmapper ? static_cast<void*>(&c.portmapper) : static_cast<void*>(&c.core);
            rpc::XdrWriter w = rpc::xdr_writer(reply, sizeof reply);
            rpc::CallHeader call{};
            if (rpc::rpc_serve(programs, 1, context, c.input.data, c.input.length, w, call) != rpc::Served::replied) {
                close_connection(k);
                continue;
            }
            if (!w.ok || w.at < 12 || w.at > sizeof reply) fail("a reply out of bounds", std::to_string(w.at));
            if (word_at(reply) != call.xid || word_at(reply + 4) != 1) fail("a reply without its call's xid", "");
            if (c.input.length < 24 || word_at(c.input.data) != call.xid) fail("a reply to no readable call", "");
            vxi11::core_log_flush(c.core);
            check_call(k, reply, w.at);
            // As the server counts a connection at work: while it holds a link, or serves a call.
            slots[c.slot].at_work = c.channel == Channel::core && vxi11::links_held(&c.core);
            slots[c.slot].idle_since = now;
            rpc::record_input_reset(c.input);
        } else if (at != size) {
            fail("bytes left over before a record ended", std::to_string(taken));
        }
    }
}

void datagram(const std::uint8_t* data, std::size_t size) {
    static std::uint8_t reply[vxi11::reply_record_max];
    vxi11::PortmapperCall context{"10.0.0.2:111"};
    rpc::XdrWriter w = rpc::xdr_writer(reply, sizeof reply);
    rpc::CallHeader call{};
    if (rpc::rpc_serve(vxi11::portmapper_udp_programs, vxi11::portmapper_udp_program_count, &context, data, size, w,
                       call) != rpc::Served::replied) {
        return;
    }
    if (!w.ok || w.at < 12 || word_at(reply) != call.xid) fail("a datagram's reply without its xid", "");
    // A datagram's sender may be forged: no reply may be larger than its call.
    if (w.at > size) fail("a datagram's reply larger than the datagram", std::to_string(w.at) + " > " + std::to_string(size));
}

void reset() {
    for (std::size_t k = 0; k < connection_count; ++k) close_connection(k);
    for (SlotState& s : slots) s = SlotState{};
    for (int a = 0; a < bus_address_count; ++a) bus_wrote(a, raw_owner);
    for (std::string& left : reply_bus.reply_left) left.clear();
    links.clear();
    next_id = 1;
    now = SlotClock::time_point{} + std::chrono::hours(1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Setup setup;
    reset();
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t event = data[at++];
        const std::size_t k = (event >> 3) % connection_count;
        const int kind = event & 7;
        if (kind == 0) {
            if (at < size) open_connection(k, data[at++]);
        } else if (kind == 1) {
            close_connection(k);
        } else if (kind == 3) {
            now += std::chrono::milliseconds(100) * (event >> 3);
        } else if (at < size) {
            const std::size_t n = data[at++];
            const std::size_t length = n < size - at ? n : size - at;
            if (kind == 2) {
                datagram(data + at, length);
            } else if (connections[k].open) {
                receive(k, data + at, length);
            }
            at += length;
        }
    }
    reset();
    return 0;
}
