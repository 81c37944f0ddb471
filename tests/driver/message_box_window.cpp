#include "message_box_window.h"

#include "polling.h"
#include "window_text.h"

#include <stdexcept>

namespace driver {

namespace {

constexpr int kMessageTextId = 0xFFFF;

struct BoxSearch {
  HWND owner;
  HWND found;
};

BOOL CALLBACK match_box(HWND window, LPARAM search_pointer) {
  auto* search = reinterpret_cast<BoxSearch*>(search_pointer);
  if (GetWindow(window, GW_OWNER) != search->owner || !IsWindowVisible(window)) return TRUE;
  if (window_class(window) != "#32770") return TRUE;
  search->found = window;
  return FALSE;
}

HWND find_box(HWND owner) {
  BoxSearch search{owner, nullptr};
  EnumWindows(match_box, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

MessageBoxWindow MessageBoxWindow::wait_for(HWND owner) {
  HWND box = nullptr;
  if (!wait_until([&] { return (box = find_box(owner)) != nullptr; }, kActionLimit)) {
    throw std::runtime_error("no message box owned by the panel showed up");
  }
  return MessageBoxWindow(box);
}

bool MessageBoxWindow::is_showing(HWND owner) { return find_box(owner) != nullptr; }

std::string MessageBoxWindow::caption() const { return window_text(box_); }

std::string MessageBoxWindow::text() const {
  HWND text = GetDlgItem(box_, kMessageTextId);
  if (!text) throw std::runtime_error("the message box has no text control");
  return window_text(text);
}

bool MessageBoxWindow::shows_icon() const {
  for (HWND child = GetWindow(box_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (window_class(child) != "Static") continue;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON) continue;
    if (SendMessageW(child, STM_GETICON, 0, 0) != 0) return true;
  }
  return false;
}

int MessageBoxWindow::button_count() const {
  int count = 0;
  for (HWND child = GetWindow(box_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (window_class(child) == "Button" && IsWindowVisible(child)) ++count;
  }
  return count;
}

void MessageBoxWindow::press_ok() const {
  HWND ok = GetDlgItem(box_, IDOK);
  if (!ok) throw std::runtime_error("the message box has no OK button");
  PostMessageW(ok, BM_CLICK, 0, 0);
  if (!wait_until([&] { return !IsWindow(box_); }, kActionLimit)) {
    throw std::runtime_error("the message box did not close after OK");
  }
}

}  // namespace driver
