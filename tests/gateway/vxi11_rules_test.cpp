// What VXI-11 clients cannot reach cheaply: record marking and XDR at their bounds, the RPC
// replies to calls no client makes, device names, the lock, abort and time-out rules of the
// shared bus, and when the gateway expects a device_read to follow at once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bus_access.h"
#include "bus_link.h"
#include "core_channel.h"
#include "device_name.h"
#include "gateway_log.h"
#include "portmapper.h"
#include "record_input.h"
#include "rpc_program.h"
#include "sim_control.h"
#include "vxi11_messages.h"
#include "vxi11_calls.h"
#include "xdr.h"

namespace {

using namespace gateway;
using namespace gateway::rpc;
using std::chrono::milliseconds;
using vxi11_calls::call;
using vxi11_calls::words_of;

std::string mark(std::uint32_t length, bool last) {
    const std::uint32_t v = length | (last ? 0x80000000u : 0);
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

struct RecordCase {
    const char* name;
    std::string stream;
    std::vector<std::string> records;   // the records read, in order
    bool too_long;                      // the stream ends in a record over record_max
};

TEST(Vxi11Records, FragmentsAreJoinedAndOverLongRecordsStopTheStream) {
    const std::string k4(4096, 'k');
    const std::vector<RecordCase> cases = {
        {"one fragment", mark(8, true) + "12345678", {"12345678"}, false},
        {"three fragments", mark(2, false) + "ab" + mark(0, false) + mark(3, true) + "cde", {"abcde"}, false},
        {"two records back to back", mark(4, true) + "wxyz" + mark(0, true), {"wxyz", ""}, false},
        {"exactly record_max in two fragments", mark(4096, false) + k4 + mark(4096, true) + k4, {k4 + k4}, false},
        {"one byte over in the second fragment", mark(4096, false) + k4 + mark(4097, true) + k4 + "x", {}, true},
        {"a length with every bit set", mark(0x7FFFFFFF, true), {}, true},
    };
    for (const RecordCase& c : cases) {
        for (std::size_t piece : {std::size_t{1}, std::size_t{3}, c.stream.size()}) {
            SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
            static RecordInput input;
            record_input_reset(input);
            std::vector<std::string> records;
            bool too_long = false;
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.stream.data());
            for (std::size_t at = 0; at < c.stream.size() && !too_long;) {
                const std::size_t size = std::min(piece, c.stream.size() - at);
                RecordVerdict verdict = RecordVerdict::incomplete;
                at += record_input_take(input, bytes + at, size, verdict);
                if (verdict == RecordVerdict::record) {
                    records.emplace_back(reinterpret_cast<const char*>(input.data), input.length);
                    record_input_reset(input);
                }
                too_long = verdict == RecordVerdict::too_long;
            }
            EXPECT_EQ(records, c.records);
            EXPECT_EQ(too_long, c.too_long);
        }
    }
}

TEST(Vxi11Xdr, EveryFieldIsCheckedAgainstTheBufferEnd) {
    // A string "abcde" (padded to 8), a bool, and a u32 cut short.
    const std::uint8_t data[] = {0, 0, 0, 5, 'a', 'b', 'c', 'd', 'e', 0, 0, 0, 0, 0, 0, 1, 0, 0};
    XdrReader r = xdr_reader(data, sizeof data);
    const char* text = nullptr;
    std::size_t length = 0;
    xdr_get_opaque(r, 5, text, length);
    EXPECT_EQ(std::string(text, length), "abcde");
    EXPECT_TRUE(xdr_get_bool(r));
    EXPECT_EQ(xdr_get_u32(r), 0u);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(xdr_get_u32(r), 0u) << "a failed reader stays failed";

    struct Refused {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::size_t max;
    };
    const std::vector<Refused> refused = {
        {"longer than allowed", {0, 0, 0, 5, 'a', 'b', 'c', 'd', 'e', 0, 0, 0}, 4},
        {"padding missing", {0, 0, 0, 5, 'a', 'b', 'c', 'd', 'e'}, 8},
        {"length past the end", {0xFF, 0xFF, 0xFF, 0xFF, 'a'}, 0xFFFFFFFF},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.name);
        XdrReader bad = xdr_reader(c.bytes.data(), c.bytes.size());
        xdr_get_opaque(bad, c.max, text, length);
        EXPECT_FALSE(bad.ok);
        EXPECT_EQ(length, 0u);
    }
    const std::uint8_t two[] = {0, 0, 0, 2};
    XdrReader not_bool = xdr_reader(two, sizeof two);
    xdr_get_bool(not_bool);
    EXPECT_FALSE(not_bool.ok);

    std::uint8_t out[12] = {};
    XdrWriter w = xdr_writer(out, sizeof out);
    xdr_put_opaque(w, "abcde", 5);
    EXPECT_EQ(w.at, 12u);
    xdr_put_u32(w, 1);
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(w.at, 12u) << "nothing written past the capacity";
}

TEST(Vxi11Rpc, CallsThatCannotBeServedGetTheProtocolsAnswers) {
    vxi11::portmapper_setup(9010, 9011);
    const std::uint32_t pmap = 100000;
    const std::uint32_t core = 0x0607AF;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> record;
        std::vector<std::uint32_t> reply;   // after the xid and REPLY
    };
    std::vector<std::uint8_t> short_arguments = call(2, pmap, 2, 3, {core, 1, 6});
    const std::vector<Case> cases = {
        {"GETPORT of the core channel", call(2, pmap, 2, 3, {core, 1, 6, 0}), {0, 0, 0, 0, 9010}},
        {"GETPORT over UDP", call(2, pmap, 2, 3, {core, 1, 17, 0}), {0, 0, 0, 0, 0}},
        {"GETPORT of the portmapper itself", call(2, pmap, 2, 3, {pmap, 2, 17, 0}), {0, 0, 0, 0, 111}},
        {"GETPORT of the abort channel", call(2, pmap, 2, 3, {0x0607B0, 1, 6, 0}), {0, 0, 0, 0, 0}},
        {"another RPC version", call(3, pmap, 2, 0, {}), {1, 0, 2, 2}},
        {"another program", call(2, 100003, 2, 0, {}), {0, 0, 0, 1}},
        {"rpcbind version 4", call(2, pmap, 4, 3, {}), {0, 0, 0, 2, 2, 2}},
        {"an unknown procedure", call(2, pmap, 2, 1, {core, 1, 6, 9010}), {0, 0, 0, 3}},
        {"arguments cut short", short_arguments, {0, 0, 0, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint8_t out[256];
        XdrWriter w = xdr_writer(out, sizeof out);
        CallHeader header{};
        vxi11::PortmapperCall context{"test"};
        ASSERT_EQ(rpc_serve(vxi11::portmapper_programs, vxi11::portmapper_program_count, &context, c.record.data(),
                            c.record.size(), w, header),
                  Served::replied);
        std::vector<std::uint32_t> expected = {0x1234, 1};
        expected.insert(expected.end(), c.reply.begin(), c.reply.end());
        EXPECT_EQ(words_of(out, w.at), expected);
    }
    std::uint8_t out[64];
    XdrWriter w = xdr_writer(out, sizeof out);
    CallHeader header{};
    std::vector<std::uint8_t> a_reply = call(2, pmap, 2, 0, {});
    a_reply[7] = 1;   // REPLY where a CALL belongs
    EXPECT_EQ(rpc_serve(vxi11::portmapper_programs, 1, nullptr, a_reply.data(), a_reply.size(), w, header),
              Served::malformed);
    EXPECT_EQ(rpc_serve(vxi11::portmapper_programs, 1, nullptr, a_reply.data(), 20, w, header), Served::malformed);
}

TEST(Vxi11DeviceNames, Inst0AndGpib0AddressesOnly) {
    struct Case {
        const char* name;
        int address;   // -1: refused
        const char* shown;
    };
    const Case cases[] = {
        {"inst0", 7, "inst0"},   {"INST0", 7, "inst0"},        {"gpib0,4", 4, "gpib0,4"}, {"GPIB0,30", 30, "gpib0,30"},
        {"gpib0,0", 0, "gpib0,0"}, {"gpib0,31", -1, ""},       {"gpib0,4,96", -1, ""},    {"gpib1,4", -1, ""},
        {"inst1", -1, ""},       {"gpib0,", -1, ""},           {"gpib0,-1", -1, ""},      {"", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int address = -1;
        char shown[16] = "";
        const bool ok = vxi11::device_name_read(c.name, std::strlen(c.name), 7, address, shown);
        EXPECT_EQ(ok, c.address >= 0);
        if (ok) {
            EXPECT_EQ(address, c.address);
            EXPECT_STREQ(shown, c.shown);
        }
    }
}

BusClaim claim(int address, BusOwner owner, bool wait, int lock_ms, int io_ms, const std::atomic<bool>* abort = nullptr) {
    return BusClaim{address, owner, wait, milliseconds(lock_ms), milliseconds(io_ms), abort};
}

TEST(Vxi11Locks, LocksTimeOutsAndAbortsOfTheSharedBus) {
    constexpr BusOwner a = 101;
    constexpr BusOwner b = 102;
    ASSERT_EQ(address_lock(claim(4, a, false, 0, -1)), BusWait::granted);
    EXPECT_EQ(address_lock(claim(4, a, false, 0, -1)), BusWait::granted) << "the holder asks again";
    EXPECT_EQ(address_lock(claim(4, b, false, 0, -1)), BusWait::locked);
    EXPECT_EQ(bus_claim(claim(4, b, false, 0, -1)), BusWait::locked) << "another link's call, no waiting";
    EXPECT_EQ(bus_claim(claim(4, b, true, 30, -1)), BusWait::locked) << "past lock_timeout";
    // lock_timeout bounds the wait for the lock, answering locked; io_timeout only the bus after it.
    const auto waiting_since = std::chrono::steady_clock::now();
    EXPECT_EQ(bus_claim(claim(4, b, true, 60, 5)), BusWait::locked) << "past lock_timeout, io_timeout shorter";
    EXPECT_GE(std::chrono::steady_clock::now() - waiting_since, milliseconds(60));
    EXPECT_FALSE(address_unlock(4, b));
    ASSERT_EQ(bus_claim(claim(5, b, false, 0, -1)), BusWait::granted) << "other addresses are free";
    std::thread([] {
        EXPECT_EQ(bus_claim(claim(5, 103, false, 0, 30)), BusWait::timed_out) << "the bus busy past io_timeout";
    }).join();
    gateway::bus_unclaim();
    ASSERT_EQ(bus_claim(claim(4, a, false, 0, 0)), BusWait::granted) << "the holder's own calls";
    gateway::bus_unclaim();

    // A raw line waits for the lock and gets the bus once it is freed.
    std::atomic<int> raw_result{-1};
    std::thread raw([&] {
        const BusWait w = bus_claim(claim(4, raw_owner, true, 60000, -1));
        raw_result = static_cast<int>(w);
        if (w == BusWait::granted) gateway::bus_unclaim();
    });
    // An abort ends another link's wait for the lock.
    std::atomic<bool> abort{false};
    std::atomic<int> b_result{-1};
    std::thread waiting([&] { b_result = static_cast<int>(address_lock(claim(4, b, true, 60000, -1, &abort))); });
    abort = true;
    bus_wake_all();
    waiting.join();
    EXPECT_EQ(b_result, static_cast<int>(BusWait::aborted));
    EXPECT_EQ(raw_result, -1) << "the raw line still waits";
    EXPECT_EQ(address_lock_holder(4), a);
    address_unlock_all(a);
    raw.join();
    EXPECT_EQ(raw_result, static_cast<int>(BusWait::granted));
    EXPECT_EQ(address_lock_holder(4), raw_owner);
    EXPECT_FALSE(address_unlock(4, a)) << "no lock held any more";
}

}  // namespace

using vxi11_calls::core_call;
using vxi11_calls::with_text;

// The gateway waits for a device_read without sleeping only when the client has one to make: a
// query's reply waiting, whole or in part. A wrong guess either way costs every query time.
TEST(Vxi11Calls, ADeviceReadIsExpectedOnlyWhileAQuerysReplyWaits) {
    taverix_sim_reset();
    ASSERT_TRUE(bus_bring_up("4").ok);
    std::FILE* log = std::tmpfile();
    log_to(log);
    vxi11::core_channel_setup(4, 9011, milliseconds(2000));
    vxi11::CoreConnection c{};
    c.peer = "test";
    const std::vector<std::uint32_t> link = core_call(c, vxi11::create_link_procedure, with_text({7, 0, 1000}, "inst0"));
    ASSERT_EQ(link.size(), 4u);
    ASSERT_EQ(link[0], 0u);
    const std::uint32_t id = link[1];
    const std::uint32_t end = vxi11::flag_end;
    struct Step {
        const char* name;
        std::uint32_t procedure;
        std::vector<std::uint32_t> arguments;
        bool read_due;
    };
    const std::vector<Step> steps = {
        {"a query", 11, with_text({id, 1000, 1000, end}, "*IDN?\n"), true},
        {"part of its reply (REQCNT)", 12, {id, 5, 1000, 1000, 0, 0}, true},
        {"the rest (END)", 12, {id, 100, 1000, 1000, 0, 0}, false},
        {"a setting, no reply", 11, with_text({id, 1000, 1000, end}, ":FREQ 1500"), false},
        {"half a query, no END yet", 11, with_text({id, 1000, 1000, 0}, ":FREQ"), false},
        {"its end", 11, with_text({id, 1000, 1000, end}, "?"), true},
        {"a query refused, over 255 bytes", 11, with_text({id, 1000, 1000, end}, std::string(300, 'A') + "?"), false},
        {"another query", 11, with_text({id, 1000, 1000, end}, "*IDN?"), true},
        {"device_clear drops its reply", 15, {id, 0, 1000, 1000}, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        core_call(c, step.procedure, step.arguments);
        EXPECT_EQ(c.read_due, step.read_due);
    }
    vxi11::core_connection_closed(c);
    ::bus_release();
    log_to(nullptr);
    std::fclose(log);
}
