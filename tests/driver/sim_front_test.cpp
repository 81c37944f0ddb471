// The simulated instrument's front (TAVERIX_SIM_DISPLAY=1) beside the panel: its window appears at
// the first bus call, and its texts, lamps and screen follow what the panel does to the instrument.
#include "front_ids.h"
#include "front_window.h"
#include "message_box_window.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

namespace driver {
namespace {

using SimulatedFront = PanelSession;

SimSetup with_front(const char* address = "") {
  SimSetup setup;
  setup.front_display = true;
  setup.address = address;
  return setup;
}

DWORD process_of(const PanelWindow& panel) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(panel.window(), &process_id);
  return process_id;
}

TEST_F(SimulatedFront, FollowsBringUpOnOffAndSelfTest) {
  const auto& panel = open_panel(with_front());
  panel.wait_until_handled();
  EXPECT_EQ(find_front_window(process_of(panel)), nullptr) << "no bus call yet, no window";

  press_init();
  ASSERT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  const FrontWindow front = FrontWindow::wait_for(process_of(panel));
  EXPECT_TRUE(front.shows_lamp(front_id::kRemoteLamp, true));
  EXPECT_TRUE(front.shows_lamp(front_id::kLockoutLamp, true));
  EXPECT_FALSE(front.lit(front_id::kOutputLamp));
  EXPECT_EQ(front.text(front_id::kAddress), "GPIB address 4");
  EXPECT_EQ(front.text(front_id::kMessage), "last message: none");
  EXPECT_EQ(front.text(front_id::kErrors), "errors waiting: 0");

  press_output_on();
  EXPECT_TRUE(front.shows_lamp(front_id::kOutputLamp, true));
  EXPECT_TRUE(front.shows(front_id::kReply, "last reply: \"+1.000000E+03\\n\""));
  EXPECT_EQ(front.text(front_id::kMessage), "last message: \":FREQ?\"");
  EXPECT_EQ(front.text(front_id::kWaveform), "SIN");
  EXPECT_EQ(front.text(front_id::kFrequency), "+1.000000E+03 Hz");
  EXPECT_EQ(front.text(front_id::kAmplitude), "+3.000000E+00 V");
  EXPECT_EQ(front.text(front_id::kSpan), "screen +1.000000E-03 s, +-10 V");
  EXPECT_EQ(monitors(), (MonitorTexts{"SIN\n", "+3.000000E+00\n", "+1.000000E+03\n"}));

  press_output_off();
  EXPECT_TRUE(front.shows_lamp(front_id::kOutputLamp, false));
  EXPECT_TRUE(front.shows(front_id::kMessage, "last message: \":OUTP OFF\""));
  EXPECT_TRUE(front.lit(front_id::kRemoteLamp));

  panel.press_without_waiting(panel_id::kSelfTest);
  const MessageBoxWindow box = MessageBoxWindow::wait_for(panel.window());
  EXPECT_EQ(box.text(), panel_text::kSelfTestOk);
  EXPECT_TRUE(front.shows(front_id::kReply, "last reply: \"0\\n\""));
  EXPECT_EQ(front.text(front_id::kMessage), "last message: \"*TST?\"");
  box.press_ok();

  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

// The screen as a picture: the sine after ON, 3 V of ±10 V high and across the whole screen; a
// flat line after OFF.
TEST_F(SimulatedFront, ScreenShowsTheSineAfterOnAndAFlatLineAfterOff) {
  const auto& panel = open_panel(with_front());
  press_init();
  const FrontWindow front = FrontWindow::wait_for(process_of(panel));
  press_output_on();
  ASSERT_TRUE(front.shows_lamp(front_id::kOutputLamp, true));

  const auto wave = front.settled_trace([](const FrontWindow::Trace& trace) { return trace.rows() > 4; });
  ASSERT_TRUE(wave.settled) << "rows " << wave.trace.rows();
  const auto& sine = wave.trace;
  EXPECT_GE(sine.columns_with_trace, sine.width * 9 / 10);
  // ±3 V of ±10 V: 30 % of the screen's height, plus the pen's width.
  EXPECT_GE(sine.rows(), sine.height * 25 / 100) << "top " << sine.top_row << ", bottom " << sine.bottom_row;
  EXPECT_LE(sine.rows(), sine.height * 36 / 100) << "top " << sine.top_row << ", bottom " << sine.bottom_row;
  const int middle = sine.height / 2;
  EXPECT_NEAR((sine.top_row + sine.bottom_row) / 2, middle, 3) << "centred on 0 V";

  press_output_off();
  ASSERT_TRUE(front.shows_lamp(front_id::kOutputLamp, false));
  const auto off = front.settled_trace([](const FrontWindow::Trace& trace) { return trace.rows() <= 4; });
  ASSERT_TRUE(off.settled) << "rows " << off.trace.rows();
  EXPECT_GE(off.trace.columns_with_trace, off.trace.width * 9 / 10);
  EXPECT_NEAR(off.trace.top_row, middle, 3);

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

// An entry the instrument refuses leaves an error in its queue; the front counts it, and shows the
// address the instrument listens at.
TEST_F(SimulatedFront, CountsTheErrorOfARefusedFrequency) {
  const auto& panel = open_panel(with_front());
  panel.retype(panel_id::kFrequency, "0");
  press_init();
  press_output_on();
  const FrontWindow front = FrontWindow::wait_for(process_of(panel));
  EXPECT_TRUE(front.shows(front_id::kErrors, "errors waiting: 1"));
  EXPECT_EQ(front.text(front_id::kFrequency), "+1.000000E+03 Hz") << "the frequency it had";
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

TEST_F(SimulatedFront, InstrumentAtAnotherAddressStaysLocal) {
  const auto& panel = open_panel(with_front("7"));
  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), "gp_clr error [3]\n");
  const FrontWindow front = FrontWindow::wait_for(process_of(panel));
  EXPECT_TRUE(front.shows(front_id::kAddress, "GPIB address 7"));
  EXPECT_FALSE(front.lit(front_id::kRemoteLamp));
  EXPECT_FALSE(front.lit(front_id::kLockoutLamp));
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

}  // namespace
}  // namespace driver
