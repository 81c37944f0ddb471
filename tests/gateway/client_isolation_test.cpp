// No client may take what others need or reach what is theirs: the slot a newcomer gets, and a
// device_read that gets only what follows its own link's message. (Link caps and ids, aborts and
// locks between clients: tests/gateway/vxi11_client_test.py and the VXI-11 fuzz target.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bus_link.h"
#include "connection_slots.h"
#include "core_channel.h"
#include "gateway_log.h"
#include "sim_control.h"
#include "vxi11_calls.h"
#include "vxi11_messages.h"

namespace {

using namespace gateway;
using std::chrono::milliseconds;
using vxi11_calls::core_call;
using vxi11_calls::with_text;

constexpr std::uint32_t loopback = 0x7F000001;
constexpr std::uint32_t pc_a = 0x0A000001;   // 10.0.0.1
constexpr std::uint32_t pc_b = 0x0A000002;
constexpr std::uint32_t pc_c = 0x0A000003;

struct SlotCase {
    const char* name;
    std::vector<std::uint32_t> clients;   // slots 0.. in use by these, the rest free
    std::vector<int> at_work;             // these slots at work
    std::vector<int> closing;             // these slots closing
    int idle_ms;                          // every slot idle this long (slot i: i ms less)
    std::uint32_t newcomer;
    SlotAction action;
    int slot;                             // for take and evict
    const char* why;                      // for refuse: the start of the reason
};

TEST(GatewaySlots, AnAddressWithItsShareMakesRoomAmongItsOwnConnectionsOnly) {
    const std::vector<std::uint32_t> eight_a(8, pc_a);
    std::vector<std::uint32_t> a_then_b(eight_a);
    a_then_b.insert(a_then_b.end(), 8, pc_b);
    const std::vector<std::uint32_t> sixteen_local(16, loopback);
    const std::vector<int> a_at_work = {0, 1, 2, 3, 4, 5, 6, 7};
    const std::vector<SlotCase> cases = {
        {"a ninth from A, A's idle long enough: A's idle longest goes", eight_a, {}, {}, 1500, pc_a, SlotAction::evict, 0, ""},
        {"a ninth from A, A's idle 0.5 s: waits", eight_a, {}, {}, 500, pc_a, SlotAction::wait, -1, ""},
        {"a ninth from A, A's all at work: turned away with free slots left", eight_a, a_at_work, {}, 1500, pc_a,
         SlotAction::refuse, -1, "8 connections from this address"},
        {"a ninth from A, one of A's closing: waits for it", eight_a, a_at_work, {3}, 1500, pc_a, SlotAction::wait, -1, ""},
        {"the first from B beside A's eight: a free slot", eight_a, a_at_work, {}, 1500, pc_b, SlotAction::take, 8, ""},
        {"all 16 taken, A's at work: C takes B's idle longest", a_then_b, a_at_work, {}, 1500, pc_c, SlotAction::evict, 8,
         ""},
        {"all 16 taken and at work", a_then_b, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {}, 1500, pc_c,
         SlotAction::refuse, -1, "16 connections already"},
        {"this machine is not capped: a 16th local connection", std::vector<std::uint32_t>(15, loopback), {}, {}, 1500,
         loopback, SlotAction::take, 15, ""},
        {"a 17th local one: the idle longest goes", sixteen_local, {}, {}, 1500, loopback, SlotAction::evict, 0, ""},
    };
    const SlotClock::time_point now = SlotClock::now();
    for (const SlotCase& c : cases) {
        SCOPED_TRACE(c.name);
        SlotState slots[connection_max] = {};
        for (std::size_t i = 0; i < c.clients.size(); ++i) {
            slots[i] = SlotState{true, false, false, c.clients[i], now - milliseconds(c.idle_ms - static_cast<int>(i))};
        }
        for (int i : c.at_work) slots[i].at_work = true;
        for (int i : c.closing) slots[i].closing = true;
        const SlotChoice choice = slot_choose(slots, c.newcomer, now, now);
        EXPECT_EQ(choice.action, c.action);
        if (c.action == SlotAction::take || c.action == SlotAction::evict) {
            EXPECT_EQ(choice.slot, c.slot);
        } else if (c.action == SlotAction::refuse) {
            EXPECT_EQ(std::string(choice.why).rfind(c.why, 0), 0u) << choice.why;
        } else {
            EXPECT_GT(choice.until, now);
        }
    }
    // A newcomer that has waited past its limit is turned away.
    SlotState slots[connection_max] = {};
    for (std::size_t i = 0; i < connections_per_address_max; ++i) slots[i] = SlotState{true, false, i == 0, pc_a, now};
    EXPECT_EQ(slot_choose(slots, pc_a, now - idle_before_eviction - eviction_end_wait - milliseconds(1), now).action,
              SlotAction::refuse);
}

// A VXI-11 client in this process: one core connection.
struct Client {
    explicit Client(std::uint32_t address) {
        core.peer = "core";
        core.client = address;
    }
    ~Client() { vxi11::core_connection_closed(core); }
    std::uint32_t link() {
        return core_call(core, vxi11::create_link_procedure, with_text({7, 0, 0}, "gpib0,4")).at(1);
    }
    std::uint32_t write(std::uint32_t link, const std::string& data) {
        return core_call(core, 11, with_text({link, 1000, 0, vxi11::flag_end}, data)).at(0);
    }
    // device_read's error and data.
    std::pair<std::uint32_t, std::string> read(std::uint32_t link) {
        const std::vector<std::uint32_t> r = core_call(core, 12, {link, 256, 1000, 0, 0, 0});
        std::string data;
        for (std::size_t i = 3; i < r.size(); ++i) {
            for (int k = 3; k >= 0; --k) data += static_cast<char>(r[i] >> (8 * k));
        }
        return {r.at(0), data.substr(0, r.at(2))};
    }

    vxi11::CoreConnection core{};
};

class Vxi11Clients : public ::testing::Test {
protected:
    void SetUp() override {
        taverix_sim_reset();
        taverix_sim_set("TAVERIX_SIM_TIMEOUT_MS", "1");
        ASSERT_TRUE(bus_bring_up("4").ok);
        log = std::tmpfile();
        log_to(log);
        vxi11::core_channel_setup(4, 9011, milliseconds(60000));
    }
    void TearDown() override {
        ::bus_release();
        log_to(nullptr);
        std::fclose(log);
    }
    static std::string trace() {
        static char text[65536];
        taverix_sim_trace(text, sizeof text);
        return text;
    }
    std::FILE* log = nullptr;
};

TEST_F(Vxi11Clients, AReadGetsOnlyWhatFollowsItsOwnMessage) {
    Client writer(pc_a), reader(pc_b);
    const std::uint32_t w = writer.link();
    const std::uint32_t r = reader.link();
    // No query by the quote-aware rule, yet the instrument answers the *IDN? in it.
    const std::string leaves_output = ":FUNC 'x;*IDN?;'";
    ASSERT_EQ(writer.write(w, leaves_output), 0u);
    const std::size_t reads_before = trace().size();
    EXPECT_EQ(reader.read(r).first, static_cast<std::uint32_t>(vxi11::io_timeout)) << "nothing it wrote";
    EXPECT_EQ(trace().size(), reads_before) << "the bus untouched";
    EXPECT_EQ(reader.read(r).first, static_cast<std::uint32_t>(vxi11::io_timeout)) << "nor on a second try";
    EXPECT_EQ(writer.read(w), std::make_pair(0u, std::string("QX-SIM,QX-7316,0,1.00\n"))) << "its own output";

    // The reader's own message, then the writer's: the reader's output was the instrument's to drop.
    ASSERT_EQ(reader.write(r, leaves_output), 0u);
    ASSERT_EQ(writer.write(w, ":FREQ 1500"), 0u);
    EXPECT_EQ(reader.read(r).first, static_cast<std::uint32_t>(vxi11::io_timeout));
    ASSERT_EQ(reader.write(r, leaves_output), 0u);
    EXPECT_EQ(reader.read(r), std::make_pair(0u, std::string("QX-SIM,QX-7316,0,1.00\n")));
}

}  // namespace
