// The Tab key moves through the controls in template order and never lands on a radio button.
#include "panel_ids.h"
#include "panel_session.h"

#include <algorithm>
#include <vector>

namespace driver {
namespace {

bool is_radio_button(int id) { return id >= panel_id::kWaveSin && id <= panel_id::kWaveDc; }

std::vector<int> focus_after_tab_presses(const PanelWindow& panel, int presses) {
  std::vector<int> visited;
  for (int press = 0; press < presses; ++press) {
    panel.press_key(VK_TAB);
    visited.push_back(panel.focused_id());
  }
  return visited;
}

using PanelTabOrder = PanelSession;

TEST_F(PanelTabOrder, RadioButtonsHaveNoTabStop) {
  const auto& panel = open_panel();
  for (int id = panel_id::kWaveSin; id <= panel_id::kWaveDc; ++id) {
    EXPECT_FALSE(panel.style(id) & WS_TABSTOP) << "radio button " << id << " has a tab stop";
  }
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

// From GPIB初期化 with the link down (ON, OFF and SELF TEST disabled) one round of Tab presses visits
// every enabled control with a tab stop in template order and comes back.
TEST_F(PanelTabOrder, TabGoesRoundTheEnabledControlsInTemplateOrder) {
  const auto& panel = open_panel();
  ASSERT_EQ(panel.focused_id(), panel_id::kInit);

  const std::vector<int> one_round = {
      panel_id::kStatus,           panel_id::kFrequency,         panel_id::kAmplitude,
      panel_id::kMonitorFunction,  panel_id::kMonitorFrequency,  panel_id::kMonitorAmplitude,
      panel_id::kExit,             panel_id::kDeviceAddress,     panel_id::kOwnAddress,
      panel_id::kInit,
  };
  EXPECT_EQ(focus_after_tab_presses(panel, static_cast<int>(one_round.size())), one_round);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

// Choosing a waveform with the mouse puts the focus on its radio button; Tab from there still never
// comes back to any radio button.
TEST_F(PanelTabOrder, TabNeverLandsOnARadioButtonAfterAWaveformIsChosen) {
  const auto& panel = open_panel();
  panel.press(panel_id::kWaveTri);
  ASSERT_TRUE(panel.checked(panel_id::kWaveTri));

  const std::vector<int> visited = focus_after_tab_presses(panel, 12);
  EXPECT_TRUE(std::none_of(visited.begin(), visited.end(), is_radio_button))
      << "Tab landed on a radio button: " << ::testing::PrintToString(visited);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

}  // namespace
}  // namespace driver
