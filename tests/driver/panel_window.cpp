#include "panel_window.h"

#include "panel_ids.h"
#include "polling.h"
#include "window_text.h"

#include <stdexcept>

namespace driver {

PanelWindow::PanelWindow(HWND dialog, DWORD process_id)
    : dialog_(dialog), process_id_(process_id), thread_id_(GetWindowThreadProcessId(dialog, nullptr)) {}

HWND PanelWindow::control(int id) const {
  HWND child = GetDlgItem(dialog_, id);
  if (!child) throw std::runtime_error("the panel has no control " + std::to_string(id));
  return child;
}

bool PanelWindow::has_control(int id) const { return GetDlgItem(dialog_, id) != nullptr; }

std::string PanelWindow::caption() const { return window_text(dialog_); }

std::string PanelWindow::text(int id) const { return window_text(control(id)); }

bool PanelWindow::enabled(int id) const { return IsWindowEnabled(control(id)) != FALSE; }

bool PanelWindow::checked(int id) const {
  return SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

LONG PanelWindow::style(int id) const { return GetWindowLongW(control(id), GWL_STYLE); }

LONG PanelWindow::ex_style(int id) const { return GetWindowLongW(control(id), GWL_EXSTYLE); }

int PanelWindow::focused_id() const {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(thread_id_, &info) || !info.hwndFocus) return 0;
  if (GetParent(info.hwndFocus) != dialog_) return 0;
  return GetDlgCtrlID(info.hwndFocus);
}

void PanelWindow::press_without_waiting(int id) const {
  HWND button = control(id);
  if (!IsWindowEnabled(button)) {
    throw std::runtime_error("control " + std::to_string(id) + " is disabled: an operator cannot press it");
  }
  PostMessageW(button, BM_CLICK, 0, 0);
}

void PanelWindow::press(int id) const {
  press_without_waiting(id);
  wait_until_handled();
}

void PanelWindow::type(int id, const std::string& characters) const {
  HWND edit = control(id);
  for (unsigned char character : characters) PostMessageW(edit, WM_CHAR, character, 1);
  wait_until_handled();
}

void PanelWindow::select_all(int id) const {
  PostMessageW(control(id), EM_SETSEL, 0, -1);
  wait_until_handled();
}

void PanelWindow::retype(int id, const std::string& characters) const {
  select_all(id);
  type(id, characters.empty() ? std::string(1, '\b') : characters);
}

void PanelWindow::press_key_without_waiting(UINT virtual_key) const {
  // As the system delivers a key: to the window with the keyboard focus, or, when no window has it,
  // to the active window as a system key (WM_SYSKEYDOWN), which the dialog manager does not act on.
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(thread_id_, &info);
  HWND target = info.hwndFocus ? info.hwndFocus : info.hwndActive;
  if (!target) throw std::runtime_error("the panel's thread has neither a focus nor an active window");
  const UINT down = info.hwndFocus ? WM_KEYDOWN : WM_SYSKEYDOWN;
  const UINT up = info.hwndFocus ? WM_KEYUP : WM_SYSKEYUP;
  const UINT scan_code = MapVirtualKeyW(virtual_key, MAPVK_VK_TO_VSC);
  PostMessageW(target, down, virtual_key, 1 | (scan_code << 16));
  PostMessageW(target, up, virtual_key, 1 | (scan_code << 16) | (3u << 30));
}

void PanelWindow::click_into(int id) const {
  HWND target = control(id);
  if (!IsWindowEnabled(target)) {
    throw std::runtime_error("control " + std::to_string(id) + " is disabled: an operator cannot click into it");
  }
  PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageW(target, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  wait_until_handled();
}

void PanelWindow::press_key(UINT virtual_key) const {
  press_key_without_waiting(virtual_key);
  wait_until_handled();
}

void PanelWindow::click_close_box() const { PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }

// The marker is the modification flag of the own-address field, which the program sets only while
// the panel opens and never reads: set it now (a sent message is handled at once), post a message
// that clears it behind everything posted so far, and poll until it is clear.
// A panel that has gone in the meantime has nothing left to handle.
void PanelWindow::wait_until_handled() const {
  HWND marker = GetDlgItem(dialog_, panel_id::kOwnAddress);
  if (!marker) return;
  SendMessageW(marker, EM_SETMODIFY, TRUE, 0);
  PostMessageW(marker, EM_SETMODIFY, FALSE, 0);
  const bool handled = wait_until(
      [&] { return !IsWindow(marker) || SendMessageW(marker, EM_GETMODIFY, 0, 0) == 0; }, kActionLimit);
  if (!handled) throw std::runtime_error("the program did not handle its posted messages in time");
}

}  // namespace driver
