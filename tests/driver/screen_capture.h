// Reading what windows show on the screen: a window saved as a 24-bit BMP file, or the pixels of a
// rectangle of the screen.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

// Has the window's program paint the window and its controls now, so that the screen shows them.
void repaint_now(HWND window);

// Copies the window's rectangle of the screen into path; throws on failure.
void save_window_picture(HWND window, const std::wstring& path);

// The pixels (0x00RRGGBB, top row first) of a rectangle of the screen.
std::vector<std::uint32_t> screen_pixels(const RECT& area);

// The pixels of an icon drawn at the given size onto the given background colour.
std::vector<std::uint32_t> icon_pixels(HICON icon, int width, int height, COLORREF background);

}  // namespace driver
