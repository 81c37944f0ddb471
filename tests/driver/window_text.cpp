#include "window_text.h"

#include "polling.h"

#include <stdexcept>
#include <vector>

namespace driver {

std::string to_utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                      nullptr);
  return out;
}

std::wstring to_utf16(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), size);
  return out;
}

namespace {

LRESULT send_with_limit(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  DWORD_PTR result = 0;
  const auto limit = static_cast<UINT>(kActionLimit.count());
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_NORMAL, limit, &result)) {
    throw std::runtime_error("window did not answer message " + std::to_string(message));
  }
  return static_cast<LRESULT>(result);
}

}  // namespace

std::string window_text(HWND window) {
  const auto length = send_with_limit(window, WM_GETTEXTLENGTH, 0, 0);
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1, L'\0');
  const auto copied = send_with_limit(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  return to_utf8(std::wstring(buffer.data(), static_cast<size_t>(copied)));
}

std::string window_class(HWND window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return to_utf8(std::wstring(name, static_cast<size_t>(length > 0 ? length : 0)));
}

}  // namespace driver
