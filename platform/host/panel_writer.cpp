#include "platform/host/panel_writer.h"

#include <algorithm>
#include <cstring>

#include "platform/device/framebuffer.h"

namespace {

int Red8(WORD p) { return ((p >> 11) & 0x1F) * 255 / 31; }
int Green8(WORD p) { return ((p >> 5) & 0x3F) * 255 / 63; }
int Blue8(WORD p) { return (p & 0x1F) * 255 / 31; }

bool Same(const PanelChannel& a, int offset, int length) { return a.offset == offset && a.length == length; }

bool Fits(const PanelChannel& c, int bits) { return c.length >= 1 && c.length <= 8 && c.offset >= 0 && c.offset + c.length <= bits; }

std::uint32_t Channel(int value8, const PanelChannel& c) {
  return static_cast<std::uint32_t>(value8 >> (8 - c.length)) << c.offset;
}

}  // namespace

PanelFormat NativePanelFormat() {
  PanelFormat f;
  f.width = kScreenWidth;
  f.height = kScreenHeight;
  f.bitsPerPixel = 16;
  f.stride = kFrameStrideBytes;
  f.red = {11, 5};
  f.green = {5, 6};
  f.blue = {0, 5};
  return f;
}

const char* UnusablePanel(const PanelFormat& f) {
  if (f.bitsPerPixel != 16 && f.bitsPerPixel != 24 && f.bitsPerPixel != 32) return "not 16, 24 or 32 bits a pixel";
  if (!Fits(f.red, f.bitsPerPixel) || !Fits(f.green, f.bitsPerPixel) || !Fits(f.blue, f.bitsPerPixel))
    return "colour channels that are not 1 to 8 bits inside the pixel";
  if (f.width < 1 || f.height < 1 || f.stride < static_cast<size_t>(f.width) * static_cast<size_t>(f.bitsPerPixel / 8))
    return "no rows to write";
  return "";
}

PanelWriter::PanelWriter(const PanelFormat& format, int rotate)
    : m_format(format), m_layout(format.width, format.height, rotate), m_bytesPerPixel(format.bitsPerPixel / 8) {
  m_native = rotate == 0 && format.width == kScreenWidth && format.height == kScreenHeight &&
             format.bitsPerPixel == 16 && Same(format.red, 11, 5) && Same(format.green, 5, 6) && Same(format.blue, 0, 5);
  if (!m_native && m_layout.Placement().factor == 1) {
    m_table.resize(65536);
    for (std::uint32_t p = 0; p < 65536; ++p) {
      const WORD w = static_cast<WORD>(p);
      m_table[p] = PanelPixel(Red8(w), Green8(w), Blue8(w));
    }
  }
}

std::uint32_t PanelWriter::PanelPixel(int r8, int g8, int b8) const {
  return Channel(r8, m_format.red) | Channel(g8, m_format.green) | Channel(b8, m_format.blue);
}

void PanelWriter::Store(std::uint8_t* at, std::uint32_t pixel) const {
  // Panel memory holds pixels in the machine's byte order.
  switch (m_bytesPerPixel) {
    case 2: {
      const std::uint16_t p16 = static_cast<std::uint16_t>(pixel);
      std::memcpy(at, &p16, 2);
      break;
    }
    case 3:
      at[0] = static_cast<std::uint8_t>(pixel);
      at[1] = static_cast<std::uint8_t>(pixel >> 8);
      at[2] = static_cast<std::uint8_t>(pixel >> 16);
      break;
    default:
      std::memcpy(at, &pixel, 4);
      break;
  }
}

void PanelWriter::Write(const WORD* frame, std::uint8_t* panel, bool borders) const {
  const size_t stride = m_format.stride;
  if (m_native) {
    if (stride == kFrameStrideBytes) {
      std::memcpy(panel, frame, kFrameBytes);
    } else {
      for (int y = 0; y < kScreenHeight; ++y)
        std::memcpy(panel + static_cast<size_t>(y) * stride, frame + y * kScreenWidth, kFrameStrideBytes);
    }
    return;
  }
  const size_t rowBytes = static_cast<size_t>(m_format.width) * static_cast<size_t>(m_bytesPerPixel);
  if (borders)
    for (int y = 0; y < m_format.height; ++y) std::memset(panel + static_cast<size_t>(y) * stride, 0, rowBytes);
  const PanelPlacement& p = m_layout.Placement();
  const int k = p.factor;
  const int step = m_layout.Step();
  for (int y = 0; y < p.height; ++y) {
    std::uint8_t* out = panel + static_cast<size_t>(p.top + y) * stride + static_cast<size_t>(p.left) * static_cast<size_t>(m_bytesPerPixel);
    if (k == 1) {
      int in = m_layout.FrameIndex(0, y);
      for (int x = 0; x < p.width; ++x, out += m_bytesPerPixel, in += step) Store(out, m_table[frame[in]]);
      continue;
    }
    for (int x = 0; x < p.width; ++x, out += m_bytesPerPixel) {
      int r = 0, g = 0, b = 0;
      for (int dy = 0; dy < k; ++dy) {
        for (int dx = 0; dx < k; ++dx) {
          const WORD pixel = frame[m_layout.FrameIndex(x * k + dx, y * k + dy)];
          r += Red8(pixel);
          g += Green8(pixel);
          b += Blue8(pixel);
        }
      }
      const int n = k * k;
      Store(out, PanelPixel((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n));
    }
  }
}
