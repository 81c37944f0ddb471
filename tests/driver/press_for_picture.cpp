// For a picture of the panel beside the simulated instrument's front: finds the running program's
// panel, presses GPIB初期化 and ON as an operator would, and returns once the panel shows the
// read-back and the front its trace. Exit code 0 then, 1 when any of it does not happen in time.
//
//   press_for_picture.exe
#include "front_ids.h"
#include "front_window.h"
#include "panel_ids.h"
#include "panel_window.h"
#include "polling.h"

#include <cstdio>
#include <exception>

using namespace driver;

namespace {

constexpr char kPanelCaption[] = "QX7316 SAMPLE";

HWND wait_for_panel() {
  HWND panel = nullptr;
  wait_until(
      [&] {
        panel = FindWindowA("#32770", kPanelCaption);
        return panel != nullptr && IsWindowVisible(panel);
      },
      kStartLimit);
  return panel;
}

}  // namespace

int main() {
  try {
    HWND dialog = wait_for_panel();
    if (!dialog) {
      std::fprintf(stderr, "press_for_picture: no panel showed\n");
      return 1;
    }
    DWORD process_id = 0;
    GetWindowThreadProcessId(dialog, &process_id);
    const PanelWindow panel(dialog, process_id);
    panel.press(panel_id::kInit);
    panel.press(panel_id::kOutputOn);
    if (!wait_until([&] { return !panel.text(panel_id::kMonitorFrequency).empty(); }, kActionLimit)) {
      std::fprintf(stderr, "press_for_picture: the panel shows no read-back\n");
      return 1;
    }
    const FrontWindow front = FrontWindow::wait_for(process_id);
    const auto wave = front.settled_trace([](const FrontWindow::Trace& trace) { return trace.rows() > 4; });
    if (!front.shows_lamp(front_id::kOutputLamp, true) || !wave.settled) {
      std::fprintf(stderr, "press_for_picture: the front shows no waveform\n");
      return 1;
    }
    // Everything painted and settled: the panel as well.
    panel.wait_until_handled();
    std::printf("press_for_picture: panel and front ready\n");
    return 0;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "press_for_picture: %s\n", failure.what());
    return 1;
  }
}
