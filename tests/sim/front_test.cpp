// The simulated instrument's front as its model draws it after a sequence of bus calls: texts,
// lamps, and the trace's points on the screen.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "front_model.h"
#include "front_state.h"
#include "sim_control.h"
#include "sim_fixture.h"
#include "taverix.h"

namespace {

struct Front {
    sim::FrontTexts texts;
    sim::FrontLamps lamps;
};

Front front_now() {
    sim::FrontState state;
    sim::front_capture(state);
    Front front;
    sim::front_texts(state, front.texts);
    front.lamps = sim::front_lamps(state);
    return front;
}

// The bus calls of the panel's bring-up.
void bring_up() {
    ASSERT_EQ(gp_init(1, 0, 0), 0);
    ASSERT_EQ(gp_cli(), 0);
    ASSERT_EQ(gp_ren(), 0);
    ASSERT_EQ(gp_tmout(5), 0);
    ASSERT_EQ(gp_clr("4"), 0);
    ASSERT_EQ(gp_llo(), 0);
}

class SimFront : public SimUninitialised {
protected:
    void SetUp() override {
        SimUninitialised::SetUp();
        taverix_sim_set("TAVERIX_SIM_DISPLAY", "1");
    }
};

TEST_F(SimFront, BringUpLightsRemoteAndLockoutGoingToLocalDarkensThem) {
    Front front = front_now();
    EXPECT_FALSE(front.lamps.remote || front.lamps.lockout || front.lamps.output);
    EXPECT_STREQ(front.texts.address, "GPIB address 4");
    EXPECT_STREQ(front.texts.message, "last message: none");
    EXPECT_STREQ(front.texts.reply, "last reply: none");
    EXPECT_STREQ(front.texts.errors, "errors waiting: 0");

    ASSERT_EQ(gp_init(1, 0, 0), 0);
    ASSERT_EQ(gp_ren(), 0);
    EXPECT_FALSE(front_now().lamps.remote) << "remote enable alone, not yet addressed";
    bring_up();
    front = front_now();
    EXPECT_TRUE(front.lamps.remote);
    EXPECT_TRUE(front.lamps.lockout);
    EXPECT_FALSE(front.lamps.output);

    ASSERT_EQ(gp_lcl("4"), 0);
    front = front_now();
    EXPECT_FALSE(front.lamps.remote);
    EXPECT_TRUE(front.lamps.lockout) << "going to local one instrument keeps the lockout";
    ASSERT_EQ(gp_lcl(""), 0);
    front = front_now();
    EXPECT_FALSE(front.lamps.remote || front.lamps.lockout);
}

TEST_F(SimFront, OnAndOffShowSettingsOutputLampAndTheLastExchange) {
    bring_up();
    ASSERT_EQ(gp_wrt("4", ":FUNC SQU;:FREQ 2500.000000;:OFFS:STAT OFF;:AMPL 1.500000;:OUTP ON"), 0);
    Front front = front_now();
    EXPECT_STREQ(front.texts.message, "last message: \":FUNC SQU;:FREQ 2500.000000;:OFFS:STAT OFF;:AMPL 1.500000;:OUTP ON\"");
    EXPECT_TRUE(front.lamps.output);
    EXPECT_STREQ(front.texts.waveform, "SQU");
    EXPECT_STREQ(front.texts.frequency, "+2.500000E+03 Hz");
    EXPECT_STREQ(front.texts.amplitude, "+1.500000E+00 V");
    EXPECT_STREQ(front.texts.span, "screen +5.000000E-04 s, +-10 V");

    EXPECT_EQ(query(":FREQ?"), "+2.500000E+03\n");
    front = front_now();
    EXPECT_STREQ(front.texts.message, "last message: \":FREQ?\"");
    EXPECT_STREQ(front.texts.reply, "last reply: \"+2.500000E+03\\n\"");

    ASSERT_EQ(gp_wrt("4", ":OUTP OFF"), 0);
    front = front_now();
    EXPECT_FALSE(front.lamps.output);
    EXPECT_STREQ(front.texts.message, "last message: \":OUTP OFF\"");
    EXPECT_STREQ(front.texts.reply, "last reply: \"+2.500000E+03\\n\"") << "the last reply stays";
}

// A reply read in two pieces: the front shows the piece sent last.
TEST_F(SimFront, LastReplyIsWhatTheLastReadDelivered) {
    bring_up();
    ASSERT_EQ(gp_wrt("4", "*IDN?"), 0);
    char piece[6] = {};
    ASSERT_EQ(gp_red("4", piece, sizeof piece), 0);
    EXPECT_STREQ(front_now().texts.reply, "last reply: \"QX-SI\"");
    char rest[64] = {};
    ASSERT_EQ(gp_red("4", rest, sizeof rest), 0);
    EXPECT_STREQ(front_now().texts.reply, "last reply: \"M,QX-7316,0,1.00\\n\"");
    ASSERT_EQ(gp_red("4", rest, sizeof rest), 4) << "nothing pending";
    EXPECT_STREQ(front_now().texts.reply, "last reply: \"M,QX-7316,0,1.00\\n\"");
}

// Calls the instrument did not take leave the last message as it was.
TEST_F(SimFront, MessagesNotReceivedAreNotShown) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_wrt#2=0,gp_wrt#3=-5");
    bring_up();
    ASSERT_EQ(gp_wrt("4", ":OUTP ON"), 0);
    ASSERT_EQ(gp_wrt("4", ":OUTP OFF"), 0) << "a fault reported as success";
    ASSERT_EQ(gp_wrt("4", ":OUTP OFF"), -5);
    ASSERT_NE(gp_wrt("7", ":OUTP OFF"), 0) << "nobody listens at 7";
    const Front front = front_now();
    EXPECT_STREQ(front.texts.message, "last message: \":OUTP ON\"");
    EXPECT_TRUE(front.lamps.output);
}

TEST_F(SimFront, CountsTheErrorsWaiting) {
    bring_up();
    ASSERT_EQ(gp_wrt("4", ":FREQ 0;:BOGUS"), 0);
    EXPECT_STREQ(front_now().texts.errors, "errors waiting: 2");
    EXPECT_EQ(next_error(), "-222,\"Data out of range\"");
    EXPECT_STREQ(front_now().texts.errors, "errors waiting: 1");
    ASSERT_EQ(gp_wrt("4", "*CLS"), 0);
    EXPECT_STREQ(front_now().texts.errors, "errors waiting: 0");
}

TEST_F(SimFront, ShowsTheAddressOrNoInstrument) {
    taverix_sim_set("TAVERIX_SIM_ADDRESS", "17");
    EXPECT_STREQ(front_now().texts.address, "GPIB address 17");
    taverix_sim_set("TAVERIX_SIM_ADDRESS", "x");
    EXPECT_STREQ(front_now().texts.address, "no instrument");
    taverix_sim_set("TAVERIX_SIM_ADDRESS", "0");
    EXPECT_STREQ(front_now().texts.address, "GPIB address 0");
}

// Texts are escaped exactly as in the trace line of the same call; a long one is cut the same way.
TEST_F(SimFront, MessagesAreEscapedAsTheTraceEscapesThem) {
    bring_up();
    const char message[] = "a\"b\\c\td\r\n\x01\x7f\xc3\xa9";
    ASSERT_EQ(gp_wrt("4", message), 0);
    const std::string escaped = R"("a\"b\\c\td\r\n\x01\x7f\xc3\xa9")";
    EXPECT_EQ(std::string(front_now().texts.message), "last message: " + escaped);
    char trace[65536];
    taverix_sim_trace(trace, sizeof trace);
    EXPECT_NE(std::string(trace).find("gp_wrt(\"4\", " + escaped + ") = 0"), std::string::npos);

    char cut[16];
    sim::front_escape("\x01\x02\x03\x04", 4, false, cut, sizeof cut);
    EXPECT_STREQ(cut, R"("\x01\x02"...)") << "cut after the last whole escape";
    sim::front_escape("abcdefghijklm", 13, false, cut, sizeof cut);
    EXPECT_STREQ(cut, R"("abcdefghijklm")") << "fits exactly";
    sim::front_escape("abc", 3, true, cut, sizeof cut);
    EXPECT_STREQ(cut, R"("abc"...)") << "more followed";
    const std::string long_message(1000, 'x');
    ASSERT_EQ(gp_wrt("4", long_message.c_str()), 0);
    const std::string shown = front_now().texts.message;
    EXPECT_EQ(shown.substr(shown.size() - 4), "\"...");
    EXPECT_LT(shown.size(), sim::front_text_capacity + 16);
}

// ---- the trace on the screen ----

sim::FrontState state_of(sim::Waveform waveform, double frequency, double amplitude, bool output_on = true) {
    sim::FrontState state{};
    state.waveform = waveform;
    state.frequency = frequency;
    state.amplitude = amplitude;
    state.output_on = output_on;
    return state;
}

std::vector<sim::FrontPoint> trace_of(const sim::FrontState& state, int width = 200, int height = 101) {
    std::vector<sim::FrontPoint> points(static_cast<std::size_t>(width));
    points.resize(static_cast<std::size_t>(sim::front_trace(state, width, height, points.data(), width)));
    return points;
}

std::vector<int> heights(const std::vector<sim::FrontPoint>& points) {
    std::vector<int> ys;
    for (const auto& p : points) ys.push_back(p.y);
    return ys;
}

// Upward crossings of the middle line: one per period of a sine starting at zero.
int rising_crossings(const std::vector<sim::FrontPoint>& points, int middle) {
    int count = 0;
    for (std::size_t i = 1; i < points.size(); ++i) {
        if (points[i - 1].y >= middle && points[i].y < middle) ++count;
    }
    return count;
}

TEST(FrontScreen, OneToTwoPeriodsAcrossTheScreenAtEveryFrequency) {
    EXPECT_DOUBLE_EQ(sim::front_time_span(1000), 1e-3);
    EXPECT_DOUBLE_EQ(sim::front_time_span(400), 2.5e-3);
    EXPECT_DOUBLE_EQ(sim::front_time_span(300), 5e-3);
    EXPECT_DOUBLE_EQ(sim::front_time_span(1001), 1e-3);
    EXPECT_DOUBLE_EQ(sim::front_time_span(30e6), 5e-8);
    EXPECT_DOUBLE_EQ(sim::front_time_span(1e-6), 1e6);
    for (double frequency = 1e-6; frequency <= 30e6; frequency *= 1.0371) {
        const double periods = sim::front_time_span(frequency) * frequency;
        ASSERT_GE(periods, 1.0 - 1e-9) << frequency;
        ASSERT_LE(periods, 2.0 + 1e-9) << frequency;
    }
}

TEST(FrontScreen, SineIsDrawnToScale) {
    // 3 V on a screen of ±10 V, 101 pixels high: ±15 pixels around the middle row 50.
    const auto points = trace_of(state_of(sim::Waveform::sine, 1000, 3));
    ASSERT_EQ(points.size(), 200u);
    EXPECT_EQ(points.front().x, 0);
    EXPECT_EQ(points.back().x, 199);
    EXPECT_EQ(points.front().y, 50);
    const auto ys = heights(points);
    EXPECT_EQ(*std::min_element(ys.begin(), ys.end()), 35);
    EXPECT_EQ(*std::max_element(ys.begin(), ys.end()), 65);
    EXPECT_EQ(points[50].y, 35) << "the peak a quarter period in";
    EXPECT_EQ(points[150].y, 65);

    EXPECT_EQ(rising_crossings(points, 50), 1) << "one period";

    // 1500 Hz on a 1 ms screen: one and a half periods.
    const auto faster = trace_of(state_of(sim::Waveform::sine, 1500, 3));
    EXPECT_EQ(rising_crossings(faster, 50), 2);
    EXPECT_EQ(faster[100].y, 65) << "three quarter periods at the middle of the screen";
    EXPECT_LT(faster[140].y, 50) << "past the second rising crossing";
    const auto full = trace_of(state_of(sim::Waveform::sine, 1000, 10));
    EXPECT_EQ(heights(full)[50], 0) << "10 V reaches the top edge";
}

TEST(FrontScreen, EachWaveformHasItsShape) {
    const auto square = heights(trace_of(state_of(sim::Waveform::square, 1000, 5)));
    EXPECT_EQ(std::count(square.begin(), square.end(), 25), 100);
    EXPECT_EQ(std::count(square.begin(), square.end(), 75), 100);

    const auto pulse = heights(trace_of(state_of(sim::Waveform::pulse, 1000, 5)));
    EXPECT_EQ(std::count(pulse.begin(), pulse.end(), 25), 40) << "high a fifth of the period";
    EXPECT_EQ(std::count(pulse.begin(), pulse.end(), 50), 160);

    const auto ramp = heights(trace_of(state_of(sim::Waveform::ramp, 1000, 5)));
    EXPECT_EQ(ramp.front(), 75);
    EXPECT_TRUE(std::is_sorted(ramp.rbegin(), ramp.rend())) << "rises across the one period";
    EXPECT_LE(ramp.back(), 26);

    const auto triangle = heights(trace_of(state_of(sim::Waveform::triangle, 1000, 5)));
    EXPECT_EQ(triangle[0], 50);
    EXPECT_EQ(triangle[50], 25);
    EXPECT_EQ(triangle[100], 50);
    EXPECT_EQ(triangle[150], 75);

    const auto dc = heights(trace_of(state_of(sim::Waveform::dc, 1000, 2)));
    EXPECT_EQ(std::count(dc.begin(), dc.end(), 40), 200) << "+2 V all across";
}

TEST(FrontScreen, FlatOnTheMiddleLineWhenTheOutputIsOff) {
    for (auto waveform : {sim::Waveform::sine, sim::Waveform::square, sim::Waveform::dc}) {
        const auto ys = heights(trace_of(state_of(waveform, 1000, 10, false)));
        EXPECT_EQ(std::count(ys.begin(), ys.end(), 50), 200);
    }
}

TEST(FrontScreen, PointsStopAtTheCapacityGiven) {
    sim::FrontPoint points[8];
    EXPECT_EQ(sim::front_trace(state_of(sim::Waveform::sine, 1000, 3), 200, 101, points, 8), 8);
    EXPECT_EQ(sim::front_trace(state_of(sim::Waveform::sine, 1000, 3), 0, 101, points, 8), 0);
}

}  // namespace
