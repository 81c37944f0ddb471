// The messages against the simulated QX-7316: every message we send is one it understands, and
// what it reports back reaches the caller.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "bus_link.h"
#include "instrument_messages.h"
#include "program_values.h"
#include "sim_control.h"
#include "trace_lines.h"

namespace {

struct ReadBacks {
    std::string waveform;
    std::string amplitude;
    std::string frequency;
};

void keep_read_back(ReadBack which, const char* text, void* context) {
    auto* read = static_cast<ReadBacks*>(context);
    (which == ReadBack::waveform ? read->waveform : which == ReadBack::amplitude ? read->amplitude : read->frequency) = text;
}

std::string query(const char* text) {
    std::memset(reply_text, 0, sizeof reply_text);
    instrument_query(text, reply_text, sizeof reply_text);
    return reply_text;
}

class SimulatedInstrument : public ::testing::Test {
protected:
    void SetUp() override {
        taverix_sim_reset();
        ASSERT_TRUE(bus_bring_up("4").ok);
    }
    void TearDown() override { taverix_sim_reset(); }
};

TEST_F(SimulatedInstrument, TakesEverySettingsMessageAndReportsItBack) {
    const struct {
        Waveform waveform;
        const char* name;
    } waveforms[] = {{Waveform::sin, "SIN"},   {Waveform::tri, "TRI"},   {Waveform::squ, "SQU"},
                     {Waveform::puls, "PULS"}, {Waveform::ramp, "RAMP"}, {Waveform::dc, "DC"}};
    for (const auto& w : waveforms) {
        ReadBacks read;
        const LinkResult result = output_on(w.waveform, "1d3", "2.5", keep_read_back, &read);
        ASSERT_TRUE(result.ok) << w.name << ": " << result.status_text;
        EXPECT_EQ(read.waveform, std::string(w.name) + "\n");
        EXPECT_EQ(std::strtod(read.frequency.c_str(), nullptr), 1000.0) << read.frequency;
        EXPECT_EQ(std::strtod(read.amplitude.c_str(), nullptr), 2.5) << read.amplitude;
        EXPECT_EQ(query(":OUTP?"), "1\n") << w.name;
        EXPECT_EQ(query(":OFFS:STAT?"), "0\n") << w.name;
        EXPECT_EQ(std::atoi(query(":SYST:ERR?").c_str()), 0) << w.name << ": " << reply_text;
    }
}

TEST_F(SimulatedInstrument, OutputOffSwitchesTheOutputOff) {
    ReadBacks read;
    ASSERT_TRUE(output_on(Waveform::sin, "1000", "3", keep_read_back, &read).ok);
    EXPECT_TRUE(output_off().ok);
    EXPECT_EQ(query(":OUTP?"), "0\n");
    EXPECT_EQ(std::atoi(query(":SYST:ERR?").c_str()), 0) << reply_text;
}

TEST_F(SimulatedInstrument, SelfTestVerdictFollowsTheInstrument) {
    EXPECT_EQ(self_test(), Verdict::ok);
    taverix_sim_set("TAVERIX_SIM_SELFTEST", "fail");
    EXPECT_EQ(self_test(), Verdict::ng);
}

TEST_F(SimulatedInstrument, FailedSettingsWriteSendsNoQuery) {
    taverix_sim_set("TAVERIX_SIM_FAULTS", "gp_wrt#1=-5");
    ReadBacks read;
    const LinkResult result = output_on(Waveform::sin, "1000", "3", keep_read_back, &read);
    EXPECT_FALSE(result.ok);
    EXPECT_STREQ(result.status_text, "gp_wrt() error : -5");
    EXPECT_EQ(sim_trace_calls("gp_wrt(").size(), 1u);
    EXPECT_TRUE(sim_trace_calls("gp_red(").empty());
}

}  // namespace
