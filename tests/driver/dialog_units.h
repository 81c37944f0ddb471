// Dialog units of the panel's font, measured on a hidden dialog of the driver's own: MapDialogRect
// does not work on another process's dialog.
#pragma once

#include <windows.h>

#include <ostream>

namespace driver {

struct DialogBaseUnits {
  int x;  // pixels per 4 horizontal dialog units
  int y;  // pixels per 8 vertical dialog units
};

// Base units of a dialog with the panel's font, "ＭＳ Ｐゴシック" at 9 points.
DialogBaseUnits panel_font_base_units();

// A rectangle in pixels, as a dialog places a control given in dialog units.
struct PixelRect {
  int x, y, width, height;
  bool operator==(const PixelRect& other) const {
    return x == other.x && y == other.y && width == other.width && height == other.height;
  }
};
std::ostream& operator<<(std::ostream& out, const PixelRect& rect);
PixelRect to_pixels(const DialogBaseUnits& units, int x, int y, int width, int height);

}  // namespace driver
