#include "front_window.h"

#include "front_ids.h"
#include "polling.h"
#include "screen_capture.h"
#include "window_search.h"
#include "window_text.h"

#include <stdexcept>
#include <vector>

namespace driver {

HWND find_front_window(DWORD process_id) {
  return find_top_level_window([process_id](HWND window) {
    return window_process(window) == process_id && window_text(window) == front_id::kCaption;
  });
}

FrontWindow FrontWindow::wait_for(DWORD process_id) {
  HWND found = nullptr;
  const bool shown = wait_until(
      [&] {
        found = find_front_window(process_id);
        return found != nullptr && IsWindowVisible(found);
      },
      kActionLimit);
  if (!shown) throw std::runtime_error("the simulated instrument's window did not show");
  return FrontWindow(found);
}

std::string FrontWindow::text(int id) const {
  HWND control = GetDlgItem(window_, id);
  if (!control) throw std::runtime_error("the front window has no control " + std::to_string(id));
  return window_text(control);
}

bool FrontWindow::lit(int id) const {
  HWND control = GetDlgItem(window_, id);
  if (!control) throw std::runtime_error("the front window has no lamp " + std::to_string(id));
  return IsWindowEnabled(control) != FALSE;
}

bool FrontWindow::shows(int id, const std::string& expected) const {
  return wait_until([&] { return text(id) == expected; }, kActionLimit);
}

bool FrontWindow::shows_lamp(int id, bool expected) const {
  return wait_until([&] { return lit(id) == expected; }, kActionLimit);
}

// The settled screen, reduced to where the trace runs.
FrontWindow::Trace FrontWindow::screen_trace() const {
  HWND screen = GetDlgItem(window_, front_id::kScreen);
  if (!screen) throw std::runtime_error("the front window has no screen");
  RECT client{};
  GetClientRect(screen, &client);
  POINT corner{0, 0};
  ClientToScreen(screen, &corner);
  const int width = client.right;
  const int height = client.bottom;
  const std::vector<std::uint32_t> pixels =
      settled_screen_picture({corner.x, corner.y, corner.x + width, corner.y + height}, kActionLimit).pixels;

  Trace trace{0, height, -1, width, height};
  for (int x = 0; x < width; ++x) {
    bool column = false;
    for (int y = 0; y < height; ++y) {
      if (pixels[static_cast<size_t>(y) * width + x] != front_id::kTraceRgb) continue;
      column = true;
      if (y < trace.top_row) trace.top_row = y;
      if (y > trace.bottom_row) trace.bottom_row = y;
    }
    if (column) ++trace.columns_with_trace;
  }
  return trace;
}

bool FrontWindow::same(const Trace& a, const Trace& b) {
  return a.columns_with_trace == b.columns_with_trace && a.top_row == b.top_row && a.bottom_row == b.bottom_row &&
         a.width == b.width && a.height == b.height;
}

}  // namespace driver
