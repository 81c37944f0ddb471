// SELF TEST: the verdict box for each kind of reply, and that the panel is left as it was. Needs the
// instrument actions.
#include "expected_calls.h"
#include "message_box_window.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

namespace driver {
namespace {

struct SelfTestReply {
  const char* name;
  SimSetup setup;
  bool passes;
  const char* read_call;  // the trace line of the reply's read; nullptr when no read is made
};

std::ostream& operator<<(std::ostream& out, const SelfTestReply& reply) { return out << reply.name; }

SimSetup replying(const char* replies) {
  SimSetup setup;
  setup.replies = replies;
  return setup;
}

SimSetup with_faults(const char* faults) {
  SimSetup setup;
  setup.faults = faults;
  return setup;
}

SimSetup failing_instrument() {
  SimSetup setup;
  setup.self_test_fails = true;
  return setup;
}

SimSetup silent_instrument() {
  SimSetup setup;
  setup.never_replies = true;
  setup.timeout_ms = "10";
  return setup;
}

class PanelSelfTest : public PanelSession, public ::testing::WithParamInterface<SelfTestReply> {};

// The box: owned by the panel, caption "QX-7316", one OK button, the verdict text, the error icon
// only for NG. Closing it leaves status, monitors and buttons as they were.
TEST_P(PanelSelfTest, ShowsTheVerdictInABoxAndChangesNothing) {
  const SelfTestReply& reply = GetParam();
  const auto& panel = open_panel(reply.setup);
  press_init();

  panel.press_without_waiting(panel_id::kSelfTest);
  const MessageBoxWindow box = MessageBoxWindow::wait_for(panel.window());
  EXPECT_EQ(box.caption(), panel_text::kSelfTestBoxCaption);
  EXPECT_EQ(box.text(), reply.passes ? panel_text::kSelfTestOk : panel_text::kSelfTestNg);
  EXPECT_EQ(box.icon(), reply.passes ? "none" : "error");
  EXPECT_EQ(box.button_count(), 1);
  EXPECT_FALSE(IsWindowEnabled(panel.window())) << "the box is not modal to the panel";
  box.press_ok();
  panel.wait_until_handled();

  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  EXPECT_EQ(monitors(), (MonitorTexts{"", "", ""}));
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  const std::vector<std::string> calls = expected::between_bring_up_and_release(trace());
  std::vector<std::string> want = {expected::write("*TST?", reply.read_call ? 0 : -5)};
  if (reply.read_call) want.push_back(reply.read_call);
  EXPECT_EQ(calls, want);
}

INSTANTIATE_TEST_SUITE_P(
    EachReply, PanelSelfTest,
    ::testing::Values(SelfTestReply{"ZeroAndLineFeed", replying("*TST?=0\\n"), true, R"(gp_red("4", 256) = 0 "0\n")"},
                      SelfTestReply{"ZeroOne", replying("*TST?=01"), true, R"(gp_red("4", 256) = 0 "01")"},
                      SelfTestReply{"One", replying("*TST?=1"), false, R"(gp_red("4", 256) = 0 "1")"},
                      SelfTestReply{"BlankZero", replying("*TST?= 0"), false, R"(gp_red("4", 256) = 0 " 0")"},
                      SelfTestReply{"PlusZero", replying("*TST?=+0"), false, R"(gp_red("4", 256) = 0 "+0")"},
                      SelfTestReply{"Empty", replying("*TST?="), false, R"(gp_red("4", 256) = 0 "")"},
                      SelfTestReply{"QueryNotWritten", with_faults("gp_wrt#1=-5"), false, nullptr}),
    ::testing::PrintToStringParamName());

using PanelSelfTestRuns = PanelSession;

// With the output on, after a verdict box, the panel is still in "output on" with its read-back.
TEST_F(PanelSelfTestRuns, WithTheOutputOnAndAgain) {
  const auto& panel = open_panel();
  press_init();
  press_output_on();
  const MonitorTexts read_back = monitors();

  for (int run = 0; run < 2; ++run) {
    panel.press_without_waiting(panel_id::kSelfTest);
    const MessageBoxWindow box = MessageBoxWindow::wait_for(panel.window());
    EXPECT_EQ(box.text(), panel_text::kSelfTestOk);
    box.press_ok();
    panel.wait_until_handled();
    EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
    EXPECT_EQ(monitors(), read_back);
    EXPECT_EQ(panel.text(panel_id::kStatus), "");
  }
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

// The simulated instrument's own verdicts: a failing self test, and an instrument that never
// answers (the read times out and leaves the buffer empty). Both give NG.
TEST_F(PanelSelfTestRuns, FailingOrSilentInstrumentGivesNg) {
  for (const SimSetup& setup : {failing_instrument(), silent_instrument()}) {
    const auto& panel = open_panel(setup);
    press_init();
    panel.press_without_waiting(panel_id::kSelfTest);
    const MessageBoxWindow box = MessageBoxWindow::wait_for(panel.window());
    EXPECT_EQ(box.text(), panel_text::kSelfTestNg);
    EXPECT_EQ(box.icon(), "error");
    box.press_ok();
    EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  }
}

}  // namespace
}  // namespace driver
