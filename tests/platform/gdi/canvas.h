// A memory drawing context on a 565 bitmap whose pixels the tests read and write directly:
// for the GDI's tests and those of everything that draws through a context.
#pragma once

#include <algorithm>
#include <vector>

#include "platform/gdi/gdi.h"

// A 16-bit section of the given masks (5-6-5 by default), or of none; negative heights run
// top-down.
inline HBITMAP Dib(int width, int height, void** bits, DWORD red = 0xF800, DWORD compression = BI_BITFIELDS) {
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info{{.biWidth = width, .biHeight = height, .biBitCount = 16, .biCompression = compression}, {red, 0x07E0, 0x001F}};
  return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, bits, nullptr, 0);
}

// A memory context with a top-down 565 bitmap of its own.
struct Canvas {
  HDC dc = CreateCompatibleDC(nullptr);
  WORD* pixels = nullptr;
  HBITMAP bitmap;
  int width, height, pitch;
  HGDIOBJ old;

  Canvas(int w, int h, WORD fill = 0)
      : bitmap(Dib(w, -h, reinterpret_cast<void**>(&pixels))), width(w), height(h), pitch(((w * 2 + 3) & ~3) / 2),
        old(SelectObject(dc, bitmap)) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) At(x, y) = fill;
  }
  ~Canvas() {
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  WORD& At(int x, int y) { return pixels[y * pitch + x]; }
  // The pixels row by row, top to bottom, without the rows' padding, as the GDI hands them out.
  std::vector<WORD> Rows() const {
    int rowPitch = 0;
    const WORD* first = BitmapPixels(bitmap, &rowPitch);
    std::vector<WORD> out;
    for (int y = 0; y < height; ++y) out.insert(out.end(), first + y * rowPitch, first + y * rowPitch + width);
    return out;
  }
  int Count(WORD value) {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) n += At(x, y) == value;
    return n;
  }
  // The smallest rectangle holding every pixel that differs from value.
  RECT Changed(WORD value) {
    RECT r{width, height, -1, -1};
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (At(x, y) != value) r = RECT{std::min<LONG>(r.left, x), std::min<LONG>(r.top, y),
                                        std::max<LONG>(r.right, x + 1), std::max<LONG>(r.bottom, y + 1)};
    return r;
  }
};
