#include "screen_capture.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace driver {

void save_window_picture(HWND window, const std::wstring& path) {
  // Have the program paint everything now, frame and controls, before the screen is read.
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT frame{};
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  if (width <= 0 || height <= 0) throw std::runtime_error("the window has no area to capture");

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  const BOOL copied = BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  SelectObject(memory, previous);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;  // bottom-up rows, as BMP files store them
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const int row_bytes = (width * 3 + 3) & ~3;
  header.biSizeImage = static_cast<DWORD>(row_bytes * height);
  std::vector<unsigned char> pixels(header.biSizeImage);
  const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                             reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (!copied || rows != height) throw std::runtime_error("cannot copy the window from the screen");

  BITMAPFILEHEADER file_header{};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof file_header + sizeof header;
  file_header.bfSize = file_header.bfOffBits + header.biSizeImage;
  FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file) throw std::runtime_error("cannot write the picture file");
  std::fwrite(&file_header, sizeof file_header, 1, file);
  std::fwrite(&header, sizeof header, 1, file);
  std::fwrite(pixels.data(), 1, pixels.size(), file);
  std::fclose(file);
}

}  // namespace driver
