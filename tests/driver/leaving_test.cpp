// Leaving the program by each of the three ways, in each state of the link: the instrument is handed
// back to local control exactly once, the output is never switched off on the way, the exit code is 0.
#include "expected_calls.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

#include <algorithm>

namespace driver {
namespace {

class PanelLeaving : public PanelSession, public ::testing::WithParamInterface<WayOut> {
 protected:
  static bool switches_output_off(const std::vector<std::string>& calls) {
    return std::any_of(calls.begin(), calls.end(),
                       [](const std::string& call) { return call.find(":OUTP OFF") != std::string::npos; });
  }
};

TEST_P(PanelLeaving, BeforeAnyBringUp) {
  open_panel();
  EXPECT_EQ(leave(GetParam()), 0u);
  EXPECT_EQ(trace(), std::vector<std::string>{expected::release_before_init()});
}

TEST_P(PanelLeaving, AfterAFailedBringUp) {
  SimSetup setup;
  setup.faults = "gp_init=-1";
  const auto& panel = open_panel(setup);
  press_init();
  ASSERT_EQ(panel.text(panel_id::kStatus), "gp_init() error [-1]\n");

  EXPECT_EQ(leave(GetParam()), 0u);
  EXPECT_EQ(trace(), (std::vector<std::string>{"gp_init(1, 0, 0) = -1", expected::release_before_init()}));
}

// GPIB初期化, ON and OFF disable themselves while they have the focus, and the panel does not move it:
// afterwards no control has the focus, and a key goes nowhere until the operator clicks into a
// control. So before Esc the operator clicks into the frequency entry.
void give_keys_a_place(const PanelWindow& panel, WayOut way) {
  if (way != WayOut::kEscapeKey) return;
  panel.click_into(panel_id::kFrequency);
  ASSERT_EQ(panel.focused_id(), panel_id::kFrequency);
}

TEST_P(PanelLeaving, AfterABringUp) {
  const auto& panel = open_panel();
  press_init();
  ASSERT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  give_keys_a_place(panel, GetParam());

  EXPECT_EQ(leave(GetParam()), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), {expected::release()}}));
}

// Needs the ON action.
TEST_P(PanelLeaving, WithTheOutputOn) {
  const auto& panel = open_panel();
  press_init();
  press_output_on();
  ASSERT_EQ(buttons(), kLinkUpOutputOnButtons);
  give_keys_a_place(panel, GetParam());

  EXPECT_EQ(leave(GetParam()), 0u);
  const std::vector<std::string> calls = trace();
  EXPECT_FALSE(switches_output_off(calls)) << ::testing::PrintToString(calls);
  EXPECT_EQ(calls, expected::joined({expected::bring_up(), expected::output_on_with_defaults(),
                                     {expected::release()}}));
}

INSTANTIATE_TEST_SUITE_P(EachWayOut, PanelLeaving,
                         ::testing::Values(WayOut::kExitButton, WayOut::kEscapeKey, WayOut::kCloseBox),
                         ::testing::PrintToStringParamName());

using PanelLeavingByKeyboard = PanelSession;

// With no control focused after a bring-up, Esc reaches no control: the panel stays open and nothing
// is sent, until the focus is in a control again.
TEST_F(PanelLeavingByKeyboard, EscapeWithNoFocusAfterABringUpDoesNothing) {
  const auto& panel = open_panel();
  press_init();
  ASSERT_EQ(panel.focused_id(), 0);
  panel.press_key(VK_ESCAPE);
  EXPECT_TRUE(IsWindowVisible(panel.window()));
  EXPECT_EQ(trace(), expected::bring_up());

  panel.click_into(panel_id::kAmplitude);
  EXPECT_EQ(leave(WayOut::kEscapeKey), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), {expected::release()}}));
}

}  // namespace
}  // namespace driver
