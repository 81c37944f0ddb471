// Reading texts of windows that belong to another process.
#pragma once

#include <windows.h>

#include <string>

namespace driver {

// UTF-8 form of a UTF-16 text.
std::string to_utf8(const std::wstring& text);
std::wstring to_utf16(const std::string& utf8);

// The window's text through WM_GETTEXT (GetWindowText does not read another process's controls),
// as UTF-8. Throws when the window does not answer within the action time limit.
std::string window_text(HWND window);

// The window's class name, such as "Button" or "#32770".
std::string window_class(HWND window);

}  // namespace driver
