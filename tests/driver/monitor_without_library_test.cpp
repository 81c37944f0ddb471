// The program beside the bus monitor with no working library behind it (the monitor's test beds
// bin/monitored-missing/ and bin/monitored-incomplete/): bring-up fails with the monitor's code and
// the panel stays usable. Runs only where QX_DRIVER_MONITOR_CODE names that code.
#include "panel_ids.h"
#include "panel_session.h"

#include <windows.h>

namespace driver {
namespace {

using PanelBehindMonitorWithoutLibrary = PanelSession;

TEST_F(PanelBehindMonitorWithoutLibrary, ShowsTheBringUpFailureAndStaysUsable) {
  char code[32] = {};
  const DWORD length = GetEnvironmentVariableA("QX_DRIVER_MONITOR_CODE", code, sizeof code);
  if (length == 0 || length >= sizeof code) GTEST_SKIP() << "not a monitor test bed (QX_DRIVER_MONITOR_CODE unset)";
  const std::string failure = std::string("gp_init() error [") + code + "]\n";

  const auto& panel = open_panel();
  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), failure);
  EXPECT_EQ(buttons(), kOpenedButtons);

  // Pressed again, the bring-up is tried anew and fails the same way.
  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), failure);
  EXPECT_EQ(buttons(), kOpenedButtons);
  EXPECT_EQ(panel.text(panel_id::kDeviceAddress), "4");

  EXPECT_EQ(leave(WayOut::kExitButton), 0u);
}

}  // namespace
}  // namespace driver
