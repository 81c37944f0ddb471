// Bring-up and release of the bus link against the simulated instrument: the order of the bus calls,
// which results stop the sequence, and the status texts byte for byte.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "bus_link.h"
#include "program_values.h"
#include "sim_control.h"
#include "trace_lines.h"

namespace {

// "初期化正常終了" in code page 932.
const std::string bring_up_done = "\x8f\x89\x8a\xfa\x89\xbb\x90\xb3\x8f\xed\x8f\x49\x97\xb9";

const std::vector<std::string> full_sequence = {
    "gp_init(1, 0, 0) = 0", "gp_cli() = 0",  "gp_ren() = 0", "gp_tmout(5) = 0",
    "gp_clr(\"4\") = 0",    "gp_wait(1) = 0", "gp_llo() = 0",
};

class BusLink : public ::testing::Test {
protected:
    void SetUp() override {
        taverix_sim_reset();
        own_address = default_own_address;
    }
    void fail(const char* faults) { taverix_sim_set("TAVERIX_SIM_FAULTS", faults); }
};

TEST_F(BusLink, BringUpCallsTheSequenceInOrderAndReportsSuccess) {
    LinkResult result = bus_bring_up("4");

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.status_text, bring_up_done);
    EXPECT_STREQ(device_address, "4");
    EXPECT_EQ(sim_trace_lines(), full_sequence);
}

// Without the lockout: the same calls but gp_llo, even where gp_llo would fail.
TEST_F(BusLink, BringUpWithoutLockoutLeavesOutGpLloAlone) {
    fail("gp_llo=7");
    LinkResult result = bus_bring_up_without_lockout("4");

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.status_text, bring_up_done);
    EXPECT_EQ(sim_trace_lines(), std::vector<std::string>(full_sequence.begin(), full_sequence.end() - 1));
}

struct TestedCall {
    const char* function;
    const char* format;   // the failure text with %d where the code goes
    std::size_t calls_made;   // how many calls of the sequence happen, the failing one included
};

void PrintTo(const TestedCall& call, std::ostream* out) { *out << call.function; }

std::string formatted(const char* format, long long code) {
    std::string text = format;
    text.replace(text.find("%d"), 2, std::to_string(code));
    return text;
}

class BusLinkTestedCallFails : public BusLink,
                               public ::testing::WithParamInterface<std::tuple<TestedCall, long long>> {};

TEST_P(BusLinkTestedCallFails, StopsThereWithItsOwnText) {
    const auto& [call, code] = GetParam();
    fail((std::string(call.function) + "=" + std::to_string(code)).c_str());

    LinkResult result = bus_bring_up("4");

    EXPECT_FALSE(result.ok);
    EXPECT_EQ(std::string(result.status_text), formatted(call.format, code));
    std::vector<std::string> trace = sim_trace_lines();
    ASSERT_EQ(trace.size(), call.calls_made);
    for (std::size_t i = 0; i + 1 < trace.size(); ++i) EXPECT_EQ(trace[i], full_sequence[i]);
    EXPECT_EQ(trace.back().rfind(call.function, 0), 0u) << trace.back();
    EXPECT_NE(trace.back().find(") = " + std::to_string(code)), std::string::npos) << trace.back();
}

INSTANTIATE_TEST_SUITE_P(
    EachTestedCall, BusLinkTestedCallFails,
    ::testing::Combine(::testing::Values(TestedCall{"gp_init", "gp_init() error [%d]\n", 1},
                                         TestedCall{"gp_tmout", "gp_tmout() error [%d]", 4},
                                         TestedCall{"gp_clr", "gp_clr error [%d]\n", 5},
                                         TestedCall{"gp_llo", "gp_llo() error [%d]\n", 7}),
                       ::testing::Values(-1LL, 1LL, 7LL, static_cast<long long>(INT_MAX),
                                         static_cast<long long>(INT_MIN))),
    [](const auto& info) {
        long long code = std::get<1>(info.param);
        return std::string(std::get<0>(info.param).function) + "_" + (code < 0 ? "minus" : "") +
               std::to_string(code < 0 ? -code : code);
    });

TEST_F(BusLink, IgnoredCallsFailingDoNotStopTheSequence) {
    fail("gp_cli=-1,gp_ren=2147483647,gp_wait=-2147483648");

    LinkResult result = bus_bring_up("4");

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.status_text, bring_up_done);
    std::vector<std::string> trace = sim_trace_lines();
    ASSERT_EQ(trace.size(), full_sequence.size());
    EXPECT_EQ(trace[1], "gp_cli() = -1");
    EXPECT_EQ(trace[2], "gp_ren() = 2147483647");
    EXPECT_EQ(trace[5], "gp_wait(1) = -2147483648");
    EXPECT_EQ(trace[6], "gp_llo() = 0");
}

TEST_F(BusLink, AddressIsPassedAsTypedAndCutToElevenBytes) {
    bus_bring_up("");
    EXPECT_STREQ(device_address, "");
    ASSERT_EQ(sim_trace_calls("gp_clr(").size(), 1u);
    EXPECT_EQ(sim_trace_calls("gp_clr(")[0].rfind("gp_clr(\"\") = ", 0), 0u);

    taverix_sim_reset();
    bus_bring_up("123456789012345");
    EXPECT_STREQ(device_address, "12345678901");
    ASSERT_EQ(sim_trace_calls("gp_clr(").size(), 1u);
    EXPECT_EQ(sim_trace_calls("gp_clr(")[0].rfind("gp_clr(\"12345678901\") = ", 0), 0u);

    taverix_sim_reset();
    bus_bring_up(" 4x");
    EXPECT_STREQ(device_address, " 4x");
}

TEST_F(BusLink, NoInstrumentAtTheAddressFailsAtDeviceClearWithTheLibrarysCode) {
    LinkResult result = bus_bring_up("5");

    EXPECT_FALSE(result.ok);
    std::vector<std::string> clr = sim_trace_calls("gp_clr(");
    ASSERT_EQ(clr.size(), 1u);
    const std::string code = clr[0].substr(clr[0].rfind("= ") + 2);
    EXPECT_NE(code, "0");
    EXPECT_EQ(std::string(result.status_text), "gp_clr error [" + code + "]\n");
    EXPECT_TRUE(sim_trace_calls("gp_llo(").empty());
}

TEST_F(BusLink, RetryAfterFailureStartsAgainWithTheNewAddress) {
    EXPECT_FALSE(bus_bring_up("5").ok);
    LinkResult result = bus_bring_up("4");

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.status_text, bring_up_done);
    std::vector<std::string> inits = sim_trace_calls("gp_init(");
    EXPECT_EQ(inits.size(), 2u);
    std::vector<std::string> trace = sim_trace_lines();
    std::vector<std::string> tail(trace.end() - static_cast<long>(full_sequence.size()), trace.end());
    EXPECT_EQ(tail, full_sequence);
}

TEST_F(BusLink, FailureTextIsBuiltInTheScratchBuffer) {
    std::memset(scratch_text, 'x', sizeof scratch_text);
    fail("gp_tmout=-2147483648");

    LinkResult result = bus_bring_up("4");

    EXPECT_EQ(result.status_text, scratch_text);
    EXPECT_STREQ(scratch_text, "gp_tmout() error [-2147483648]");
    for (std::size_t i = std::strlen(scratch_text); i < sizeof scratch_text; ++i) ASSERT_EQ(scratch_text[i], '\0');
}

TEST_F(BusLink, ReleaseHandsEverythingBackToLocalOnce) {
    bus_release();
    EXPECT_EQ(sim_trace_calls("gp_lcl(").size(), 1u);
    EXPECT_EQ(sim_trace_calls("gp_lcl(")[0].rfind("gp_lcl(\"\") = ", 0), 0u);

    taverix_sim_reset();
    ASSERT_TRUE(bus_bring_up("4").ok);
    bus_release();
    std::vector<std::string> trace = sim_trace_lines();
    EXPECT_EQ(trace.back(), "gp_lcl(\"\") = 0");
    EXPECT_EQ(sim_trace_calls("gp_lcl(").size(), 1u);
}

TEST_F(BusLink, ReleaseAfterAFailedBringUpStillCallsLocal) {
    fail("gp_init=-1");
    EXPECT_FALSE(bus_bring_up("4").ok);
    bus_release();
    ASSERT_EQ(sim_trace_calls("gp_lcl(").size(), 1u);
}

}  // namespace
