// A message box that the program shows, found and worked from outside.
#pragma once

#include <windows.h>

#include <string>

namespace driver {

class MessageBoxWindow {
 public:
  // Waits for a visible message box (class #32770) owned by owner; throws when none shows up within
  // the action limit.
  static MessageBoxWindow wait_for(HWND owner);
  // Whether a message box owned by owner is showing now.
  static bool is_showing(HWND owner);

  HWND window() const { return box_; }
  std::string caption() const;
  // The message text (static control 0xFFFF).
  std::string text() const;
  // Which of the system's message box icons the box shows: "error", "warning", "information",
  // "question", or "none" when its icon static holds no icon (as for MB_OK). Told apart by comparing
  // the settled screen with each icon drawn by the driver itself; "unclear (...)" when no icon
  // matches clearly better than the others within the action limit.
  std::string icon() const;
  // The number of push buttons in the box.
  int button_count() const;
  // Presses OK and waits until the box has gone.
  void press_ok() const;

 private:
  explicit MessageBoxWindow(HWND box) : box_(box) {}
  HWND box_;
};

}  // namespace driver
