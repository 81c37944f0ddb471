// The exchanges with the instrument, call by call, against the recording stand-in.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_bus.h"
#include "instrument_messages.h"
#include "program_values.h"

namespace {

using Lines = std::vector<std::string>;

const std::string default_settings = ":FUNC SIN;:FREQ 1000.000000;:OFFS:STAT OFF;:AMPL 3.000000;:OUTP ON";

const char* read_back_name(ReadBack which) {
    switch (which) {
        case ReadBack::waveform: return "waveform";
        case ReadBack::amplitude: return "amplitude";
        case ReadBack::frequency: return "frequency";
    }
    return "?";
}

// Logs each read-back among the bus calls, with the text as handed over and whether it is
// reply_text itself.
void log_read_back(ReadBack which, const char* text, void* context) {
    ++*static_cast<int*>(context);
    fake_bus_note(std::string("shown ") + read_back_name(which) + " \"" + text + '"' +
                  (text == reply_text ? "" : " (not reply_text)"));
}

std::string wrt(const std::string& message) { return "gp_wrt(\"4\", \"" + message + "\")"; }
const std::string red = "gp_red(\"4\", 256)";

class Exchange : public ::testing::Test {
protected:
    void SetUp() override {
        fake_bus_reset();
        std::strcpy(device_address, "4");
    }
};

TEST_F(Exchange, OutputOnWritesTheSettingsThenReadsBackEachInTurn) {
    fake_bus_reply(1, "SIN\n");
    fake_bus_reply(2, "+3.0000E+00\n");
    fake_bus_reply(3, "+1.0000E+03\n");
    int shown = 0;
    const LinkResult result = output_on(Waveform::sin, "1000", "3", log_read_back, &shown);
    EXPECT_TRUE(result.ok);
    EXPECT_STREQ(result.status_text, "");
    EXPECT_EQ(shown, 3);
    EXPECT_EQ(fake_bus_log(), (Lines{wrt(default_settings),
                                     wrt(":FUNC?"), red, "shown waveform \"SIN\n\"",
                                     wrt(":AMPL?"), red, "shown amplitude \"+3.0000E+00\n\"",
                                     wrt(":FREQ?"), red, "shown frequency \"+1.0000E+03\n\""}));
}

TEST_F(Exchange, OutputOnUsesTheAddressAsStored) {
    std::strcpy(device_address, "12");
    int shown = 0;
    output_on(Waveform::dc, "0", "1", log_read_back, &shown);
    ASSERT_EQ(fake_bus_log().size(), 10u);
    EXPECT_EQ(fake_bus_log()[0].substr(0, 19), "gp_wrt(\"12\", \":FUNC");
    EXPECT_EQ(fake_bus_log()[2], "gp_red(\"12\", 256)");
}

TEST_F(Exchange, FailedSettingsWriteIsReportedAndNothingIsRead) {
    fake_bus_fail_write(1, -5);
    int shown = 0;
    const LinkResult result = output_on(Waveform::sin, "1000", "3", log_read_back, &shown);
    EXPECT_FALSE(result.ok);
    EXPECT_STREQ(result.status_text, "gp_wrt() error : -5");
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(fake_bus_log(), (Lines{wrt(default_settings)}));

    fake_bus_reset();
    fake_bus_fail_write(1, 2147483647);
    EXPECT_STREQ(output_on(Waveform::sin, "1000", "3", log_read_back, &shown).status_text,
                 "gp_wrt() error : 2147483647");
}

TEST_F(Exchange, RefusedSettingsAreNeverSent) {
    int shown = 0;
    LinkResult result = output_on(Waveform::sin, "1e400", "3", log_read_back, &shown);
    EXPECT_FALSE(result.ok);
    EXPECT_STREQ(result.status_text, "frequency out of range");
    result = output_on(Waveform::sin, "1000", "1e250", log_read_back, &shown);
    EXPECT_FALSE(result.ok);
    EXPECT_STREQ(result.status_text, "amplitude out of range");
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(fake_bus_log().empty());
}

TEST_F(Exchange, FailedQueryWriteGivesAnEmptyReadBackAndTheOthersFollow) {
    fake_bus_reply(1, "SIN\n");
    fake_bus_reply(2, "+1.0000E+03\n");
    fake_bus_fail_write(3, -7);   // the second query, ":AMPL?"
    int shown = 0;
    const LinkResult result = output_on(Waveform::sin, "1000", "3", log_read_back, &shown);
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(fake_bus_log(), (Lines{wrt(default_settings),
                                     wrt(":FUNC?"), red, "shown waveform \"SIN\n\"",
                                     wrt(":AMPL?"), "shown amplitude \"\"",
                                     wrt(":FREQ?"), red, "shown frequency \"+1.0000E+03\n\""}));
}

TEST_F(Exchange, FailedReadShowsWhatTheLibraryLeft) {
    fake_bus_reply(1, "SI", -3);
    int shown = 0;
    output_on(Waveform::sin, "1000", "3", log_read_back, &shown);
    ASSERT_EQ(fake_bus_log().size(), 10u);
    EXPECT_EQ(fake_bus_log()[3], "shown waveform \"SI\"");
    EXPECT_EQ(fake_bus_log()[6], "shown amplitude \"\"");
}

TEST_F(Exchange, ReplyFillingTheWholeBufferEndsAtItsLastByte) {
    fake_bus_reply(1, std::string(300, 'A'));
    int shown = 0;
    output_on(Waveform::sin, "1000", "3", log_read_back, &shown);
    ASSERT_EQ(fake_bus_log().size(), 10u);
    EXPECT_EQ(fake_bus_log()[3], "shown waveform \"" + std::string(255, 'A') + '"');

    // Directly, into a small buffer with guard bytes after it.
    fake_bus_reset();
    fake_bus_reply(1, "ABCDEFGHIJ");
    struct {
        char reply[8];
        char guard[8];
    } area;
    std::memset(&area, 0, sizeof area);
    std::memset(area.guard, 'G', sizeof area.guard);
    instrument_query("*IDN?", area.reply, sizeof area.reply);
    EXPECT_STREQ(area.reply, "ABCDEFG");
    EXPECT_EQ(std::string(area.guard, sizeof area.guard), "GGGGGGGG");
    EXPECT_EQ(fake_bus_log(), (Lines{wrt("*IDN?"), "gp_red(\"4\", 8)"}));
}

TEST_F(Exchange, OutputOffSendsOnlyItsMessage) {
    std::memset(command_text, 'X', sizeof command_text - 1);   // a longer message before it
    const LinkResult result = output_off();
    EXPECT_TRUE(result.ok);
    EXPECT_STREQ(result.status_text, "");
    EXPECT_EQ(fake_bus_log(), (Lines{wrt(":OUTP OFF")}));
}

TEST_F(Exchange, OutputOffFailureNamesTheWriteAndItsCode) {
    fake_bus_fail_write(1, -3);
    const LinkResult result = output_off();
    EXPECT_FALSE(result.ok);
    EXPECT_STREQ(result.status_text, "gp_wrt() error : -3");
    EXPECT_EQ(fake_bus_log(), (Lines{wrt(":OUTP OFF")}));
}

TEST_F(Exchange, SelfTestPassesOnlyWhenTheReplyStartsWithZero) {
    const struct {
        const char* reply;
        Verdict verdict;
    } cases[] = {{"0\n", Verdict::ok}, {"01", Verdict::ok}, {"0", Verdict::ok},  {"1", Verdict::ng},
                 {" 0", Verdict::ng},  {"+0", Verdict::ng}, {"", Verdict::ng},  {"\n0", Verdict::ng}};
    for (const auto& c : cases) {
        fake_bus_reset();
        fake_bus_reply(1, c.reply);
        EXPECT_EQ(self_test(), c.verdict) << "reply \"" << c.reply << '"';
        EXPECT_EQ(fake_bus_log(), (Lines{wrt("*TST?"), red}));
    }
}

TEST_F(Exchange, SelfTestWithAFailedWriteIsNgEvenAfterAPassingReply) {
    std::strcpy(reply_text, "0");   // left from an earlier exchange
    fake_bus_fail_write(1, -1);
    EXPECT_EQ(self_test(), Verdict::ng);
    EXPECT_EQ(fake_bus_log(), (Lines{wrt("*TST?")}));
}

}  // namespace
