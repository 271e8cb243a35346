// Output scaling: the mapping from the picture to the target box, the nearest-neighbour
// walk that hands each covered target pixel to the pixel writer, and the RGB565 writer.
#include <cstring>

#include "jpeg/jpeg_state.h"

uint16_t* gOutSurface = nullptr;

namespace {

// YCbCr to RGB terms (1.402, 0.71414, 0.34414, 1.772 with 20 fraction bits) and the
// RGB565 packing of clamped channels, indexed by value + 384.
struct ColorTables {
  int16_t crR[256], crG[256], cbG[256], cbB[256];
  uint16_t r565[1024], g565[1024], b565[1024];
  uint8_t half[256];  // row mask of a chroma block half the luma height: bit r -> bit r/2
  constexpr ColorTables() : crR(), crG(), cbG(), cbB(), r565(), g565(), b565(), half() {
    for (int i = 0; i < 256; ++i) {
      crR[i] = int16_t(((i - 128) * 1470103) >> 20);
      crG[i] = int16_t(((i - 128) * 748830) >> 20);
      cbG[i] = int16_t(((i - 128) * 360857) >> 20);
      cbB[i] = int16_t(((i - 128) * 1858076) >> 20);
      int m = 0;
      for (int b = 0; b < 8; ++b) {
        if (i & (1 << b)) m |= 1 << (b / 2);
      }
      half[i] = uint8_t(m);
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
  int vy = s.compV[1];
  int base = vy * mcuRow;
  if (comp == 1 || s.compV[comp] == vy) return s.rowMask[base + by];
  return kColor.half[s.rowMask[base + 2 * by]] | (kColor.half[s.rowMask[base + 2 * by + 1]] << 4);
}

namespace {

struct Chroma {
  const int16_t* area;
  int h;       // blocks across in the MCU
  int hShift;  // 1 when sampled at half the luma width
  int vShift;
};

inline Chroma ChromaOf(const JpegDecoderState& s, int comp, const int16_t* area) {
  return Chroma{area, s.compH[comp], s.compH[comp] != s.compH[1], s.compV[comp] != s.compV[1]};
}

// Coefficient offset of the chroma sample under luma position (lx, ly) of the MCU.
inline int ChromaIndex(const Chroma& c, int lx, int ly) {
  int u = lx >> c.hShift, w = ly >> c.vShift;
  return ((w >> 3) * c.h + (u >> 3)) * 64 + (w & 7) * 8 + (u & 7);
}

}  // namespace

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
