// Saving what a window shows on the screen as a 24-bit BMP file.
#pragma once

#include <windows.h>

#include <string>

namespace driver {

// Copies the window's rectangle of the screen into path; throws on failure.
void save_window_picture(HWND window, const std::wstring& path);

}  // namespace driver
