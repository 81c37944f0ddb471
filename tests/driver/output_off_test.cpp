// OFF: the output-off message, the emptied monitor fields, and the status rule: a failed OFF's text
// stays after a successful retry and only the next ON empties it. Needs the instrument actions.
#include "expected_calls.h"
#include "message_box_window.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

namespace driver {
namespace {

using PanelOutputOff = PanelSession;

TEST_F(PanelOutputOff, SwitchesTheOutputOffAndEmptiesTheMonitorFields) {
  const auto& panel = open_panel();
  press_init();
  press_output_on();
  ASSERT_EQ(buttons(), kLinkUpOutputOnButtons);
  press_output_off();

  EXPECT_EQ(monitors(), (MonitorTexts{"", "", ""}));
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  EXPECT_EQ(panel.text(panel_id::kStatus), "");
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), expected::output_on_with_defaults(),
                                        {expected::write(":OUTP OFF"), expected::release()}}));
}

TEST_F(PanelOutputOff, FailedOffTextStaysAfterARetryUntilTheNextOn) {
  SimSetup setup;
  setup.faults = "gp_wrt#5=-3";  // settings, three queries, then the first ":OUTP OFF"
  const auto& panel = open_panel(setup);
  press_init();
  press_output_on();
  const MonitorTexts read_back = monitors();
  ASSERT_EQ(read_back, (MonitorTexts{"SIN\n", "+3.000000E+00\n", "+1.000000E+03\n"}));

  press_output_off();
  EXPECT_EQ(panel.text(panel_id::kStatus), "gp_wrt() error : -3");
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons) << "a failed OFF changes no button";
  EXPECT_EQ(monitors(), read_back) << "a failed OFF keeps the monitor fields";

  press_output_off();
  EXPECT_EQ(panel.text(panel_id::kStatus), "gp_wrt() error : -3") << "OFF does not empty the status line";
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  EXPECT_EQ(monitors(), (MonitorTexts{"", "", ""}));

  press_output_on();
  EXPECT_EQ(panel.text(panel_id::kStatus), "") << "ON empties the status line";
  EXPECT_EQ(monitors(), read_back);
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), expected::output_on_with_defaults(),
                                        {expected::write(":OUTP OFF", -3), expected::write(":OUTP OFF")},
                                        expected::output_on_with_defaults(), {expected::release()}}));
}

// The bring-up's success text stays in the status line through a self test and only ON empties it.
TEST_F(PanelOutputOff, InitialisationTextStaysUntilTheFirstOn) {
  const auto& panel = open_panel();
  press_init();
  panel.press_without_waiting(panel_id::kSelfTest);
  MessageBoxWindow::wait_for(panel.window()).press_ok();
  panel.wait_until_handled();
  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);

  press_output_on();
  EXPECT_EQ(panel.text(panel_id::kStatus), "");
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

// A press with the mouse puts the focus on the pressed button; ON and OFF then disable themselves and
// do not hand the focus to another control, so no control has it.
TEST_F(PanelOutputOff, OnAndOffDoNotMoveTheFocus) {
  const auto& panel = open_panel();
  press_init();
  press_output_on();
  EXPECT_EQ(panel.focused_id(), 0);
  press_output_off();
  EXPECT_EQ(panel.focused_id(), 0);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

}  // namespace
}  // namespace driver
