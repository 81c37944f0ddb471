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

TEST_P(PanelLeaving, AfterABringUp) {
  const auto& panel = open_panel();
  press_init();
  ASSERT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);

  EXPECT_EQ(leave(GetParam()), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), {expected::release()}}));
}

// Needs the ON action.
TEST_P(PanelLeaving, WithTheOutputOn) {
  open_panel();
  press_init();
  press_output_on();
  ASSERT_EQ(buttons(), kLinkUpOutputOnButtons);

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

// GPIB初期化 disables itself while it has the focus, so after a bring-up no control has the focus
// until the operator clicks into one; with the focus in an entry, Esc leaves.
TEST_F(PanelLeavingByKeyboard, EscapeFromAnEntryAfterABringUp) {
  const auto& panel = open_panel();
  press_init();
  ASSERT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  panel.click_into(panel_id::kFrequency);
  ASSERT_EQ(panel.focused_id(), panel_id::kFrequency);

  EXPECT_EQ(leave(WayOut::kEscapeKey), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), {expected::release()}}));
}

}  // namespace
}  // namespace driver
