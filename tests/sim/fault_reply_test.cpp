// Injected faults and replies of the tester's choosing.
#include <cstring>
#include <string>
#include <vector>

#include "sim_codes.h"
#include "sim_control.h"
#include "sim_fixture.h"
#include "taverix.h"
#include "trace_lines.h"

namespace {

using Faults = Sim;
using ChosenReplies = Sim;

TEST_F(Faults, EveryCallOfTheNamedFunctionFailsWithItsCode) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_tmout=7,gp_llo=-2147483648,gp_cli=2147483647");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(gp_tmout(5), 7);
        EXPECT_EQ(gp_llo(), INT32_MIN);
        EXPECT_EQ(gp_cli(), INT32_MAX);
    }
    EXPECT_EQ(gp_ren(), 0);
    taverix_sim_set("TAVERIX_SIM_FAULTS", nullptr);
    EXPECT_EQ(gp_tmout(5), 0);
}

TEST_F(Faults, NthCallFailsAloneCountedSinceReset) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_wrt#2=-5,gp_wrt#4=0");
    EXPECT_EQ(gp_wrt("4", ":FUNC TRI"), 0);
    EXPECT_EQ(gp_wrt("4", ":FUNC SQU"), -5);
    EXPECT_EQ(gp_wrt("4", ":FUNC?"), 0);
    EXPECT_EQ(read_reply(), "TRI\n") << "the faulted write reached no instrument";
    EXPECT_EQ(gp_wrt("4", ":FUNC DC"), 0) << "code 0: reported as done, yet lost";
    EXPECT_EQ(query(":FUNC?"), "TRI\n");

    environment_set("TAVERIX_SIM_FAULTS", "gp_init#1=9");
    taverix_sim_reset();
    EXPECT_EQ(gp_init(1, 0, 0), 9);
    EXPECT_EQ(gp_clr("4"), sim_code::not_initialised) << "a faulted gp_init initialises nothing";
    EXPECT_EQ(gp_init(1, 0, 0), 0);
}

TEST_F(Faults, NthCallEntryWinsOverAnEveryCallEntry) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_ren#2=3, gp_ren = 8");
    EXPECT_EQ(gp_ren(), 8);
    EXPECT_EQ(gp_ren(), 3);
    EXPECT_EQ(gp_ren(), 8);
}

TEST_F(Faults, EveryNthCallFailsAndWinsOverAnEveryCallEntry) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_ren%3=5, gp_ren = 8, gp_wait % 2 = -1");
    const std::int32_t ren_expected[] = {8, 8, 5, 8, 8, 5, 8};
    for (std::int32_t code : ren_expected) EXPECT_EQ(gp_ren(), code);
    const std::int32_t wait_expected[] = {0, -1, 0, -1};
    for (std::int32_t code : wait_expected) EXPECT_EQ(gp_wait(0), code);
}

TEST_F(Faults, FaultedReadDeliversNothingAndKeepsTheReply) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_red#1=-1");
    ASSERT_EQ(gp_wrt("4", ":AMPL?"), 0);
    char reply[32];
    std::memset(reply, 'q', sizeof reply);
    EXPECT_EQ(gp_red("4", reply, sizeof reply), -1);
    for (char c : reply) ASSERT_EQ(c, 'q');
    EXPECT_EQ(read_reply(), "+3.000000E+00\n");
}

TEST_F(Faults, UnreadableEntriesAreIgnoredWithARemarkInTheTrace) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_foo=1,gp_wrt,gp_wrt#0=1,gp_wrt#x=1,gp_wrt=2147483648,gp_clr=12,,gp_wrt=1x,gp_wrt%0=1");
    EXPECT_EQ(gp_clr("4"), 12);
    EXPECT_EQ(gp_wrt("4", ":OUTP ON"), 0);
    const std::vector<std::string> remarks = sim_trace_calls("# TAVERIX_SIM_FAULTS: ");
    ASSERT_EQ(remarks.size(), 7u);
    EXPECT_EQ(remarks[0], "# TAVERIX_SIM_FAULTS: ignored, not NAME=CODE, NAME#N=CODE or NAME%N=CODE: \"gp_foo=1\"");
    EXPECT_NE(remarks[4].find("\"gp_wrt=2147483648\""), std::string::npos);
}

TEST_F(ChosenReplies, ReplaceTheInstrumentsAnswerExactly) {
    taverix_sim_set("TAVERIX_SIM_REPLIES", "*TST?=01|:FUNC?=|:AMPL?=a\\|b\\\\c\\r\\n\\t\\x7F\\xfe");
    EXPECT_EQ(query("*TST?"), "01");
    EXPECT_EQ(query(":FUNC?"), "");
    EXPECT_EQ(query(":AMPL?"), "a|b\\c\r\n\t\x7f\xfe");
    EXPECT_EQ(query("*tst?  "), "01") << "matched in any letter case, blanks around ignored";
    EXPECT_EQ(query(":FREQ?"), "+1.000000E+03\n") << "other queries are the instrument's own";

    taverix_sim_set("TAVERIX_SIM_REPLIES", nullptr);
    EXPECT_EQ(query("*TST?"), "0\n");
}

TEST_F(ChosenReplies, ReplyLongerThanTheBufferStaysTerminatedWithinIt) {
    const std::string long_reply(300, 'A');
    taverix_sim_set("TAVERIX_SIM_REPLIES", (":FUNC?=" + long_reply).c_str());
    ASSERT_EQ(gp_wrt("4", ":FUNC?"), 0);
    char reply[260];
    std::memset(reply, 'z', sizeof reply);
    ASSERT_EQ(gp_red("4", reply, 256), 0);
    EXPECT_EQ(std::string(reply), std::string(255, 'A'));
    EXPECT_EQ(reply[256], 'z');
    EXPECT_EQ(read_reply(), std::string(45, 'A'));
}

TEST_F(ChosenReplies, UnreadableEntriesAreIgnoredWithARemark) {
    taverix_sim_set("TAVERIX_SIM_REPLIES", "*TST?=0\\q|no equals sign|:FUNC?=\\x4|:AMPL?=ok\\x4a|=x|:FREQ?=\\");
    EXPECT_EQ(query(":AMPL?"), "okJ");
    EXPECT_EQ(query("*TST?"), "0\n");
    EXPECT_EQ(sim_trace_calls("# TAVERIX_SIM_REPLIES: ").size(), 5u);
}

}  // namespace
