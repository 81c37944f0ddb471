// ON: the settings message from the panel's choices, the read-back into the monitor fields, the
// button states, and a failed settings write. Needs the instrument actions.
#include "expected_calls.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

namespace driver {
namespace {

using PanelOutputOn = PanelSession;

TEST_F(PanelOutputOn, WithTheDefaultsSendsTheSettingsAndShowsTheReadBack) {
  const auto& panel = open_panel();
  press_init();
  ASSERT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  press_output_on();

  EXPECT_EQ(panel.text(panel_id::kStatus), "") << "ON empties the status line";
  EXPECT_EQ(monitors(), (MonitorTexts{"SIN\n", "+3.000000E+00\n", "+1.000000E+03\n"}));
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(), expected::output_on_with_defaults(),
                                        {expected::release()}}));
}

struct WaveformChoice {
  int radio_id;
  const char* unit;
};

std::ostream& operator<<(std::ostream& out, const WaveformChoice& choice) { return out << choice.unit; }

class PanelWaveform : public PanelSession, public ::testing::WithParamInterface<WaveformChoice> {};

// The chosen radio button decides the waveform unit; the waveform field shows exactly what the
// instrument answered to ":FUNC?".
TEST_P(PanelWaveform, ChosenRadioButtonDecidesTheFunction) {
  const auto& panel = open_panel();
  panel.press(GetParam().radio_id);
  for (int id = panel_id::kWaveSin; id <= panel_id::kWaveDc; ++id) {
    EXPECT_EQ(panel.checked(id), id == GetParam().radio_id) << "radio button " << id;
  }
  press_init();
  press_output_on();
  const MonitorTexts shown = monitors();
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  const std::vector<std::string> calls = expected::between_bring_up_and_release(trace());
  ASSERT_EQ(calls.size(), 7u) << ::testing::PrintToString(trace());
  EXPECT_EQ(calls[0], expected::write(expected::settings(GetParam().unit, "1000.000000", "3.000000")));
  EXPECT_EQ(calls[1], expected::write(":FUNC?"));
  EXPECT_EQ(calls[2], expected::read(expected::escaped(shown.function)));
  EXPECT_EQ(calls[4], expected::read(expected::escaped(shown.amplitude)));
  EXPECT_EQ(calls[6], expected::read(expected::escaped(shown.frequency)));
}

INSTANTIATE_TEST_SUITE_P(EachWaveform, PanelWaveform,
                         ::testing::Values(WaveformChoice{panel_id::kWaveSin, "SIN"},
                                           WaveformChoice{panel_id::kWaveTri, "TRI"},
                                           WaveformChoice{panel_id::kWaveSqu, "SQU"},
                                           WaveformChoice{panel_id::kWavePuls, "PULS"},
                                           WaveformChoice{panel_id::kWaveRamp, "RAMP"},
                                           WaveformChoice{panel_id::kWaveDc, "DC"}),
                         ::testing::PrintToStringParamName());

// With no radio button checked (possible only from outside the program) the waveform is DC.
TEST_F(PanelOutputOn, NoRadioButtonCheckedMeansDirectVoltage) {
  const auto& panel = open_panel();
  SendMessageW(panel.control(panel_id::kWaveSin), BM_SETCHECK, BST_UNCHECKED, 0);
  for (int id = panel_id::kWaveSin; id <= panel_id::kWaveDc; ++id) ASSERT_FALSE(panel.checked(id));
  press_init();
  press_output_on();
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  const std::vector<std::string> calls = expected::between_bring_up_and_release(trace());
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], expected::write(expected::settings("DC", "1000.000000", "3.000000")));
}

// A failed settings write: its text in the status line, no query at all, no button changed.
TEST_F(PanelOutputOn, FailedSettingsWriteIsReportedAndNothingIsQueried) {
  SimSetup setup;
  setup.faults = "gp_wrt#1=-5";
  const auto& panel = open_panel(setup);
  press_init();
  press_output_on();

  EXPECT_EQ(panel.text(panel_id::kStatus), "gp_wrt() error : -5");
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  EXPECT_EQ(monitors(), (MonitorTexts{"", "", ""}));

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), expected::joined({expected::bring_up(),
                                        {expected::write(expected::settings("SIN", "1000.000000", "3.000000"), -5),
                                         expected::release()}}));
}

// After a failed ON the operator presses ON again, and it goes through.
TEST_F(PanelOutputOn, SucceedsOnASecondPressAfterAFailedWrite) {
  SimSetup setup;
  setup.faults = "gp_wrt#1=2147483647";
  const auto& panel = open_panel(setup);
  press_init();
  press_output_on();
  ASSERT_EQ(panel.text(panel_id::kStatus), "gp_wrt() error : 2147483647");

  press_output_on();
  EXPECT_EQ(panel.text(panel_id::kStatus), "");
  EXPECT_EQ(monitors(), (MonitorTexts{"SIN\n", "+3.000000E+00\n", "+1.000000E+03\n"}));
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

}  // namespace
}  // namespace driver
