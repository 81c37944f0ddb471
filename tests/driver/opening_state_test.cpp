// What the operator finds when the panel opens: defaults, button states, focus, caption.
#include "expected_calls.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"
#include "window_text.h"

namespace driver {
namespace {

using PanelOpening = PanelSession;

TEST_F(PanelOpening, ShowsTheDefaultsWithTheLinkDown) {
  const auto& panel = open_panel();

  EXPECT_EQ(panel.caption(), panel_text::kCaption);
  EXPECT_EQ(window_class(panel.window()), "#32770");
  EXPECT_EQ(panel.text(panel_id::kDeviceAddress), "4");
  EXPECT_EQ(panel.text(panel_id::kOwnAddress), "1");
  EXPECT_EQ(panel.text(panel_id::kFrequency), "1000");
  EXPECT_EQ(panel.text(panel_id::kAmplitude), "3");
  EXPECT_EQ(panel.text(panel_id::kStatus), "");
  EXPECT_EQ(monitors(), (MonitorTexts{"", "", ""}));
  EXPECT_EQ(buttons(), kOpenedButtons);
  EXPECT_TRUE(panel.enabled(panel_id::kExit));
  for (int id : {panel_id::kDeviceAddress, panel_id::kOwnAddress, panel_id::kFrequency, panel_id::kAmplitude}) {
    EXPECT_TRUE(panel.enabled(id)) << "entry " << id;
  }

  EXPECT_TRUE(panel.checked(panel_id::kWaveSin));
  for (int id = panel_id::kWaveTri; id <= panel_id::kWaveDc; ++id) {
    EXPECT_FALSE(panel.checked(id)) << "radio button " << id;
    EXPECT_TRUE(panel.enabled(id)) << "radio button " << id;
  }

  EXPECT_EQ(panel.focused_id(), panel_id::kInit);

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), std::vector<std::string>{expected::release_before_init()});
}

TEST_F(PanelOpening, HasNoWindowIconMenuOrOwner) {
  const auto& panel = open_panel();
  EXPECT_EQ(GetMenu(panel.window()), nullptr);
  EXPECT_EQ(GetWindow(panel.window(), GW_OWNER), nullptr);
  EXPECT_EQ(SendMessageW(panel.window(), WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_EQ(SendMessageW(panel.window(), WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

// Enter produces IDOK, which the program does not handle: nothing happens, no bus call is made, and
// the panel stays open.
TEST_F(PanelOpening, EnterDoesNothing) {
  const auto& panel = open_panel();
  ASSERT_EQ(panel.focused_id(), panel_id::kInit);

  panel.press_key(VK_RETURN);

  EXPECT_EQ(panel.text(panel_id::kStatus), "");
  EXPECT_EQ(buttons(), kOpenedButtons);
  EXPECT_EQ(panel.text(panel_id::kDeviceAddress), "4");
  EXPECT_TRUE(IsWindowVisible(panel.window()));
  EXPECT_EQ(trace(), std::vector<std::string>{}) << "Enter made bus calls";

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
  EXPECT_EQ(trace(), std::vector<std::string>{expected::release_before_init()});
}

}  // namespace
}  // namespace driver
