// Pictures of the panel for a person to look at: as it opens, and after ON with the read-back. They
// go to screenshots/ beside the build's bin/ folder as BMP files; the test script turns them into PNG.
// A picture must show what the panel shows: its monitor fields hold text exactly when the panel's
// monitors do.
#include "panel_ids.h"
#include "panel_session.h"
#include "running_program.h"
#include "screen_capture.h"

#include <set>

namespace driver {
namespace {

std::wstring screenshot_path(const wchar_t* name) {
  const std::wstring folder = driver_directory() + L"..\\screenshots\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder + name;
}

// How many colours the picture shows inside a control, its border left out: one for an empty field,
// more once text is drawn in it.
size_t colours_inside(const ScreenPicture& picture, HWND control) {
  RECT inside{};
  GetClientRect(control, &inside);
  MapWindowPoints(control, HWND_DESKTOP, reinterpret_cast<POINT*>(&inside), 2);
  InflateRect(&inside, -1, -1);
  std::set<std::uint32_t> colours;
  for (int y = inside.top; y < inside.bottom; ++y) {
    for (int x = inside.left; x < inside.right; ++x) colours.insert(picture.at(x, y));
  }
  return colours.size();
}

constexpr int kMonitors[] = {panel_id::kMonitorFunction, panel_id::kMonitorAmplitude, panel_id::kMonitorFrequency};

using PanelScreenshots = PanelSession;

TEST_F(PanelScreenshots, OpenedPanelAndReadBackAfterOn) {
  const auto& panel = open_panel();
  const ScreenPicture opened = window_picture(panel.window());
  save_bmp(opened, screenshot_path(L"panel-opened.bmp"));
  for (int id : kMonitors) EXPECT_EQ(colours_inside(opened, panel.control(id)), 1u) << "monitor " << id << " is empty";

  press_init();
  press_output_on();
  ASSERT_EQ(monitors(), (MonitorTexts{"SIN\n", "+3.000000E+00\n", "+1.000000E+03\n"}));
  const ScreenPicture on = window_picture(panel.window());
  save_bmp(on, screenshot_path(L"panel-output-on.bmp"));
  for (int id : kMonitors) EXPECT_GT(colours_inside(on, panel.control(id)), 1u) << "monitor " << id << " shows text";

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

}  // namespace
}  // namespace driver
