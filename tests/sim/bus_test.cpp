// The bus side: who listens at which address, calls before gp_init, arguments, reads with and
// without a reply, re-initialisation, and the remote and lockout state.
#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "sim_codes.h"
#include "sim_control.h"
#include "sim_fixture.h"
#include "taverix.h"

namespace {

using Bus = Sim;
using BusBeforeInit = SimUninitialised;

TEST_F(BusBeforeInit, EveryCallButGpInitFailsAsNotInitialised) {
    char reply[16] = "untouched";
    EXPECT_EQ(gp_cli(), sim_code::not_initialised);
    EXPECT_EQ(gp_ren(), sim_code::not_initialised);
    EXPECT_EQ(gp_tmout(5), sim_code::not_initialised);
    EXPECT_EQ(gp_clr("4"), sim_code::not_initialised);
    EXPECT_EQ(gp_wait(1), sim_code::not_initialised);
    EXPECT_EQ(gp_llo(), sim_code::not_initialised);
    EXPECT_EQ(gp_wrt("4", ":OUTP ON"), sim_code::not_initialised);
    EXPECT_EQ(gp_red("4", reply, sizeof reply), sim_code::not_initialised);
    EXPECT_EQ(gp_lcl(""), sim_code::not_initialised);
    EXPECT_STREQ(reply, "untouched");

    ASSERT_EQ(gp_init(1, 0, 0), 0);
    EXPECT_EQ(query(":OUTP?"), "0\n");
}

TEST_F(BusBeforeInit, OwnAddressMustBe1To30) {
    EXPECT_EQ(gp_init(0, 0, 0), sim_code::bad_argument);
    EXPECT_EQ(gp_init(31, 0, 0), sim_code::bad_argument);
    EXPECT_EQ(gp_init(65535, 0, 0), sim_code::bad_argument);
    EXPECT_EQ(gp_cli(), sim_code::not_initialised);
    EXPECT_EQ(gp_init(30, 0, 0), 0);
    EXPECT_EQ(gp_init(1, 0, 0), 0);
}

TEST_F(Bus, OnlyTheInstrumentsAddressListens) {
    for (const char* address : {"5", "0", "30", "31", "x", " 4", "4 ", "4,5", "-4", "99999999999999999999"}) {
        EXPECT_EQ(gp_clr(address), sim_code::no_listener) << address;
        EXPECT_EQ(gp_wrt(address, ":OUTP ON"), sim_code::no_listener) << address;
        char reply[8] = {};
        EXPECT_EQ(gp_red(address, reply, sizeof reply), sim_code::no_listener) << address;
        EXPECT_EQ(gp_lcl(address), sim_code::no_listener) << address;
    }
    EXPECT_EQ(query(":OUTP?"), "0\n");
    EXPECT_EQ(gp_clr("04"), 0);
}

TEST_F(Bus, EmptyListClearsAndReturnsAllToLocalButNamesNoOneToTalk) {
    EXPECT_EQ(gp_clr(""), 0);
    EXPECT_EQ(gp_lcl(""), 0);
    EXPECT_EQ(gp_wrt("", ":OUTP ON"), sim_code::no_listener);
    char reply[8] = {};
    EXPECT_EQ(gp_red("", reply, sizeof reply), sim_code::no_listener);
}

TEST_F(Bus, AddressComesFromTheConfiguration) {
    taverix_sim_set("TAVERIX_SIM_ADDRESS", "12");
    EXPECT_EQ(gp_clr("4"), sim_code::no_listener);
    EXPECT_EQ(gp_clr("12"), 0);

    taverix_sim_set("TAVERIX_SIM_ADDRESS", "none");
    EXPECT_EQ(gp_clr("4"), sim_code::no_listener);
    EXPECT_EQ(gp_clr(""), 0);

    environment_set("TAVERIX_SIM_ADDRESS", "7");
    taverix_sim_reset();
    ASSERT_EQ(gp_init(1, 0, 0), 0);
    EXPECT_EQ(gp_clr("7"), 0);
    EXPECT_EQ(gp_clr("4"), sim_code::no_listener);
}

TEST_F(Bus, BadArgumentsAreRefusedAndTheBufferIsLeftAlone) {
    char reply[8] = "keep";
    EXPECT_EQ(gp_wrt("4", ":FUNC?"), 0);
    EXPECT_EQ(gp_red("4", reply, 0), sim_code::bad_argument);
    EXPECT_EQ(gp_red("4", reply, -1), sim_code::bad_argument);
    EXPECT_EQ(gp_red("4", reply, INT_MIN), sim_code::bad_argument);
    EXPECT_EQ(gp_red("4", nullptr, 8), sim_code::bad_argument);
    EXPECT_EQ(gp_red(nullptr, reply, 8), sim_code::bad_argument);
    EXPECT_STREQ(reply, "keep");
    EXPECT_EQ(gp_wrt("4", nullptr), sim_code::bad_argument);
    EXPECT_EQ(gp_wrt(nullptr, ":OUTP ON"), sim_code::bad_argument);
    EXPECT_EQ(gp_clr(nullptr), sim_code::bad_argument);
    EXPECT_EQ(gp_lcl(nullptr), sim_code::bad_argument);
    EXPECT_EQ(gp_tmout(-1), sim_code::bad_argument);
    EXPECT_EQ(gp_wait(-1), sim_code::bad_argument);

    // The reply asked for before is still there.
    EXPECT_EQ(gp_red("4", reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "SIN\n");
}

TEST_F(Bus, ReadWithNothingPendingTimesOut) {
    ASSERT_EQ(gp_tmout(3), 0);
    char reply[16] = {};
    EXPECT_EQ(gp_red("4", reply, sizeof reply), sim_code::timeout);
    ASSERT_EQ(gp_wrt("4", ":OUTP ON"), 0);
    EXPECT_EQ(gp_red("4", reply, sizeof reply), sim_code::timeout);
    EXPECT_STREQ(reply, "");
    EXPECT_EQ(next_error(), "-420,\"Query UNTERMINATED\"");

    ASSERT_EQ(gp_wrt("4", ":FUNC?"), 0);
    ASSERT_EQ(gp_red("4", reply, sizeof reply), 0);
    EXPECT_EQ(gp_red("4", reply, sizeof reply), sim_code::timeout) << "a reply is read only once";
}

TEST_F(Bus, SilentInstrumentLetsEveryReadTimeOut) {
    taverix_sim_set("TAVERIX_SIM_NO_REPLY", "1");
    EXPECT_EQ(query("*TST?"), "<status 4>");
    EXPECT_EQ(query(":FUNC?"), "<status 4>");
    taverix_sim_set("TAVERIX_SIM_NO_REPLY", "0");
    EXPECT_EQ(query(":FUNC?"), "SIN\n");
}

TEST_F(Bus, NewMessageOrDeviceClearDiscardsAnUnreadReply) {
    ASSERT_EQ(gp_wrt("4", ":FUNC?"), 0);
    ASSERT_EQ(gp_wrt("4", ":AMPL?"), 0);
    EXPECT_EQ(read_reply(), "+3.000000E+00\n");
    EXPECT_EQ(next_error(), "-410,\"Query INTERRUPTED\"");

    ASSERT_EQ(gp_wrt("4", ":FUNC?"), 0);
    ASSERT_EQ(gp_clr("4"), 0);
    char reply[16] = {};
    EXPECT_EQ(gp_red("4", reply, sizeof reply), sim_code::timeout);
}

TEST_F(Bus, ReplyLongerThanTheBufferComesInPiecesEachTerminated) {
    char reply[8];
    std::memset(reply, 'z', sizeof reply);
    ASSERT_EQ(gp_wrt("4", ":FREQ?"), 0);
    ASSERT_EQ(gp_red("4", reply, 6), 0);
    EXPECT_STREQ(reply, "+1.00");
    EXPECT_EQ(reply[6], 'z');
    ASSERT_EQ(gp_red("4", reply, 1), 0);
    EXPECT_STREQ(reply, "");
    ASSERT_EQ(gp_red("4", reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "0000E+0");
    ASSERT_EQ(gp_red("4", reply, sizeof reply), 0);
    EXPECT_STREQ(reply, "3\n");
    EXPECT_EQ(gp_red("4", reply, sizeof reply), sim_code::timeout);
}

TEST_F(Bus, RemoteAndLockoutFollowTheBusLines) {
    constexpr int local = 0, remote = 1, local_lockout = 2, remote_lockout = 3;
    EXPECT_EQ(taverix_sim_remote_state(), local);
    ASSERT_EQ(gp_wrt("4", ":OUTP?"), 0);
    EXPECT_EQ(taverix_sim_remote_state(), local) << "no remote enable yet";

    ASSERT_EQ(gp_ren(), 0);
    ASSERT_EQ(gp_clr("4"), 0);
    EXPECT_EQ(taverix_sim_remote_state(), remote);
    ASSERT_EQ(gp_llo(), 0);
    EXPECT_EQ(taverix_sim_remote_state(), remote_lockout);
    ASSERT_EQ(gp_lcl("4"), 0);
    EXPECT_EQ(taverix_sim_remote_state(), local_lockout);
    ASSERT_EQ(gp_wrt("4", ":OUTP OFF"), 0);
    EXPECT_EQ(taverix_sim_remote_state(), remote_lockout);
    ASSERT_EQ(gp_lcl(""), 0);
    EXPECT_EQ(taverix_sim_remote_state(), local);
    ASSERT_EQ(gp_wrt("4", ":OUTP OFF"), 0);
    EXPECT_EQ(taverix_sim_remote_state(), local) << "remote enable was released";
}

TEST_F(Bus, ReInitialisingRestartsTheBusButKeepsTheInstrumentsSettings) {
    ASSERT_EQ(gp_ren(), 0);
    ASSERT_EQ(gp_llo(), 0);
    ASSERT_EQ(gp_wrt("4", ":FUNC PULS;:OUTP ON"), 0);
    ASSERT_EQ(gp_init(1, 0, 0), 0);
    EXPECT_EQ(taverix_sim_remote_state(), 0);
    EXPECT_EQ(query(":FUNC?"), "PULS\n");
    EXPECT_EQ(query(":OUTP?"), "1\n");

    taverix_sim_reset();
    ASSERT_EQ(gp_init(1, 0, 0), 0);
    EXPECT_EQ(query(":FUNC?"), "SIN\n") << "a reset powers the instrument up afresh";
}

// TAVERIX_SIM_REPLY_DELAY_MS: a reply is readable only that long after its message. A read whose
// time-out ends sooner fails and leaves the reply pending; a device clear then discards it.
TEST_F(Bus, DelayedReplyIsWaitedForWithinTheTimeOutAndStaysPendingBeyondIt) {
    using std::chrono::steady_clock;
    taverix_sim_set("TAVERIX_SIM_REPLY_DELAY_MS", "300");
    ASSERT_EQ(gp_tmout(10), 0);   // 10 ms: shorter than the delay

    const auto written = steady_clock::now();
    ASSERT_EQ(gp_wrt("4", ":OUTP?"), 0);
    EXPECT_EQ(read_reply(), "<status 4>");
    ASSERT_EQ(gp_tmout(20000), 0);   // 20 s: longer than the delay
    EXPECT_EQ(read_reply(), "0\n");
    EXPECT_GE(steady_clock::now() - written, std::chrono::milliseconds(300));

    ASSERT_EQ(gp_tmout(10), 0);
    ASSERT_EQ(gp_wrt("4", ":FREQ?"), 0);
    EXPECT_EQ(read_reply(), "<status 4>");
    ASSERT_EQ(gp_clr("4"), 0);
    taverix_sim_set("TAVERIX_SIM_REPLY_DELAY_MS", "0");
    EXPECT_EQ(query(":OUTP?"), "0\n");
    EXPECT_EQ(next_error(), "0,\"No error\"");   // the cleared reply was not interrupted by a new message
}

TEST_F(Bus, ReplyDelayThatCannotBeReadIsIgnoredWithARemark) {
    taverix_sim_set("TAVERIX_SIM_REPLY_DELAY_MS", "60001");
    EXPECT_EQ(query(":OUTP?"), "0\n");
    char trace[1024] = {};
    taverix_sim_trace(trace, sizeof trace);
    EXPECT_NE(std::strstr(trace, "# TAVERIX_SIM_REPLY_DELAY_MS: not milliseconds 0-60000, taken as 0: \"60001\""), nullptr) << trace;
}

}  // namespace
