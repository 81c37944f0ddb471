#include "screen_capture.h"

#include <cstdio>
#include <stdexcept>

namespace driver {

namespace {

// A bitmap in memory with a device context to draw into it.
class MemoryCanvas {
 public:
  MemoryCanvas(int width, int height) : width_(width), height_(height) {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    bitmap_ = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    previous_ = SelectObject(dc_, bitmap_);
  }
  ~MemoryCanvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  MemoryCanvas(const MemoryCanvas&) = delete;
  MemoryCanvas& operator=(const MemoryCanvas&) = delete;

  HDC dc() const { return dc_; }

  void copy_from_screen(int left, int top) {
    HDC screen = GetDC(nullptr);
    const BOOL copied = BitBlt(dc_, 0, 0, width_, height_, screen, left, top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    if (!copied) throw std::runtime_error("cannot copy from the screen");
  }

  // The rows of the bitmap in the given bit count, bottom row first, each padded to 4 bytes.
  std::vector<unsigned char> rows(WORD bit_count, BITMAPINFOHEADER& header) {
    header = BITMAPINFOHEADER{};
    header.biSize = sizeof header;
    header.biWidth = width_;
    header.biHeight = height_;
    header.biPlanes = 1;
    header.biBitCount = bit_count;
    header.biCompression = BI_RGB;
    const int row_bytes = (width_ * bit_count / 8 + 3) & ~3;
    header.biSizeImage = static_cast<DWORD>(row_bytes * height_);
    std::vector<unsigned char> data(header.biSizeImage);
    SelectObject(dc_, previous_);
    const int got = GetDIBits(dc_, bitmap_, 0, static_cast<UINT>(height_), data.data(),
                              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    SelectObject(dc_, bitmap_);
    if (got != height_) throw std::runtime_error("cannot read the bitmap's pixels");
    return data;
  }

  std::vector<std::uint32_t> pixels() {
    BITMAPINFOHEADER header;
    const std::vector<unsigned char> data = rows(32, header);
    std::vector<std::uint32_t> out(static_cast<size_t>(width_) * height_);
    for (int row = 0; row < height_; ++row) {
      const unsigned char* source = data.data() + static_cast<size_t>(height_ - 1 - row) * width_ * 4;
      for (int column = 0; column < width_; ++column) {
        const unsigned char* pixel = source + column * 4;
        out[static_cast<size_t>(row) * width_ + column] = (pixel[2] << 16) | (pixel[1] << 8) | pixel[0];
      }
    }
    return out;
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
};

}  // namespace

void repaint_now(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void save_window_picture(HWND window, const std::wstring& path) {
  repaint_now(window);
  RECT frame{};
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  if (width <= 0 || height <= 0) throw std::runtime_error("the window has no area to capture");

  MemoryCanvas canvas(width, height);
  canvas.copy_from_screen(frame.left, frame.top);
  BITMAPINFOHEADER header;
  const std::vector<unsigned char> data = canvas.rows(24, header);

  BITMAPFILEHEADER file_header{};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof file_header + sizeof header;
  file_header.bfSize = file_header.bfOffBits + header.biSizeImage;
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) throw std::runtime_error("cannot write the picture file");
  std::fwrite(&file_header, sizeof file_header, 1, file);
  std::fwrite(&header, sizeof header, 1, file);
  std::fwrite(data.data(), 1, data.size(), file);
  std::fclose(file);
}

std::vector<std::uint32_t> screen_pixels(const RECT& area) {
  MemoryCanvas canvas(area.right - area.left, area.bottom - area.top);
  canvas.copy_from_screen(area.left, area.top);
  return canvas.pixels();
}

std::vector<std::uint32_t> icon_pixels(HICON icon, int width, int height, COLORREF background) {
  MemoryCanvas canvas(width, height);
  HBRUSH brush = CreateSolidBrush(background);
  const RECT all{0, 0, width, height};
  FillRect(canvas.dc(), &all, brush);
  DeleteObject(brush);
  DrawIconEx(canvas.dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
  return canvas.pixels();
}

}  // namespace driver
