// A device root with COM and the imaging factory for the photo decoder's tests, photo files
// made with the format encoders, and the debug lines the decoder wrote.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/kernel/debug.h"
#include "platform/gdi/gdi.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/temp_root.h"

class DecodeTest : public ImagingTest {
 protected:
  // Writes bytes to SDMMC/<name> and gives the device path "\SDMMC\<name>".
  WString Put(const std::string& name, const Bytes& bytes) {
    root_.WriteFile("SDMMC/" + name, std::string(bytes.begin(), bytes.end()));
    WString path = u"\\SDMMC\\";
    for (char c : name) path.push_back(c == '/' ? u'\\' : static_cast<WCHAR>(c));
    return path;
  }
  WString PutJpeg(const std::string& name, int width, int height, bool progressive = false) {
    return Put(name, MakeJpeg(Pattern(width, height), 90, {}, false, progressive));
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : log_.Lines())
      if (l == line) return true;
    return false;
  }

  TempDeviceRoot root_;
  DebugCapture log_;
};

// A w x h picture of 565 pixels, rows top to bottom.
struct Pixels565 {
  int width = 0, height = 0;
  std::vector<WORD> p;
  WORD at(int x, int y) const { return p[static_cast<size_t>(y) * width + x]; }
  friend bool operator==(const Pixels565&, const Pixels565&) = default;
};

inline Pixels565 Copy565(const WORD* pixels, int width, int height) {
  return {width, height, std::vector<WORD>(pixels, pixels + static_cast<size_t>(width) * height)};
}

// The picture turned a quarter counter-clockwise on the screen (the top edge becomes the
// left edge), or clockwise.
inline Pixels565 QuarterTurn(const Pixels565& in, bool counterClockwise) {
  Pixels565 out{in.height, in.width, std::vector<WORD>(in.p.size())};
  for (int y = 0; y < in.height; ++y)
    for (int x = 0; x < in.width; ++x) {
      int nx = counterClockwise ? y : in.height - 1 - y;
      int ny = counterClockwise ? in.width - 1 - x : x;
      out.p[static_cast<size_t>(ny) * out.width + nx] = in.at(x, y);
    }
  return out;
}
inline Pixels565 HalfTurn(const Pixels565& in) { return QuarterTurn(QuarterTurn(in, true), true); }

// What a memory bitmap of w x h shows after drawing into it through its context.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(dc_, width, height);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  Pixels565 Read() const {
    int pitch = 0;
    const WORD* first = BitmapPixels(bitmap_, &pitch);
    Pixels565 out{width_, height_, {}};
    for (int y = 0; y < height_; ++y) out.p.insert(out.p.end(), first + y * pitch, first + y * pitch + width_);
    return out;
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};
