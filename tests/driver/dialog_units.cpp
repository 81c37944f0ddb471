#include "dialog_units.h"

#include <stdexcept>
#include <vector>

namespace driver {

namespace {

INT_PTR CALLBACK quiet_dialog_proc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

void append_words(std::vector<WORD>& words, const wchar_t* text) {
  do words.push_back(static_cast<WORD>(*text)); while (*text++);
}

// An in-memory template: hidden pop-up dialog without controls, in the panel's font.
std::vector<WORD> hidden_dialog_template() {
  std::vector<WORD> words;
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
  words.push_back(LOWORD(style));
  words.push_back(HIWORD(style));
  words.push_back(0);  // extended style
  words.push_back(0);
  words.push_back(0);  // no controls
  words.push_back(0);  // x, y, cx, cy
  words.push_back(0);
  words.push_back(162);
  words.push_back(255);
  words.push_back(0);  // no menu
  words.push_back(0);  // the dialog class
  append_words(words, L"");  // caption
  words.push_back(9);        // point size
  append_words(words, L"ＭＳ Ｐゴシック");
  return words;
}

}  // namespace

DialogBaseUnits panel_font_base_units() {
  const std::vector<WORD> words = hidden_dialog_template();
  HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                           reinterpret_cast<const DLGTEMPLATE*>(words.data()), nullptr,
                                           quiet_dialog_proc, 0);
  if (!dialog) throw std::runtime_error("cannot create the measuring dialog");
  RECT units{0, 0, 4, 8};
  const BOOL mapped = MapDialogRect(dialog, &units);
  DestroyWindow(dialog);
  if (!mapped) throw std::runtime_error("MapDialogRect failed on the measuring dialog");
  return {units.right, units.bottom};
}

std::ostream& operator<<(std::ostream& out, const PixelRect& rect) {
  return out << "{x " << rect.x << ", y " << rect.y << ", width " << rect.width << ", height " << rect.height
             << "}";
}

PixelRect to_pixels(const DialogBaseUnits& units, int x, int y, int width, int height) {
  return {MulDiv(x, units.x, 4), MulDiv(y, units.y, 8), MulDiv(width, units.x, 4), MulDiv(height, units.y, 8)};
}

}  // namespace driver
