// Putting the device's 800 x 480 RGB565 frame on a panel of another size or pixel layout.
//
// A panel of exactly that size and layout takes the frame as it is, in one block move (row
// by row only when its rows are padded). Any other panel gets converted pixels: a panel
// large enough shows the frame centred with black borders; a smaller one shows it scaled
// down by the smallest whole factor that fits (each panel pixel the average of a square of
// frame pixels), centred too. Pixels of 16, 24 or 32 bits with any channel positions are
// written through a table from each RGB565 value to the panel's pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

// Where the frame lands on the panel: every frame pixel block of factor x factor becomes one
// panel pixel, and the shown picture's top left corner is at (left, top).
struct PanelPlacement {
  int factor = 1;
  int left = 0, top = 0;
  int width = 0, height = 0;  // of the shown picture, in panel pixels
};
PanelPlacement PlaceFrame(int panelWidth, int panelHeight);

class PanelWriter {
 public:
  explicit PanelWriter(const PanelFormat& format);

  bool IsNative() const { return m_native; }
  const PanelPlacement& Placement() const { return m_placement; }

  // Writes the frame (800 x 480 pixels, 1600 bytes a row) to the panel's visible memory;
  // `borders` also blackens the panel outside the picture (needed once).
  void Write(const WORD* frame, std::uint8_t* panel, bool borders) const;

 private:
  std::uint32_t PanelPixel(int r8, int g8, int b8) const;
  void Store(std::uint8_t* at, std::uint32_t pixel) const;

  PanelFormat m_format;
  bool m_native = false;
  PanelPlacement m_placement;
  int m_bytesPerPixel = 0;
  std::vector<std::uint32_t> m_table;  // RGB565 value -> panel pixel (factor 1 only)
};
