// No client may take what others need or reach what is theirs: the slot a newcomer gets, the caps
// on links, link ids no one can guess, aborts from a link's own client only, a device_read that gets
// only what follows its own message, and locks that hold a message and a pending reply back.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bus_access.h"
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
using vxi11_calls::channel_call;
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

// A VXI-11 client in this process: one core connection and its abort channel.
struct Client {
    explicit Client(std::uint32_t address) {
        core.peer = "core";
        core.client = address;
        abort.peer = "abort";
        abort.client = address;
    }
    ~Client() { vxi11::core_connection_closed(core); }
    // create_link's error and link id.
    std::pair<std::uint32_t, std::uint32_t> link(bool lock = false) {
        const std::vector<std::uint32_t> r =
            core_call(core, vxi11::create_link_procedure, with_text({7, lock ? 1u : 0u, 0}, "gpib0,4"));
        return {r.at(0), r.at(1)};
    }
    std::vector<std::uint32_t> write(std::uint32_t link, const std::string& data, std::uint32_t flags,
                                     std::uint32_t lock_timeout = 0, std::uint32_t io_timeout = 1000) {
        return core_call(core, 11, with_text({link, io_timeout, lock_timeout, flags}, data));
    }
    // device_read's error and data.
    std::pair<std::uint32_t, std::string> read(std::uint32_t link, std::uint32_t flags = 0, std::uint32_t lock_timeout = 0) {
        const std::vector<std::uint32_t> r = core_call(core, 12, {link, 256, 1000, lock_timeout, flags, 0});
        std::string data;
        for (std::size_t i = 3; i < r.size(); ++i) {
            for (int k = 3; k >= 0; --k) data += static_cast<char>(r[i] >> (8 * k));
        }
        return {r.at(0), data.substr(0, r.at(2))};
    }
    std::uint32_t lock(std::uint32_t link, std::uint32_t flags = 0, std::uint32_t lock_timeout = 0) {
        return core_call(core, 18, {link, flags, lock_timeout}).at(0);
    }
    std::uint32_t unlock(std::uint32_t link) { return core_call(core, 19, {link}).at(0); }
    std::uint32_t abort_call(std::uint32_t link) { return channel_call(true, abort, 1, {link}).at(0); }

    vxi11::CoreConnection core{};
    vxi11::CoreConnection abort{};
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

TEST_F(Vxi11Clients, LinkIdsAreRandomAndNoConnectionOrPcTakesMoreThanItsShare) {
    Client a1(pc_a), a2(pc_a), a3(pc_a);
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < 8; ++i) {
        const auto [error, id] = a1.link();
        ASSERT_EQ(error, 0u);
        ids.push_back(id);
    }
    EXPECT_EQ(a1.link().first, static_cast<std::uint32_t>(vxi11::out_of_resources)) << "a ninth link on one connection";
    for (int i = 0; i < 8; ++i) ASSERT_EQ(a2.link().first, 0u);
    EXPECT_EQ(a3.link().first, static_cast<std::uint32_t>(vxi11::out_of_resources)) << "a 17th link from one PC";
    // Unguessable: unique, not in a row, drawn from all 32 bits (eight below 2^24 by chance: 2^-64).
    std::vector<std::uint32_t> sorted(ids);
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::set<std::uint32_t>(ids.begin(), ids.end()).size(), ids.size());
    EXPECT_GT(sorted.back() - sorted.front(), 8u);
    EXPECT_GE(sorted.back(), 1u << 24);

    // This machine's clients are capped per connection, not per address: 48 links more make 64.
    std::vector<std::unique_ptr<Client>> local;
    for (int c = 0; c < 6; ++c) {
        local.push_back(std::make_unique<Client>(loopback));
        for (int i = 0; i < 8; ++i) ASSERT_EQ(local.back()->link().first, 0u) << c << " " << i;
    }
    Client b(pc_b);
    EXPECT_EQ(b.link().first, static_cast<std::uint32_t>(vxi11::out_of_resources)) << "a 65th link";
    local.pop_back();
    EXPECT_EQ(b.link().first, 0u) << "a link of the gateway's 64 came free";
}

TEST_F(Vxi11Clients, OnlyTheLinksOwnClientAbortsItsWait) {
    Client holder(pc_a), owner(pc_b), stranger(pc_c), owner_again(pc_b);
    const std::uint32_t held = holder.link().second;
    const std::uint32_t waiting = owner.link().second;
    ASSERT_EQ(holder.lock(held), 0u);
    for (Client* aborter : {&stranger, &owner_again}) {
        std::atomic<std::uint32_t> result{99};
        std::thread waiter([&] { result = owner.lock(waiting, vxi11::flag_wait_lock, 60000); });
        // The waiter may not have begun waiting when the abort comes (an abort counts for a call
        // under way): the stranger's abort is answered 4 however often it is sent, and the owner's
        // own client sends its abort until the wait ends.
        if (aborter == &stranger) {
            EXPECT_EQ(stranger.abort_call(waiting), static_cast<std::uint32_t>(vxi11::invalid_link));
            EXPECT_EQ(stranger.abort_call(12345), static_cast<std::uint32_t>(vxi11::invalid_link));
            EXPECT_EQ(holder.unlock(held), 0u);   // the waiter gets the lock: it was not aborted
            waiter.join();
            EXPECT_EQ(result, 0u);
            EXPECT_EQ(owner.unlock(waiting), 0u);
            ASSERT_EQ(holder.lock(held), 0u);
        } else {
            while (result == 99) {
                EXPECT_EQ(owner_again.abort_call(waiting), 0u) << "an abort from the link's own client address";
                std::this_thread::sleep_for(milliseconds(5));
            }
            waiter.join();
            EXPECT_EQ(result, static_cast<std::uint32_t>(vxi11::aborted));
        }
    }
    address_unlock_all(held);
}

TEST_F(Vxi11Clients, AReadGetsOnlyWhatFollowsItsOwnMessage) {
    Client writer(pc_a), reader(pc_b);
    const std::uint32_t w = writer.link().second;
    const std::uint32_t r = reader.link().second;
    // No query by the quote-aware rule, yet the instrument answers the *IDN? in it.
    const std::string leaves_output = ":FUNC 'x;*IDN?;'";
    ASSERT_EQ(writer.write(w, leaves_output, vxi11::flag_end).at(0), 0u);
    const std::size_t reads_before = trace().size();
    EXPECT_EQ(reader.read(r).first, static_cast<std::uint32_t>(vxi11::io_timeout)) << "nothing it wrote";
    EXPECT_EQ(trace().size(), reads_before) << "the bus untouched";
    EXPECT_EQ(reader.read(r).first, static_cast<std::uint32_t>(vxi11::io_timeout)) << "nor on a second try";
    EXPECT_EQ(writer.read(w), std::make_pair(0u, std::string("QX-SIM,QX-7316,0,1.00\n"))) << "its own output";

    // The reader's own message, then the writer's: the reader's output was the instrument's to drop.
    ASSERT_EQ(reader.write(r, leaves_output, vxi11::flag_end).at(0), 0u);
    ASSERT_EQ(writer.write(w, ":FREQ 1500", vxi11::flag_end).at(0), 0u);
    EXPECT_EQ(reader.read(r).first, static_cast<std::uint32_t>(vxi11::io_timeout));
    ASSERT_EQ(reader.write(r, leaves_output, vxi11::flag_end).at(0), 0u);
    EXPECT_EQ(reader.read(r), std::make_pair(0u, std::string("QX-SIM,QX-7316,0,1.00\n")));
}

TEST_F(Vxi11Clients, ALockHoldsBackAnotherLinksMessageFromItsFirstWriteAndItsPendingReply) {
    Client holder(pc_a), other(pc_b);
    const std::uint32_t held = holder.link().second;
    const std::uint32_t link = other.link().second;
    ASSERT_EQ(other.write(link, "*IDN?", vxi11::flag_end).at(0), 0u);   // its reply waits in the gateway
    ASSERT_EQ(holder.lock(held), 0u);
    const auto locked = static_cast<std::uint32_t>(vxi11::locked_by_another);
    EXPECT_EQ(other.write(link, ":FREQ 2", 0), (std::vector<std::uint32_t>{locked, 0})) << "a first write, no END";
    const auto since = std::chrono::steady_clock::now();
    EXPECT_EQ(other.write(link, ":FREQ 2", vxi11::flag_wait_lock, 80, 5).at(0), locked)
        << "waited for the lock as lock_timeout allows, however short io_timeout";
    EXPECT_GE(std::chrono::steady_clock::now() - since, milliseconds(80));
    EXPECT_EQ(other.read(link).first, locked) << "its pending reply";
    EXPECT_EQ(trace().find(":FREQ 2"), std::string::npos);
    EXPECT_EQ(holder.unlock(held), 0u);
    EXPECT_EQ(other.read(link), std::make_pair(0u, std::string("QX-SIM,QX-7316,0,1.00\n")));

    // A message begun before the lock still meets it at its end.
    ASSERT_EQ(other.write(link, ":FREQ ", 0).at(0), 0u);
    ASSERT_EQ(holder.lock(held), 0u);
    EXPECT_EQ(other.write(link, "3", vxi11::flag_end).at(0), locked);
    EXPECT_EQ(holder.unlock(held), 0u);
}

}  // namespace
