// BMP files written field by field, of every kind the BMP reader takes, and the run-length
// codes a plain encoder writes: for the imaging tests and the BMP fuzz target's seeds.
// Only the standard library is used, so that the fuzz run can build it on its own.
#pragma once

#include <cstdint>
#include <vector>

namespace bmpfile {

using Bytes = std::vector<std::uint8_t>;

enum class Header { Core = 12, Info = 40, V4 = 108, V5 = 124 };

struct Shape {
  int width = 0;
  int height = 0;  // negative: rows top-down
  int bits = 8;
  std::uint32_t compression = 0;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields with alpha
  Header header = Header::Info;
  std::vector<std::uint32_t> palette;  // 0xRRGGBB
  std::uint32_t masks[4] = {};         // red, green, blue, alpha, for bit fields
};

// The file: file header, picture header, the masks after an info header, the palette, then
// the pixel bytes as given (rows in file order, or codes).
Bytes File(const Shape& shape, const Bytes& pixels);

// Rows in file order, each padded to 4 bytes, from one value a pixel (a palette index or a
// packed 16- or 32-bit pixel, or 0xRRGGBB for 24 bits), given top to bottom.
Bytes Rows(const Shape& shape, const std::vector<std::uint32_t>& values);

// Codes of palette indices given top to bottom, bottom row first: runs of equal indices,
// absolute runs of mixed ones, an end of line after each row and the end of the picture.
Bytes Rle8(const std::vector<std::uint8_t>& indices, int width, int height);
Bytes Rle4(const std::vector<std::uint8_t>& indices, int width, int height);

// A palette of that many colours (0xRRGGBB), and indices into it, top to bottom, in long
// runs, short runs and single pixels.
std::vector<std::uint32_t> Palette(int colours);
std::vector<std::uint8_t> Mixed(int width, int height, int colours);

}  // namespace bmpfile
