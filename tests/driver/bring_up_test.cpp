// GPIB初期化: the bring-up sequence, its success and each tested call failing.
#include "expected_calls.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

#include <cctype>

namespace driver {
namespace {

using PanelBringUp = PanelSession;

TEST_F(PanelBringUp, SucceedsWithTheSevenCallsInOrder) {
  const auto& panel = open_panel();
  press_init();

  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  EXPECT_EQ(monitors(), (MonitorTexts{"", "", ""}));
  EXPECT_EQ(trace(), expected::bring_up());

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), {expected::release()}}));
}

TEST_F(PanelBringUp, IgnoresFailuresOfInterfaceClearRemoteEnableAndWait) {
  SimSetup setup;
  setup.faults = "gp_cli=3,gp_ren=-4,gp_wait=5";
  const auto& panel = open_panel(setup);
  press_init();

  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), (std::vector<std::string>{
                         "gp_init(1, 0, 0) = 0",
                         "gp_cli() = 3",
                         "gp_ren() = -4",
                         "gp_tmout(5) = 0",
                         "gp_clr(\"4\") = 0",
                         "gp_wait(1) = 5",
                         "gp_llo() = 0",
                         expected::release(),
                     }));
}

// A tested call that fails: its text in the status line, no later call, nothing else changed.
struct FailingCall {
  const char* fault;        // TAVERIX_SIM_FAULTS
  const char* status;       // the status line afterwards
  size_t calls_before;      // successful bring-up calls before the failing one
  const char* failed_call;  // trace line of the failing call
};

std::ostream& operator<<(std::ostream& out, const FailingCall& call) { return out << call.fault; }

class PanelBringUpFailure : public PanelSession, public ::testing::WithParamInterface<FailingCall> {};

TEST_P(PanelBringUpFailure, ShowsTheCallsTextAndStopsThere) {
  const FailingCall& failing = GetParam();
  SimSetup setup;
  setup.faults = failing.fault;
  const auto& panel = open_panel(setup);
  press_init();

  EXPECT_EQ(panel.text(panel_id::kStatus), failing.status);
  EXPECT_EQ(buttons(), kOpenedButtons);
  EXPECT_EQ(monitors(), (MonitorTexts{"", "", ""}));
  EXPECT_EQ(panel.text(panel_id::kDeviceAddress), "4");
  EXPECT_EQ(panel.text(panel_id::kOwnAddress), "1");
  EXPECT_EQ(panel.text(panel_id::kFrequency), "1000");
  EXPECT_EQ(panel.text(panel_id::kAmplitude), "3");
  EXPECT_TRUE(panel.checked(panel_id::kWaveSin));

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  std::vector<std::string> want = expected::bring_up();
  want.resize(failing.calls_before);
  want.push_back(failing.failed_call);
  want.push_back(failing.calls_before == 0 ? expected::release_before_init() : expected::release());
  EXPECT_EQ(trace(), want);
}

INSTANTIATE_TEST_SUITE_P(
    EachTestedCall, PanelBringUpFailure,
    ::testing::Values(FailingCall{"gp_init=-1", "gp_init() error [-1]\n", 0, "gp_init(1, 0, 0) = -1"},
                      FailingCall{"gp_init=2147483647", "gp_init() error [2147483647]\n", 0,
                                  "gp_init(1, 0, 0) = 2147483647"},
                      FailingCall{"gp_tmout=7", "gp_tmout() error [7]", 3, "gp_tmout(5) = 7"},
                      FailingCall{"gp_tmout=-2147483648", "gp_tmout() error [-2147483648]", 3,
                                  "gp_tmout(5) = -2147483648"},
                      FailingCall{"gp_clr=2", "gp_clr error [2]\n", 4, "gp_clr(\"4\") = 2"},
                      FailingCall{"gp_llo=-1", "gp_llo() error [-1]\n", 6, "gp_llo() = -1"},
                      FailingCall{"gp_llo=-2147483648", "gp_llo() error [-2147483648]\n", 6,
                                  "gp_llo() = -2147483648"}),
    [](const ::testing::TestParamInfo<FailingCall>& info) {
      std::string name;
      for (const char* c = info.param.fault; *c; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return name;
    });

// After a failed bring-up the operator presses again; the whole sequence runs anew from gp_init.
TEST_F(PanelBringUp, SucceedsOnASecondPressAfterAFailure) {
  SimSetup setup;
  setup.faults = "gp_clr#1=2";
  const auto& panel = open_panel(setup);

  press_init();
  ASSERT_EQ(panel.text(panel_id::kStatus), "gp_clr error [2]\n");
  ASSERT_EQ(buttons(), kOpenedButtons);

  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  std::vector<std::string> first_try = expected::bring_up();
  first_try.resize(4);
  first_try.push_back("gp_clr(\"4\") = 2");
  EXPECT_EQ(trace(), expected::joined({first_try, expected::bring_up(), {expected::release()}}));
}

// No instrument listens at the field's address (the simulated one is at 9): the device clear fails
// with the library's code, reported as usual, and the link stays down.
TEST_F(PanelBringUp, ReportsTheDeviceClearOfAnAbsentInstrument) {
  SimSetup setup;
  setup.address = "9";
  const auto& panel = open_panel(setup);
  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), "gp_clr error [3]\n");
  EXPECT_EQ(buttons(), kOpenedButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  std::vector<std::string> want = expected::bring_up();
  want.resize(4);
  want.push_back("gp_clr(\"4\") = 3");
  want.push_back(expected::release());
  EXPECT_EQ(trace(), want);
}

}  // namespace
}  // namespace driver
