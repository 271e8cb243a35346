// BMP files read straight from their bytes, without the imaging interfaces: the header and
// the rows of pixels. Read is what Windows programs write: 1, 4 and 8 bits with a palette
// (uncompressed, RLE4 and RLE8), 16 bits (5-5-5, or bit fields such as 5-6-5), 24 bits and
// 32 bits (plain or bit fields), rows bottom-up or top-down, with the core (12-byte), info
// (40-byte) or a later header (up to V5). The imaging service's BMP reader and the build's
// skin compiler both read BMP files through this.
//
// Nothing here reads or writes outside the file's bytes or the caller's row, whatever the
// file says: headers that do not fit the file are refused, and run-length codes that point
// outside the picture or past the end of the file stop at what is valid.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/kernel/types.h"

namespace bmp {

enum class Status { Ok, NotBmp, Unsupported, Corrupt, TooLarge };

// The header's compression codes.
constexpr DWORD kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
// No side may be longer: even a row-by-row decode needs a whole row.
constexpr long long kMaxSide = 1000000;

// A channel of a bit-field pixel: where it sits and how wide it is.
struct Channel {
  DWORD mask = 0;
  int shift = 0;
  int bits = 0;
  void Set(DWORD m);
  // The channel's value scaled to 8 bits (narrow channels stretched so that their largest
  // value becomes 255).
  BYTE Of(DWORD pixel) const;
};

struct Layout {
  UINT width = 0, height = 0;
  bool topDown = false;
  int bitCount = 0;
  DWORD compression = kRgb;
  size_t pixelOffset = 0;     // where the pixels (or the run-length codes) start
  size_t stride = 0;          // bytes of an uncompressed row, padded to 4
  std::vector<BYTE> palette;  // blue, green, red triples; at most 256
  Channel red, green, blue;   // 16 and 32 bits
  double dpiX = 0, dpiY = 0;  // 0 when the file does not say

  bool HasPalette() const { return bitCount <= 8; }
  bool IsCompressed() const { return compression == kRle8 || compression == kRle4; }
};

// Reads the header: NotBmp without the "BM" mark, Unsupported for a kind of BMP not read
// here (such as 2 bits a pixel or JPEG inside), Corrupt for a header that contradicts itself
// or the file's size, TooLarge above kMaxSide.
Status ReadLayout(const BYTE* file, size_t size, Layout* layout);

// The rows of a picture, top to bottom. The file's bytes must outlive the object.
// Uncompressed rows are read from the file when asked for. Compressed pictures are expanded
// whole by Expand into width x height palette indices: pixels that the codes never reach
// (skipped by a delta or an early end of line, or after the last code) keep index 0, and
// pixels of a run that goes past the end of its row are dropped.
class Rows {
 public:
  Rows(const BYTE* file, size_t size, const Layout& layout);
  // Expands a compressed picture, once (the first row does it otherwise); false when its
  // memory cannot be had, and the rows are then all index 0.
  bool Expand();
  // Row y's palette indices, width bytes (palette pictures only).
  void Indices(UINT y, BYTE* out);
  // Row y as blue, green, red bytes, 3 x width bytes. Indices outside the palette are black.
  void Bgr(UINT y, BYTE* out);

 private:
  const BYTE* FileRow(UINT y) const;
  void ExpandRunLengths();

  const BYTE* file_;
  size_t size_;
  Layout layout_;
  std::vector<BYTE> expanded_;  // compressed pictures: indices, rows top to bottom
  std::vector<BYTE> indices_;   // one row, for Bgr of palette pictures
};

}  // namespace bmp
