// A device root with COM and the imaging factory for the photo decoder's tests, photo files
// made with the format encoders, the debug lines the decoder wrote, and pictures of 565 pixels.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/kernel/debug.h"
#include "platform/gdi/gdi.h"
#include "tests/platform/gdi/canvas.h"
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
  bool Logged(const std::string& line) const { return std::ranges::count(log_.Lines(), line) > 0; }

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

// What a canvas shows.
inline Pixels565 Shown(const Canvas& canvas) { return {canvas.width, canvas.height, canvas.Rows()}; }
