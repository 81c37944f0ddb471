// The instrument's vocabulary: settings taken from the program's messages, queries answered in
// the instrument's formats, and what it does with messages it does not understand.
#include <string>

#include "sim_control.h"
#include "sim_fixture.h"
#include "taverix.h"

namespace {

using Instrument = Sim;

TEST_F(Instrument, PowersUpWithSineAt1kHzAnd3VAndOutputOff) {
    EXPECT_EQ(query(":FUNC?"), "SIN\n");
    EXPECT_EQ(query(":FREQ?"), "+1.000000E+03\n");
    EXPECT_EQ(query(":AMPL?"), "+3.000000E+00\n");
    EXPECT_EQ(query(":OUTP?"), "0\n");
    EXPECT_EQ(query(":OFFS:STAT?"), "0\n");
    EXPECT_EQ(next_error(), "0,\"No error\"");
}

TEST_F(Instrument, TakesTheSettingsMessageAndReportsItBack) {
    ASSERT_EQ(gp_wrt("4", ":FUNC SQU;:FREQ 12345.678900;:OFFS:STAT OFF;:AMPL 0.250000;:OUTP ON"), 0);

    EXPECT_EQ(query(":FUNC?"), "SQU\n");
    EXPECT_EQ(query(":AMPL?"), "+2.500000E-01\n");
    EXPECT_EQ(query(":FREQ?"), "+1.234568E+04\n");
    EXPECT_EQ(query(":OUTP?"), "1\n");
    EXPECT_EQ(next_error(), "0,\"No error\"");

    ASSERT_EQ(gp_wrt("4", ":OUTP OFF"), 0);
    EXPECT_EQ(query(":OUTP?"), "0\n");
}

TEST_F(Instrument, KnowsEveryWaveformByShortAndLongName) {
    const char* names[][2] = {{"SIN", "SIN"}, {"TRI", "TRI"},        {"SQU", "SQU"},   {"PULS", "PULS"},
                              {"RAMP", "RAMP"}, {"DC", "DC"},        {"sinusoid", "SIN"}, {"Square", "SQU"}};
    for (const auto& [sent, answered] : names) {
        ASSERT_EQ(gp_wrt("4", (std::string(":FUNC ") + sent).c_str()), 0);
        EXPECT_EQ(query(":FUNC?"), std::string(answered) + "\n") << sent;
    }
    EXPECT_EQ(next_error(), "0,\"No error\"");
}

TEST_F(Instrument, HeadersInAnyCaseAndLongFormWithOrWithoutLeadingColon) {
    ASSERT_EQ(gp_wrt("4", ":func tri;:frequency 2.5e3;offs:stat on;:Ampl +1.5;outp:stat 1"), 0);
    EXPECT_EQ(query("function?"), "TRI\n");
    EXPECT_EQ(query(":FREQUENCY?"), "+2.500000E+03\n");
    EXPECT_EQ(query(":ampl?"), "+1.500000E+00\n");
    EXPECT_EQ(query(":OFFSET:STATE?"), "1\n");
    EXPECT_EQ(query(":output?"), "1\n");
    EXPECT_EQ(next_error(), "0,\"No error\"");
}

TEST_F(Instrument, SeveralQueriesInOneMessageShareOneReply) {
    EXPECT_EQ(query(":FUNC?;:FREQ?;:AMPL?"), "SIN;+1.000000E+03;+3.000000E+00\n");
}

TEST_F(Instrument, ExponentsKeepTwoDigitsAndSmallValuesAreNotCut) {
    ASSERT_EQ(gp_wrt("4", ":FREQ 20000000;:AMPL 0.001"), 0);
    EXPECT_EQ(query(":FREQ?"), "+2.000000E+07\n");
    EXPECT_EQ(query(":AMPL?"), "+1.000000E-03\n");
}

TEST_F(Instrument, CommonCommandsAnswer) {
    EXPECT_EQ(query("*TST?"), "0\n");
    EXPECT_EQ(query("*OPC?"), "1\n");
    EXPECT_NE(query("*IDN?").find("QX-7316"), std::string::npos);

    ASSERT_EQ(gp_wrt("4", ":FUNC RAMP;:OUTP ON"), 0);
    ASSERT_EQ(gp_wrt("4", "*RST"), 0);
    EXPECT_EQ(query(":FUNC?"), "SIN\n");
    EXPECT_EQ(query(":OUTP?"), "0\n");
}

TEST_F(Instrument, SelfTestFailsWhenToldTo) {
    taverix_sim_set("TAVERIX_SIM_SELFTEST", "fail");
    EXPECT_EQ(query("*TST?"), "1\n");
    taverix_sim_set("TAVERIX_SIM_SELFTEST", nullptr);
    EXPECT_EQ(query("*TST?"), "0\n");
}

// Each bad unit leaves its error and the setting as it was; the rest of the message still runs.
TEST_F(Instrument, MessagesItCannotCarryOutGoToTheErrorQueue) {
    ASSERT_EQ(gp_wrt("4", ":BOGUS 1;:FUNC TRI"), 0);
    ASSERT_EQ(gp_wrt("4", ":FREQ abc"), 0);
    ASSERT_EQ(gp_wrt("4", ":FREQ 1e3Hz"), 0);
    ASSERT_EQ(gp_wrt("4", ":FREQ 0.000000"), 0);
    ASSERT_EQ(gp_wrt("4", ":AMPL"), 0);
    ASSERT_EQ(gp_wrt("4", ":FUNC NOISE"), 0);
    ASSERT_EQ(gp_wrt("4", ":FUNC? SIN"), 0);
    ASSERT_EQ(gp_wrt("4", "*TST"), 0);

    EXPECT_EQ(next_error(), "-113,\"Undefined header\"");
    EXPECT_EQ(next_error(), "-104,\"Data type error\"");
    EXPECT_EQ(next_error(), "-104,\"Data type error\"");
    EXPECT_EQ(next_error(), "-222,\"Data out of range\"");
    EXPECT_EQ(next_error(), "-109,\"Missing parameter\"");
    EXPECT_EQ(next_error(), "-224,\"Illegal parameter value\"");
    EXPECT_EQ(next_error(), "-108,\"Parameter not allowed\"");
    EXPECT_EQ(next_error(), "-113,\"Undefined header\"");
    EXPECT_EQ(next_error(), "0,\"No error\"");
    EXPECT_EQ(query(":FUNC?"), "TRI\n");
    EXPECT_EQ(query(":FREQ?"), "+1.000000E+03\n");
}

TEST_F(Instrument, ErrorQueueOverflowsIntoOneMarkAndClearsOnCls) {
    for (int i = 0; i < 40; ++i) ASSERT_EQ(gp_wrt("4", ":NOPE"), 0);
    int undefined = 0;
    std::string error;
    while ((error = next_error()) == "-113,\"Undefined header\"") ++undefined;
    EXPECT_EQ(error, "-350,\"Queue overflow\"");
    EXPECT_GT(undefined, 0);
    EXPECT_EQ(next_error(), "0,\"No error\"");

    ASSERT_EQ(gp_wrt("4", ":NOPE"), 0);
    ASSERT_EQ(gp_wrt("4", "*CLS"), 0);
    EXPECT_EQ(next_error(), "0,\"No error\"");
}

TEST_F(Instrument, OddMessagesNeverHurtIt) {
    const char* odd[] = {"", ";", ";;;", ":", "?", "::FUNC?", ":FUNC:?", "\xff\x80\x01", "*", ":FREQ -", ":FREQ 1e",
                         ":FREQ 1e999999", ":FREQ .", ":AMPL 1..2", "   \r\n"};
    for (const char* message : odd) EXPECT_EQ(gp_wrt("4", message), 0) << message;
    std::string long_message(100000, 'A');
    EXPECT_EQ(gp_wrt("4", long_message.c_str()), 0);
    std::string many_queries;
    for (int i = 0; i < 2000; ++i) many_queries += ":FREQ?;";
    EXPECT_EQ(gp_wrt("4", many_queries.c_str()), 0);
    std::string whole;
    char reply[256];
    while (gp_red("4", reply, sizeof reply) == 0) whole += reply;
    EXPECT_EQ(whole.rfind("+1.000000E+03;", 0), 0u);
    EXPECT_EQ(whole.back(), '\n') << "a reply too long for the instrument still ends";
    EXPECT_EQ(query(":FUNC?"), "SIN\n");
}

}  // namespace
