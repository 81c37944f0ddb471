// Reading what windows show on the screen. The program paints from its own process and its pixels
// reach the screen some time after it has handled a message, so every reading waits until the screen
// has settled: two captures in a row, a flush period apart, that agree.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// The pixels (0x00RRGGBB, top row first) of a rectangle of the screen.
struct ScreenPicture {
  RECT area{};
  std::vector<std::uint32_t> pixels;

  int width() const { return area.right - area.left; }
  int height() const { return area.bottom - area.top; }
  // The pixel at screen point (x, y), which must lie inside area.
  std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y - area.top) * width() + (x - area.left)]; }
};

// Has the window's program paint the window and its controls now, and returns once the program has
// painted and gone idle (its pixels are then on their way to the screen); throws when the program
// does not answer within the action limit.
void repaint_now(HWND window);

// Returns once the thread of the window has handled everything sent to it so far and waits for
// messages again; throws when it does not within the action limit.
void wait_until_idle(HWND window);

// The rectangle of the screen once two captures in a row agree; throws when the screen keeps
// changing for longer than limit.
ScreenPicture settled_screen_picture(const RECT& area, std::chrono::milliseconds limit);

// The window's rectangle of the screen after a repaint, once settled.
ScreenPicture window_picture(HWND window);

// Writes a picture as a 24-bit BMP file; throws on failure.
void save_bmp(const ScreenPicture& picture, const std::wstring& path);

// The pixels of an icon drawn at the given size onto the given background colour.
std::vector<std::uint32_t> icon_pixels(HICON icon, int width, int height, COLORREF background);

}  // namespace driver
