// Shared helpers of the JPEG core's tests: running a decode with the core and comparing
// its box with libjpeg's decode sampled at the same source coordinates.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "jpeg/jpeg_state.h"
#include "jpeg/memory_decode.h"
#include "tests/jpeg/support/jpeg_samples.h"

// The sampling layouts the tests go through: luma (or grey) factors, chroma 1 x 1; those
// the core first read, then the quarter-width and quarter-height ones.
struct Layout {
  const char* name;
  bool gray;
  int h1, v1;
};
inline constexpr Layout kLayouts[] = {{"4:4:4", false, 1, 1}, {"4:2:2", false, 2, 1}, {"4:4:0", false, 1, 2},
                                      {"4:2:0", false, 2, 2}, {"grey", true, 1, 1}};
inline constexpr Layout kQuarterLayouts[] = {{"4:1:1", false, 4, 1}, {"1:4", false, 1, 4}};

inline EncodeOptions OptionsFor(const Layout& l, bool progressive) {
  return {.progressive = progressive, .gray = l.gray, .h1 = l.h1, .v1 = l.v1};
}

// A progressive script whose DC scans hold one component each, first passes and refinements.
inline std::vector<ScanScript> DcScansApart() {
  return {{{0}, 0, 0, 0, 1},  {{1}, 0, 0, 0, 1},  {{2}, 0, 0, 0, 1},  {{0}, 1, 5, 0, 2},  {{2}, 1, 63, 0, 1},
          {{1}, 1, 63, 0, 1}, {{0}, 6, 63, 0, 2}, {{0}, 1, 63, 2, 1}, {{0}, 0, 0, 1, 0},  {{2}, 0, 0, 1, 0},
          {{1}, 0, 0, 1, 0},  {{2}, 1, 63, 1, 0}, {{1}, 1, 63, 1, 0}, {{0}, 1, 63, 1, 0}};
}

struct CoreOutput {
  MemoryDecodeResult result;
  std::vector<uint16_t> surface;
};

inline CoreOutput DecodeWithCore(const std::vector<uint8_t>& jpeg, int tw, int th, uint16_t fill = 0,
                                 PutPixelFunc writer = PutPixelRGB565) {
  CoreOutput out;
  out.surface.assign(size_t(tw) * th, fill);
  out.result =
      DecodeJpegFromMemory(jpeg.data(), jpeg.size(), tw, th, out.surface.data(), kJpegMaxCalcBufSize, writer);
  return out;
}

// While it lives, decodes use `threads` threads and split pictures of every size.
struct SplitThreads {
  explicit SplitThreads(int threads) : before(JpegThreads()), minimum(gJpegSplitMinBlocks) {
    JpegSetThreads(threads);
    gJpegSplitMinBlocks = 0;
  }
  ~SplitThreads() {
    JpegSetThreads(before);
    gJpegSplitMinBlocks = minimum;
  }
  int before;
  uint32_t minimum;
};

// Decodes split between `threads` threads; `kept` receives the threads the decode still had
// at its end (1 when it went back to the calling thread).
inline CoreOutput DecodeSplit(const std::vector<uint8_t>& jpeg, int tw, int th, int threads, int* kept = nullptr,
                              uint16_t fill = 0) {
  SplitThreads split(threads);
  CoreOutput out = DecodeWithCore(jpeg, tw, th, fill);
  if (kept) *kept = gJpegState.threads;
  return out;
}

// Where the picture lands in the box and which source pixel each box pixel samples,
// worked out from the mapping rule on its own.
struct Placement {
  int32_t ratio = 0;
  int outW = 0, outH = 0, offX = 0, offY = 0, level = 0;
  int Source(int i) const { return int((int64_t(i) * ratio) >> 16); }
};

inline Placement PlacementOf(int w, int h, int tw, int th) {
  const int32_t rx = (w << 16) / tw, ry = (h << 16) / th;
  const bool wide = rx > ry;  // the width decides
  Placement p;
  p.ratio = wide ? rx : ry;
  p.outW = wide ? tw : (w << 16) / ry;
  p.outH = wide ? (h << 16) / rx : th;
  p.offX = wide ? 0 : (tw - p.outW) >> 1;
  p.offY = wide ? (th - p.outH) >> 1 : 0;
  const int side = wide ? w : h, target = wide ? tw : th;
  p.level = side >= 8 * target ? 2 : side >= 3 * target ? 1 : 0;
  p.outW = std::max(p.outW, 1);
  p.outH = std::max(p.outH, 1);
  return p;
}

inline uint16_t Pack565(int r, int g, int b) { return uint16_t(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3)); }

inline void Expand565(uint16_t p, int rgb[3]) {
  int r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
  rgb[0] = (r << 3) | (r >> 2);
  rgb[1] = (g << 2) | (g >> 4);
  rgb[2] = (b << 3) | (b >> 2);
}

// PSNR (dB) of the picture's part of the box against the reference, sampled at the core's
// source coordinates (divided by `refScale` for a scaled reference).
inline double PsnrAgainst(const CoreOutput& core, int tw, const Placement& p, const Rgb& ref, int refScale) {
  double sum = 0;
  long n = 0;
  for (int y = 0; y < p.outH; ++y) {
    const int sy = std::min(p.Source(y) / refScale, ref.height - 1);
    for (int x = 0; x < p.outW; ++x) {
      const int sx = std::min(p.Source(x) / refScale, ref.width - 1);
      const uint8_t* r = &ref.pixels[(size_t(sy) * ref.width + sx) * 3];
      int a[3], b[3];
      Expand565(core.surface[size_t(p.offY + y) * tw + p.offX + x], a);
      Expand565(Pack565(r[0], r[1], r[2]), b);
      for (int c = 0; c < 3; ++c, ++n) sum += double(a[c] - b[c]) * (a[c] - b[c]);
    }
  }
  double mse = sum / double(n);
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}
