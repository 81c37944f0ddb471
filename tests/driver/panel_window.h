// The program's panel as an operator meets it, worked from outside through window messages: read
// texts and states, type, press buttons and keys, close the window.
#pragma once

#include <windows.h>

#include <string>

namespace driver {

class PanelWindow {
 public:
  PanelWindow(HWND dialog, DWORD process_id);

  HWND window() const { return dialog_; }
  DWORD thread_id() const { return thread_id_; }

  // The child control with this id; throws when there is none.
  HWND control(int id) const;
  bool has_control(int id) const;

  std::string caption() const;
  std::string text(int id) const;
  bool enabled(int id) const;
  bool checked(int id) const;
  LONG style(int id) const;
  LONG ex_style(int id) const;

  // Id of the control that has the keyboard focus in the panel's thread; 0 when the focus is on no
  // control of the panel.
  int focused_id() const;

  // Presses a push button, radio button or the like with a posted BM_CLICK, as a mouse click would.
  // Throws when the control is disabled: an operator cannot press it. press() waits until the
  // program has handled the press; press_without_waiting() returns at once, for a press after which a
  // modal message box keeps the program busy.
  void press(int id) const;
  void press_without_waiting(int id) const;

  // Types characters into an edit as key presses (WM_CHAR) after the current text or selection, and
  // waits until the program has handled them. Only ASCII.
  void type(int id, const std::string& characters) const;
  // Selects the whole text of an edit, so that the next typing replaces it.
  void select_all(int id) const;
  // Replaces the whole text of an entry by typing: select all, then type (empty: Backspace).
  void retype(int id, const std::string& characters) const;

  // Presses and releases a key as the keyboard would deliver it: to the control that has the focus,
  // or as a system key to the active window when no control has it. press_key waits until the
  // program has handled it; press_key_without_waiting is for a key that ends the program.
  void press_key(UINT virtual_key) const;
  void press_key_without_waiting(UINT virtual_key) const;

  // Clicks into a control with the mouse (left button down and up at its top left corner), which
  // gives an edit the focus.
  void click_into(int id) const;

  // Clicks the close box of the window's caption bar (the system command SC_CLOSE).
  void click_close_box() const;

  // Returns once every message posted to the program so far has been handled: posts a marker after
  // them and polls for its effect. Throws when the program does not get there in time.
  void wait_until_handled() const;

 private:
  HWND dialog_;
  DWORD process_id_;
  DWORD thread_id_;
};

}  // namespace driver
