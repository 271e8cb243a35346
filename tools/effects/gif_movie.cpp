#include "tools/effects/gif_movie.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kReds = 6, kGreens = 7, kBlues = 6;
constexpr std::uint8_t kTransparent = 255;

// The nearest level of `levels` for an 8-bit value, with an ordered dither by the pixel's
// place, so that gradients do not fall into bands; the same pixel always gives the same index.
int Level(int value, int levels, int threshold) {
  const int step = 255 / (levels - 1);
  const int dithered = value + (threshold - 8) * step / 16;
  return std::clamp((dithered + step / 2) / step, 0, levels - 1);
}

std::uint8_t IndexOf(std::uint16_t pixel, int x, int y) {
  static constexpr int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  const int t = kBayer[y & 3][x & 3];
  const int r = ((pixel >> 11) & 31) * 255 / 31, g = ((pixel >> 5) & 63) * 255 / 63, b = (pixel & 31) * 255 / 31;
  return static_cast<std::uint8_t>((Level(r, kReds, t) * kGreens + Level(g, kGreens, t)) * kBlues + Level(b, kBlues, t));
}

ColorMapObject* MakePalette() {
  GifColorType colours[256] = {};
  for (int r = 0; r < kReds; ++r)
    for (int g = 0; g < kGreens; ++g)
      for (int b = 0; b < kBlues; ++b) {
        GifColorType& c = colours[(r * kGreens + g) * kBlues + b];
        c.Red = static_cast<GifByteType>(r * 255 / (kReds - 1));
        c.Green = static_cast<GifByteType>(g * 255 / (kGreens - 1));
        c.Blue = static_cast<GifByteType>(b * 255 / (kBlues - 1));
      }
  return GifMakeMapObject(256, colours);
}

}  // namespace

GifMovie::GifMovie(const std::string& path, int width, int height) : m_width(width), m_height(height) {
  int error = 0;
  m_gif = EGifOpenFileName(path.c_str(), false, &error);
  if (!m_gif) return;
  EGifSetGifVersion(m_gif, true);
  ColorMapObject* palette = MakePalette();
  m_ok = EGifPutScreenDesc(m_gif, width, height, 8, 0, palette) == GIF_OK;
  GifFreeMapObject(palette);
  // Loop for ever.
  const GifByteType app[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
  const GifByteType loop[] = {1, 0, 0};
  m_ok = m_ok && EGifPutExtensionLeader(m_gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
         EGifPutExtensionBlock(m_gif, sizeof app, app) == GIF_OK &&
         EGifPutExtensionBlock(m_gif, sizeof loop, loop) == GIF_OK && EGifPutExtensionTrailer(m_gif) == GIF_OK;
}

GifMovie::~GifMovie() {
  if (m_gif) EGifCloseFile(m_gif, nullptr);
}

void GifMovie::Add(const std::uint16_t* pixels, int timeMs) {
  if (m_pendingMs >= 0) WritePending(timeMs);
  m_pending.resize(static_cast<size_t>(m_width) * m_height);
  for (int y = 0; y < m_height; ++y)
    for (int x = 0; x < m_width; ++x) {
      const size_t i = static_cast<size_t>(y) * m_width + x;
      m_pending[i] = IndexOf(pixels[i], x, y);
    }
  m_pendingMs = timeMs;
}

// Writes the pending frame, to be shown until untilMs; a frame shorter than a hundredth of
// a second is merged into the next one.
void GifMovie::WritePending(int untilMs) {
  const int untilCs = static_cast<int>(std::lround(untilMs / 10.0));
  const int delayCs = untilCs - m_writtenCs;
  if (delayCs <= 0 || !Ok()) return;

  // The rectangle that differs from what is shown.
  int left = m_width, right = -1, top = m_height, bottom = -1;
  const bool first = m_shown.empty();
  for (int y = 0; y < m_height; ++y)
    for (int x = 0; x < m_width; ++x) {
      const size_t i = static_cast<size_t>(y) * m_width + x;
      if (!first && m_pending[i] == m_shown[i]) continue;
      left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
  if (right < 0) left = right = top = bottom = 0;  // nothing changed: one transparent pixel

  const GifByteType control[] = {0x05, static_cast<GifByteType>(delayCs & 0xFF),
                                 static_cast<GifByteType>(delayCs >> 8), kTransparent};  // keep, transparent
  m_ok = EGifPutExtension(m_gif, GRAPHICS_EXT_FUNC_CODE, sizeof control, control) == GIF_OK &&
         EGifPutImageDesc(m_gif, left, top, right - left + 1, bottom - top + 1, false, nullptr) == GIF_OK;
  std::vector<GifPixelType> line(static_cast<size_t>(right - left + 1));
  if (first) m_shown.assign(m_pending.size(), kTransparent);
  for (int y = top; m_ok && y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      const size_t i = static_cast<size_t>(y) * m_width + x;
      line[static_cast<size_t>(x - left)] = (!first && m_pending[i] == m_shown[i]) ? kTransparent : m_pending[i];
      m_shown[i] = m_pending[i];
    }
    m_ok = EGifPutLine(m_gif, line.data(), static_cast<int>(line.size())) == GIF_OK;
  }
  m_writtenCs = untilCs;
  ++m_frames;
}

bool GifMovie::Finish(int endMs) {
  if (m_pendingMs >= 0) WritePending(endMs);
  m_pendingMs = -1;
  bool ok = Ok();
  if (m_gif) ok = EGifCloseFile(m_gif, nullptr) == GIF_OK && ok;
  m_gif = nullptr;
  return ok;
}
