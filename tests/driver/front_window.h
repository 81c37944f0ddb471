// The simulated instrument's front window inside the running program, read from outside: texts of
// its controls, its lamps, and the trace on its screen as the screen shows it.
#pragma once

#include <windows.h>

#include "polling.h"

#include <string>

namespace driver {

// The process's window captioned "QX-7316 (simulated)", or null when it has none (now).
HWND find_front_window(DWORD process_id);

class FrontWindow {
 public:
  // Waits for the window to be visible; throws when it does not show within the action limit.
  static FrontWindow wait_for(DWORD process_id);

  HWND window() const { return window_; }
  std::string text(int id) const;
  bool lit(int id) const;

  // Waits until control id shows text / lamp id is lit or dark; false when it does not within the
  // action limit (the window takes the bus calls' state in its own time).
  bool shows(int id, const std::string& text) const;
  bool shows_lamp(int id, bool lit) const;

  // Where the screen's trace runs: how many columns hold a trace pixel, the topmost and lowest row
  // with one, and the screen's size.
  struct Trace {
    int columns_with_trace, top_row, bottom_row, width, height;
    int rows() const { return bottom_row >= top_row ? bottom_row - top_row + 1 : 0; }
  };
  // Captures the screen until two captures in a row agree on a trace that is wanted (the window
  // paints in its own time); settled tells whether that happened within the action limit, trace is
  // the last capture's either way.
  struct Settled {
    bool settled;
    Trace trace;
  };
  template <typename Wanted>
  Settled settled_trace(Wanted wanted) const {
    Settled last{false, {}};
    bool before = false;
    Trace previous{};
    last.settled = wait_until(
        [&] {
          last.trace = screen_trace();
          const bool agree = before && same(last.trace, previous) && wanted(last.trace);
          previous = last.trace;
          before = true;
          return agree;
        },
        kActionLimit);
    return last;
  }

 private:
  explicit FrontWindow(HWND window) : window_(window) {}
  Trace screen_trace() const;
  static bool same(const Trace& a, const Trace& b);
  HWND window_;
};

}  // namespace driver
