#include "message_box_window.h"

#include "polling.h"
#include "screen_capture.h"
#include "window_search.h"
#include "window_text.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace driver {

namespace {

constexpr int kMessageTextId = 0xFFFF;

HWND find_box(HWND owner) {
  return find_top_level_window([owner](HWND window) {
    return GetWindow(window, GW_OWNER) == owner && IsWindowVisible(window) && window_class(window) == "#32770";
  });
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

namespace {

HWND icon_static(HWND box) {
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (window_class(child) == "Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return child;
  }
  return nullptr;
}

std::uint64_t difference(const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
  std::uint64_t sum = 0;
  for (size_t index = 0; index < a.size() && index < b.size(); ++index) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int left = (a[index] >> shift) & 0xFF;
      const int right = (b[index] >> shift) & 0xFF;
      sum += static_cast<std::uint64_t>(left > right ? left - right : right - left);
    }
  }
  return sum;
}

}  // namespace

namespace {

struct IconMatch {
  std::string name;
  std::uint64_t best_difference = UINT64_MAX;
  std::uint64_t second_difference = UINT64_MAX;

  // The screen must match one icon clearly better than any other.
  bool clear() const { return best_difference * 2 < second_difference; }
  std::string verdict() const {
    if (clear()) return name;
    return "unclear (closest " + name + ", " + std::to_string(best_difference) + " against " +
           std::to_string(second_difference) + ")";
  }
};

IconMatch closest_icon(const ScreenPicture& shown) {
  const std::uint32_t corner = shown.pixels[0];
  const COLORREF background = RGB((corner >> 16) & 0xFF, (corner >> 8) & 0xFF, corner & 0xFF);
  const struct {
    const char* name;
    LPCWSTR resource;
  } candidates[] = {{"error", MAKEINTRESOURCEW(32513)},  // IDI_HAND
                    {"warning", MAKEINTRESOURCEW(32515)},  // IDI_EXCLAMATION
                    {"information", MAKEINTRESOURCEW(32516)},  // IDI_ASTERISK
                    {"question", MAKEINTRESOURCEW(32514)}};  // IDI_QUESTION
  IconMatch match;
  for (const auto& candidate : candidates) {
    const auto drawn = icon_pixels(LoadIconW(nullptr, candidate.resource), shown.width(), shown.height(), background);
    const std::uint64_t how_far = difference(shown.pixels, drawn);
    if (how_far < match.best_difference) {
      match.second_difference = match.best_difference;
      match.best_difference = how_far;
      match.name = candidate.name;
    } else if (how_far < match.second_difference) {
      match.second_difference = how_far;
    }
  }
  return match;
}

}  // namespace

// The icon's handle belongs to the program's process: Wine keeps the system icons apart per process
// and reads no icon of another process, so the screen is what tells them apart. The screen is read
// only once the box's thread is idle and two captures in a row agree; a settled screen that matches
// no icon clearly (the box not drawn yet) is read again until the action limit.
std::string MessageBoxWindow::icon() const {
  HWND holder = icon_static(box_);
  if (!holder) throw std::runtime_error("the message box has no icon static");
  if (SendMessageW(holder, STM_GETICON, 0, 0) == 0 || !IsWindowVisible(holder)) return "none";

  RECT area{};
  GetClientRect(holder, &area);
  MapWindowPoints(holder, HWND_DESKTOP, reinterpret_cast<POINT*>(&area), 2);
  const auto deadline = std::chrono::steady_clock::now() + kActionLimit;
  for (;;) {
    wait_until_idle(box_);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const IconMatch match = closest_icon(settled_screen_picture(area, std::max(left, std::chrono::milliseconds{0})));
    if (match.clear() || std::chrono::steady_clock::now() >= deadline) return match.verdict();
    Sleep(50);
  }
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
