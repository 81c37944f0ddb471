#include "screen_capture.h"

#include "polling.h"

#include <cstdio>
#include <stdexcept>

namespace driver {

namespace {

// An uncompressed bitmap's header, rows bottom up.
BITMAPINFOHEADER bitmap_header(int width, int height, WORD bits_per_pixel) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = bits_per_pixel;
  header.biCompression = BI_RGB;
  return header;
}

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

  // The bitmap's pixels as 0x00RRGGBB, top row first.
  std::vector<std::uint32_t> pixels() {
    BITMAPINFOHEADER header = bitmap_header(width_, height_, 32);
    std::vector<unsigned char> data(static_cast<size_t>(width_) * height_ * 4);
    SelectObject(dc_, previous_);
    const int got = GetDIBits(dc_, bitmap_, 0, static_cast<UINT>(height_), data.data(),
                              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    SelectObject(dc_, bitmap_);
    if (got != height_) throw std::runtime_error("cannot read the bitmap's pixels");
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

// Wine copies what a program has painted to the screen when its thread goes idle, or at the latest
// every 50 ms while it stays busy: captures further apart than that see every copy made between them.
constexpr std::chrono::milliseconds kCaptureGap{60};

void wait_until_idle(HWND window) {
  // The first message is handled wherever the thread takes messages; the second only once it has
  // come back to waiting for more, after it has sent its painting on.
  for (int round = 0; round < 2; ++round) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(kActionLimit.count()), &result)) {
      if (!IsWindow(window)) throw std::runtime_error("the window went away while waiting for it to paint");
      throw std::runtime_error("the window's program did not answer within the action limit");
    }
  }
}

void repaint_now(HWND window) {
  // For a window of another thread the paint messages are sent: handled before RedrawWindow returns.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  wait_until_idle(window);
}

ScreenPicture settled_screen_picture(const RECT& area, std::chrono::milliseconds limit) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) throw std::runtime_error("nothing to capture: the area is empty");
  MemoryCanvas canvas(width, height);
  ScreenPicture picture{area, {}};
  std::vector<std::uint32_t> previous;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    canvas.copy_from_screen(area.left, area.top);
    picture.pixels = canvas.pixels();
    if (picture.pixels == previous) return picture;
    if (std::chrono::steady_clock::now() >= deadline) {
      throw std::runtime_error("the screen did not settle within " + std::to_string(limit.count()) + " ms");
    }
    previous.swap(picture.pixels);
    Sleep(static_cast<DWORD>(kCaptureGap.count()));
  }
}

ScreenPicture window_picture(HWND window) {
  repaint_now(window);
  RECT frame{};
  GetWindowRect(window, &frame);
  return settled_screen_picture(frame, kActionLimit);
}

void save_bmp(const ScreenPicture& picture, const std::wstring& path) {
  const int width = picture.width();
  const int height = picture.height();
  const size_t row_bytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<unsigned char> data(row_bytes * height);
  for (int row = 0; row < height; ++row) {
    unsigned char* target = data.data() + static_cast<size_t>(height - 1 - row) * row_bytes;  // bottom row first
    for (int column = 0; column < width; ++column) {
      const std::uint32_t pixel = picture.pixels[static_cast<size_t>(row) * width + column];
      target[column * 3] = pixel & 0xFF;
      target[column * 3 + 1] = (pixel >> 8) & 0xFF;
      target[column * 3 + 2] = (pixel >> 16) & 0xFF;
    }
  }
  BITMAPINFOHEADER header = bitmap_header(width, height, 24);
  header.biSizeImage = static_cast<DWORD>(data.size());
  BITMAPFILEHEADER file_header{};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof file_header + sizeof header;
  file_header.bfSize = file_header.bfOffBits + header.biSizeImage;
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) throw std::runtime_error("cannot write the picture file");
  const bool written = std::fwrite(&file_header, sizeof file_header, 1, file) == 1 &&
                       std::fwrite(&header, sizeof header, 1, file) == 1 &&
                       std::fwrite(data.data(), 1, data.size(), file) == data.size();
  if (std::fclose(file) != 0 || !written) throw std::runtime_error("cannot write the picture file");
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
