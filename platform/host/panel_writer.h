// Putting the device's 800 x 480 RGB565 frame on a panel of another size or pixel layout,
// turned or not.
//
// A panel of exactly that size and layout, unturned, takes the frame as it is, in one block
// move (row by row only when its rows are padded). Any other panel gets converted pixels,
// placed as PanelLayout says: turned, centred with black borders on a panel large enough,
// scaled down by a whole factor on a smaller one (each panel pixel the average of a square
// of frame pixels). Pixels of 16, 24 or 32 bits with any channel positions are written
// through a table from each RGB565 value to the panel's pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/host/panel_layout.h"
#include "platform/kernel/types.h"

struct PanelChannel {
  int offset = 0;  // lowest bit of the channel in the pixel
  int length = 0;  // bits
};

struct PanelFormat {
  int width = 0;  // visible pixels
  int height = 0;
  int bitsPerPixel = 0;  // 16, 24 or 32
  size_t stride = 0;     // bytes from one row to the next
  PanelChannel red, green, blue;
};

// The layout of the device's own frame: 800 x 480, RGB565, 1600 bytes a row.
PanelFormat NativePanelFormat();
// Why a panel cannot be written (bits per pixel, channels, a stride too short), or "" when
// it can.
const char* UnusablePanel(const PanelFormat& format);

class PanelWriter {
 public:
  // rotate: 0, 90, 180 or 270 degrees clockwise.
  explicit PanelWriter(const PanelFormat& format, int rotate = 0);

  bool IsNative() const { return m_native; }
  const PanelLayout& Layout() const { return m_layout; }

  // Writes the frame (800 x 480 pixels, 1600 bytes a row) to the panel's visible memory;
  // `borders` also blackens the panel outside the picture (needed once).
  void Write(const WORD* frame, std::uint8_t* panel, bool borders) const;

 private:
  std::uint32_t PanelPixel(int r8, int g8, int b8) const;
  void Store(std::uint8_t* at, std::uint32_t pixel) const;

  PanelFormat m_format;
  bool m_native = false;
  PanelLayout m_layout;
  int m_bytesPerPixel = 0;
  std::vector<std::uint32_t> m_table;  // RGB565 value -> panel pixel (factor 1 only)
};
