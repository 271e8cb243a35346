// Output scaling: the mapping from the picture to the target box, the nearest-neighbour
// walk that hands each covered target pixel to the pixel writer, and the RGB565 writer.
#include <cstring>

#include "jpeg/jpeg_state.h"
#include "jpeg/simd.h"

uint16_t* gOutSurface = nullptr;

namespace {

// YCbCr to RGB terms (1.402, 0.71414, 0.34414, 1.772 with 20 fraction bits) and the
// RGB565 packing of clamped channels, indexed by value + 384.
struct ColorTables {
  int16_t crR[256], crG[256], cbG[256], cbB[256];
  uint16_t r565[1024], g565[1024], b565[1024];
  // Row masks of a chroma block a half or a quarter of the luma height: bit r -> bit r/2, r/4.
  uint8_t half[256], quarter[256];
  constexpr ColorTables() : crR(), crG(), cbG(), cbB(), r565(), g565(), b565(), half(), quarter() {
    for (int i = 0; i < 256; ++i) {
      crR[i] = int16_t(((i - 128) * 1470103) >> 20);
      crG[i] = int16_t(((i - 128) * 748830) >> 20);
      cbG[i] = int16_t(((i - 128) * 360857) >> 20);
      cbB[i] = int16_t(((i - 128) * 1858076) >> 20);
      int h = 0, q = 0;
      for (int b = 0; b < 8; ++b) {
        if (i & (1 << b)) {
          h |= 1 << (b / 2);
          q |= 1 << (b / 4);
        }
      }
      half[i] = uint8_t(h);
      quarter[i] = uint8_t(q);
    }
    for (int i = 0; i < 1024; ++i) {
      int v = i - 384;
      int c = v < 0 ? 0 : v > 255 ? 255 : v;
      r565[i] = uint16_t((c & 0xF8) << 8);
      g565[i] = uint16_t((c & 0xFC) << 3);
      b565[i] = uint16_t(c >> 3);
    }
  }
};
constexpr ColorTables kColor;

inline uint16_t YccTo565(int y, int cb, int cr) {
  return uint16_t(kColor.r565[y + kColor.crR[cr] + 384] |
                  kColor.g565[y - kColor.crG[cr] - kColor.cbG[cb] + 384] |
                  kColor.b565[y + kColor.cbB[cb] + 384]);
}

inline uint16_t RgbTo565(int r, int g, int b) {
  return uint16_t(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
}

}  // namespace

void PutPixelRGB565(int c0, int c1, int c2, int index, int, int, int colorFormat) {
  // Format 2 (components neither numbered nor named R) is taken as YCbCr.
  gOutSurface[index] = colorFormat == 1 ? RgbTo565(c0, c1, c2) : YccTo565(c0, c1, c2);
}

void SetupOutputMapping() {
  JpegDecoderState& s = gJpegState;
  int32_t w = s.imageWidth, h = s.imageHeight, tw = s.targetWidth, th = s.targetHeight;
  int32_t rx = (w << 16) / tw, ry = (h << 16) / th;
  int32_t side, target, outW, outH;
  if (rx > ry) {
    s.ratio = rx;
    outW = tw;
    outH = (h << 16) / rx;
    s.offX = 0;
    s.offY = int16_t((th - outH) >> 1);
    side = w;
    target = tw;
  } else {
    s.ratio = ry;
    outH = th;
    outW = (w << 16) / ry;
    s.offY = 0;
    s.offX = int16_t((tw - outW) >> 1);
    side = h;
    target = th;
  }
  s.level = side >= 8 * target ? 2 : side >= 3 * target ? 1 : 0;
  s.outWidth = int16_t(outW == 0 ? 1 : outW);
  s.outHeight = int16_t(outH == 0 ? 1 : outH);

  int longer = tw > th ? tw : th;
  uint32_t v = 0;
  for (int i = 0; i < longer; ++i, v += uint32_t(s.ratio)) {
    s.coordTable[i] = int16_t(int32_t(v) >> 16);
    s.blockTable[i] = int16_t(int32_t(v) >> 19);
  }
  s.invRatio = uint32_t((1u << 28) / uint32_t(s.ratio)) << 4;

  // The target columns and rows each source block covers, and the sampled rows in it.
  std::memset(s.colStart, 0, sizeof s.colStart);
  std::memset(s.colEnd, 0, sizeof s.colEnd);
  std::memset(s.rowStart, 0, sizeof s.rowStart);
  std::memset(s.rowEnd, 0, sizeof s.rowEnd);
  std::memset(s.rowMask, 0, sizeof s.rowMask);
  for (int x = s.outWidth - 1; x >= 0; --x) {
    int bc = s.blockTable[x];
    if (bc < 0 || bc >= kMaxBlockCols) continue;
    if (s.colEnd[bc] == 0) s.colEnd[bc] = int16_t(x + 1);
    s.colStart[bc] = int16_t(x);
  }
  for (int y = s.outHeight - 1; y >= 0; --y) {
    int br = s.blockTable[y];
    if (br < 0 || br >= kMaxBlockCols) continue;
    if (s.rowEnd[br] == 0) s.rowEnd[br] = int16_t(y + 1);
    s.rowStart[br] = int16_t(y);
    s.rowMask[br] = uint8_t(s.rowMask[br] | (1u << (s.coordTable[y] & 7)));
  }
}

uint32_t BlockRowMask(int comp, int by, int mcuRow) {
  const JpegDecoderState& s = gJpegState;
  const int vy = s.compV[1];
  const uint8_t* luma = s.rowMask + vy * mcuRow;
  if (comp == 1 || s.compV[comp] == vy) return luma[by];
  if (vy == 2 * s.compV[comp]) return kColor.half[luma[2 * by]] | (kColor.half[luma[2 * by + 1]] << 4);
  // A quarter of the luma height: four luma block rows make one chroma block row.
  uint32_t mask = 0;
  for (int q = 0; q < 4; ++q) mask |= uint32_t(kColor.quarter[luma[4 * by + q]]) << (2 * q);
  return mask;
}

namespace {

struct Chroma {
  const int16_t* area;
  int h;       // blocks across in the MCU
  int hShift;  // 1 when sampled at half the luma width, 2 at a quarter
  int vShift;
};

// log2 of the luma-to-chroma factor ratio (1, 2 or 4).
inline int RatioShift(int luma, int chroma) { return luma == chroma ? 0 : luma == 2 * chroma ? 1 : 2; }

inline Chroma ChromaOf(const JpegDecoderState& s, int comp, const int16_t* area) {
  return Chroma{area, s.compH[comp], RatioShift(s.compH[1], s.compH[comp]), RatioShift(s.compV[1], s.compV[comp])};
}

// Coefficient offset of the chroma sample under luma position (lx, ly) of the MCU.
inline int ChromaIndex(const Chroma& c, int lx, int ly) {
  int u = lx >> c.hShift, w = ly >> c.vShift;
  return ((w >> 3) * c.h + (u >> 3)) * 64 + (w & 7) * 8 + (u & 7);
}

// The chroma values under luma row ly of the MCU, from luma column 8 * bx on: value sx is
// row[sx >> hShift].
inline const int16_t* ChromaRow(const Chroma& c, int bx, int ly) {
  return c.area + ChromaIndex(c, 8 * bx, ly);
}

#if JPEG_SIMD
using simd::V16;

// The range-limit lookup rangeLimit[(v >> 5) & 1023] on eight lanes: bits 5 to 14 of v
// taken as a signed value, plus 128, clamped to 0..255.
inline V16 Sample8(V16 v) {
  using namespace simd;
  return Min(Max(Add(Sra<6>(Shl<1>(v)), Set(128)), Set(0)), Set(255));
}

// The colour terms ((d * k) >> 20) of the plain writer, for d = chroma - 128 from -128 to
// 127, as the high half of one 16-bit product: (d << 2) * 22970 >> 16 equals
// (d * 1470103) >> 20 for every such d, and likewise (d << 1) * 23370 for 748830, d * 22553
// for 360857 and (d << 2) * 29033 for 1858076 (each checked over all 256 values).
constexpr int kCrR = 22970, kCrG = 23370, kCbG = 22553, kCbB = 29033;

inline V16 Clamp8(V16 v) { return simd::Min(simd::Max(v, simd::Set(0)), simd::Set(255)); }

inline V16 Pack565(V16 r, V16 g, V16 b) {
  using namespace simd;
  return Or(Or(Shl<8>(And(r, Set(0xF8))), Shl<3>(And(g, Set(0xFC)))), Srl<3>(b));
}

// The chroma values under eight luma columns: each value taken 1, 2 or 4 times.
inline V16 LoadChroma(const int16_t* row, int hShift) {
  if (hShift == 0) return simd::Load(row);
  if (hShift == 1) {
    V16 v = simd::Load4(row);
    return simd::ZipLo16(v, v);
  }
  V16 v = simd::Load2(row);
  v = simd::ZipLo16(v, v);
  return simd::ZipLo32(v, v);
}

// Eight RGB565 pixels of one luma block row. Must equal, for each sx from 0 to 7, the plain
// writer's pixel: YccTo565 (RgbTo565 for format 1) of the range-limited luma value lrow[sx]
// and chroma values cb[sx >> hShift], cr[sx >> hShift] (128 each for grey).
inline V16 Row565(const int16_t* lrow, const int16_t* cbRow, const int16_t* crRow, const Chroma& cb,
                  const Chroma& cr, bool gray, uint32_t colorFormat) {
  using namespace simd;
  V16 y = Sample8(Load(lrow));
  if (gray) return Pack565(y, y, y);
  V16 u = Sample8(LoadChroma(cbRow, cb.hShift));
  V16 v = Sample8(LoadChroma(crRow, cr.hShift));
  if (colorFormat == 1) return Pack565(y, u, v);
  V16 du = Sub(u, Set(128)), dv = Sub(v, Set(128));
  V16 r = Clamp8(Add(y, MulHi(Shl<2>(dv), Set(kCrR))));
  V16 g = Clamp8(Sub(Sub(y, MulHi(Shl<1>(dv), Set(kCrG))), MulHi(du, Set(kCbG))));
  V16 b = Clamp8(Add(y, MulHi(Shl<2>(du), Set(kCbB))));
  return Pack565(r, g, b);
}
#endif

}  // namespace

#if JPEG_SIMD
namespace {

// OutputMcuFull for PutPixelRGB565, which it must equal: each sampled row of a luma block
// is converted whole (Row565), and the box takes the columns it samples from it.
void OutputMcu565(int16_t* const areas[3], int mcuCol, int mcuRow) {
  const JpegDecoderState& s = gJpegState;
  const int32_t* coord = s.coordTable;
  const int hy = s.compH[1], vy = s.compV[1];
  const bool gray = s.nf == 1;
  const uint32_t format = s.colorFormat;
  const size_t tw = size_t(s.targetWidth);
  uint16_t* const box = gOutSurface + size_t(s.offY) * tw + size_t(s.offX);
  const bool oneToOne = s.ratio == 0x10000;  // target column x samples column x
  Chroma cb{}, cr{};
  if (!gray) {
    cb = ChromaOf(s, 2, areas[1]);
    cr = ChromaOf(s, 3, areas[2]);
  }
  for (int by = 0; by < vy; ++by) {
    const int br = vy * mcuRow + by;
    const int y0 = s.rowStart[br], y1 = s.rowEnd[br];
    if (y0 >= y1) continue;
    for (int bx = 0; bx < hy; ++bx) {
      const int bc = hy * mcuCol + bx;
      const int x0 = s.colStart[bc], x1 = s.colEnd[bc];
      if (x0 >= x1) continue;
      const int16_t* lum = areas[0] + (by * hy + bx) * 64;
      // The chroma under the block's first row; row sy lies (sy >> vShift) rows further.
      const int16_t* cbBlock = gray ? nullptr : ChromaRow(cb, bx, 8 * by);
      const int16_t* crBlock = gray ? nullptr : ChromaRow(cr, bx, 8 * by);
      alignas(16) uint16_t row[8];
      int lastSy = -1;  // the block row held in `row`
      for (int y = y0; y < y1; ++y) {
        const int sy = coord[y] & 7;
        if (sy != lastSy) {
          const int16_t* cbRow = gray ? nullptr : cbBlock + ((sy >> cb.vShift) << 3);
          const int16_t* crRow = gray ? nullptr : crBlock + ((sy >> cr.vShift) << 3);
          simd::Store(row, Row565(lum + 8 * sy, cbRow, crRow, cb, cr, gray, format));
          lastSy = sy;
        }
        uint16_t* out = box + size_t(y) * tw;
        if (oneToOne && x1 - x0 == 8) {
          std::memcpy(out + x0, row, sizeof row);
        } else {
          for (int x = x0; x < x1; ++x) out[x] = row[coord[x] & 7];
        }
      }
    }
  }
}

}  // namespace
#endif

void OutputMcuFull(int16_t* const areas[3], int mcuCol, int mcuRow) {
  const JpegDecoderState& s = gJpegState;
  const uint8_t* rl = s.rangeLimit;
  const int32_t* coord = s.coordTable;
  const int hy = s.compH[1], vy = s.compV[1];
  const bool gray = s.nf == 1;
  Chroma cb{}, cr{};
  if (!gray) {
    cb = ChromaOf(s, 2, areas[1]);
    cr = ChromaOf(s, 3, areas[2]);
  }
  const bool fast = s.putPixel == PutPixelRGB565;
#if JPEG_SIMD
  if (fast && gOutSurface) {
    OutputMcu565(areas, mcuCol, mcuRow);
    return;
  }
#endif
  const int tw = s.targetWidth;
  for (int by = 0; by < vy; ++by) {
    int br = vy * mcuRow + by;
    int y0 = s.rowStart[br], y1 = s.rowEnd[br];
    if (y0 >= y1) continue;
    for (int bx = 0; bx < hy; ++bx) {
      int bc = hy * mcuCol + bx;
      int x0 = s.colStart[bc], x1 = s.colEnd[bc];
      if (x0 >= x1) continue;
      const int16_t* lum = areas[0] + (by * hy + bx) * 64;
      for (int y = y0; y < y1; ++y) {
        int sy = coord[y] & 7;
        int ly = 8 * by + sy;
        int py = s.offY + y;
        const int16_t* lrow = lum + sy * 8;
        if (fast && gOutSurface) {
          uint16_t* out = gOutSurface + tw * py + s.offX;
          if (gray) {
            for (int x = x0; x < x1; ++x) {
              int yv = rl[(lrow[coord[x] & 7] >> 5) & 1023];
              out[x] = YccTo565(yv, 128, 128);
            }
          } else if (s.colorFormat == 1) {
            for (int x = x0; x < x1; ++x) {
              int sx = coord[x] & 7, lx = 8 * bx + sx;
              out[x] = RgbTo565(rl[(lrow[sx] >> 5) & 1023],
                                rl[(cb.area[ChromaIndex(cb, lx, ly)] >> 5) & 1023],
                                rl[(cr.area[ChromaIndex(cr, lx, ly)] >> 5) & 1023]);
            }
          } else {
            for (int x = x0; x < x1; ++x) {
              int sx = coord[x] & 7, lx = 8 * bx + sx;
              out[x] = YccTo565(rl[(lrow[sx] >> 5) & 1023],
                                rl[(cb.area[ChromaIndex(cb, lx, ly)] >> 5) & 1023],
                                rl[(cr.area[ChromaIndex(cr, lx, ly)] >> 5) & 1023]);
            }
          }
          continue;
        }
        for (int x = x0; x < x1; ++x) {
          int sx = coord[x] & 7, lx = 8 * bx + sx;
          int yv = rl[(lrow[sx] >> 5) & 1023], cbv = 128, crv = 128;
          if (!gray) {
            cbv = rl[(cb.area[ChromaIndex(cb, lx, ly)] >> 5) & 1023];
            crv = rl[(cr.area[ChromaIndex(cr, lx, ly)] >> 5) & 1023];
          }
          int px = s.offX + x;
          s.putPixel(yv, cbv, crv, tw * py + px, px, py, int(s.colorFormat));
        }
      }
    }
  }
}

void OutputMcuDc(int16_t* const areas[3], int mcuCol, int mcuRow) {
  const JpegDecoderState& s = gJpegState;
  const uint8_t* rl = s.rangeLimit;
  const int hy = s.compH[1], vy = s.compV[1];
  const bool gray = s.nf == 1;
  const bool fast = s.putPixel == PutPixelRGB565 && gOutSurface;
  const int tw = s.targetWidth;
  for (int by = 0; by < vy; ++by) {
    int br = vy * mcuRow + by;
    int y0 = s.rowStart[br], y1 = s.rowEnd[br];
    if (y0 >= y1) continue;
    for (int bx = 0; bx < hy; ++bx) {
      int bc = hy * mcuCol + bx;
      int x0 = s.colStart[bc], x1 = s.colEnd[bc];
      if (x0 >= x1) continue;
      int yv = rl[areas[0][(by * hy + bx) * 64] & 1023], cbv = 128, crv = 128;
      if (!gray) {
        int hb = s.compH[2], vb = s.compV[2], hr = s.compH[3], vr = s.compV[3];
        cbv = rl[areas[1][((by * vb / vy) * hb + bx * hb / hy) * 64] & 1023];
        crv = rl[areas[2][((by * vr / vy) * hr + bx * hr / hy) * 64] & 1023];
      }
      if (fast) {
        uint16_t v = s.colorFormat == 1 ? RgbTo565(yv, cbv, crv) : YccTo565(yv, cbv, crv);
        for (int y = y0; y < y1; ++y) {
          uint16_t* out = gOutSurface + tw * (s.offY + y) + s.offX;
          for (int x = x0; x < x1; ++x) out[x] = v;
        }
        continue;
      }
      for (int y = y0; y < y1; ++y) {
        int py = s.offY + y;
        for (int x = x0; x < x1; ++x) {
          int px = s.offX + x;
          s.putPixel(yv, cbv, crv, tw * py + px, px, py, int(s.colorFormat));
        }
      }
    }
  }
}
