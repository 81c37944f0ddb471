// Pictures of the panel for a person to look at: as it opens, and after ON with the read-back. They
// go to screenshots/ beside the build's bin/ folder as BMP files; the test script turns them into PNG.
#include "panel_ids.h"
#include "panel_session.h"
#include "running_program.h"
#include "screen_capture.h"

namespace driver {
namespace {

std::wstring screenshot_path(const wchar_t* name) {
  const std::wstring folder = driver_directory() + L"..\\screenshots\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + name;
}

using PanelScreenshots = PanelSession;

TEST_F(PanelScreenshots, OpenedPanelAndReadBackAfterOn) {
  const auto& panel = open_panel();
  panel.wait_until_handled();
  save_window_picture(panel.window(), screenshot_path(L"panel-opened.bmp"));

  press_init();
  press_output_on();
  ASSERT_EQ(monitors(), (MonitorTexts{"SIN\n", "+3.000000E+00\n", "+1.000000E+03\n"}));
  save_window_picture(panel.window(), screenshot_path(L"panel-output-on.bmp"));

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

}  // namespace
}  // namespace driver
