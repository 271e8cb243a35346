#include "tests/platform/imaging/bmp_files.h"

#include <cstddef>
#include <cstdlib>

namespace bmpfile {

namespace {

void Put16(Bytes& out, std::uint32_t v) { out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)}); }
void Put32(Bytes& out, std::uint32_t v) {
  out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
}

// One row's codes: runs of three or more equal indices as runs, the rest as absolute runs
// (which need at least three indices) or single runs.
void EncodeRow(Bytes& out, const std::uint8_t* row, int width, bool nibbles) {
  int x = 0;
  auto runAt = [&](int at) {
    int n = 1;
    while (at + n < width && n < 255 && row[at + n] == row[at]) ++n;
    return n;
  };
  while (x < width) {
    const int run = runAt(x);
    if (run >= 3 || width - x < 3) {
      out.push_back(std::uint8_t(run));
      out.push_back(nibbles ? std::uint8_t(row[x] << 4 | row[x]) : row[x]);
      x += run;
      continue;
    }
    int n = 0;
    while (x + n < width && n < 255 && runAt(x + n) < 3) ++n;
    if (n < 3) {
      out.push_back(1);
      out.push_back(nibbles ? std::uint8_t(row[x] << 4 | row[x]) : row[x]);
      ++x;
      continue;
    }
    out.push_back(0);
    out.push_back(std::uint8_t(n));
    const std::size_t start = out.size();
    for (int i = 0; i < n; ++i) {
      if (!nibbles) out.push_back(row[x + i]);
      else if (i % 2 == 0) out.push_back(std::uint8_t(row[x + i] << 4));
      else out.back() |= row[x + i];
    }
    if ((out.size() - start) % 2) out.push_back(0);
    x += n;
  }
}

Bytes Encode(const std::vector<std::uint8_t>& indices, int width, int height, bool nibbles) {
  Bytes out;
  for (int y = height - 1; y >= 0; --y) {
    EncodeRow(out, indices.data() + std::size_t(y) * width, width, nibbles);
    if (y > 0) out.insert(out.end(), {0, 0});
  }
  out.insert(out.end(), {0, 1});
  return out;
}

}  // namespace

Bytes File(const Shape& shape, const Bytes& pixels) {
  const bool core = shape.header == Header::Core;
  const std::uint32_t headerSize = std::uint32_t(shape.header);
  const bool bitFields = shape.compression == 3 || shape.compression == 6;
  const std::uint32_t masksAfter = bitFields && shape.header == Header::Info ? (shape.compression == 6 ? 16 : 12) : 0;
  const std::uint32_t paletteBytes = std::uint32_t(shape.palette.size()) * (core ? 3 : 4);
  const std::uint32_t offset = 14 + headerSize + masksAfter + paletteBytes;
  Bytes out{'B', 'M'};
  Put32(out, offset + std::uint32_t(pixels.size()));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, headerSize);
  if (core) {
    Put16(out, std::uint32_t(shape.width));
    Put16(out, std::uint32_t(std::abs(shape.height)));
    Put16(out, 1);
    Put16(out, std::uint32_t(shape.bits));
  } else {
    Put32(out, std::uint32_t(shape.width));
    Put32(out, std::uint32_t(shape.height));
    Put16(out, 1);
    Put16(out, std::uint32_t(shape.bits));
    Put32(out, shape.compression);
    Put32(out, std::uint32_t(pixels.size()));
    Put32(out, 2835);  // 72 dots an inch
    Put32(out, 2835);
    Put32(out, std::uint32_t(shape.palette.size()));
    Put32(out, 0);
    // V4 and V5: the masks, then colour space, end points and gamma (and V5's intent and
    // profile), left zero.
    if (shape.header != Header::Info) {
      for (std::uint32_t m : shape.masks) Put32(out, m);
      out.resize(out.size() + headerSize - 56, 0);
    }
  }
  for (std::uint32_t i = 0; i < masksAfter / 4; ++i) Put32(out, shape.masks[i]);
  for (std::uint32_t c : shape.palette) {
    out.insert(out.end(), {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)});
    if (!core) out.push_back(0);
  }
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}

Bytes Rows(const Shape& shape, const std::vector<std::uint32_t>& values) {
  const int height = std::abs(shape.height);
  const std::size_t stride = (std::size_t(shape.width) * shape.bits + 31) / 32 * 4;
  Bytes out;
  for (int row = 0; row < height; ++row) {
    const int y = shape.height < 0 ? row : height - 1 - row;
    Bytes line(stride, 0);
    for (int x = 0; x < shape.width; ++x) {
      const std::uint32_t v = values[std::size_t(y) * shape.width + x];
      switch (shape.bits) {
        case 1: line[x / 8] |= std::uint8_t((v & 1) << (7 - x % 8)); break;
        case 4: line[x / 2] |= std::uint8_t((v & 15) << (x % 2 ? 0 : 4)); break;
        case 8: line[x] = std::uint8_t(v); break;
        case 16: line[2 * x] = std::uint8_t(v), line[2 * x + 1] = std::uint8_t(v >> 8); break;
        case 24: line[3 * x] = std::uint8_t(v), line[3 * x + 1] = std::uint8_t(v >> 8), line[3 * x + 2] = std::uint8_t(v >> 16); break;
        default:
          for (int k = 0; k < 4; ++k) line[4 * x + k] = std::uint8_t(v >> (8 * k));
          break;
      }
    }
    out.insert(out.end(), line.begin(), line.end());
  }
  return out;
}

Bytes Rle8(const std::vector<std::uint8_t>& indices, int width, int height) { return Encode(indices, width, height, false); }
Bytes Rle4(const std::vector<std::uint8_t>& indices, int width, int height) { return Encode(indices, width, height, true); }

std::vector<std::uint32_t> Palette(int colours) {
  std::vector<std::uint32_t> palette;
  for (int i = 0; i < colours; ++i)
    palette.push_back((0x102030u * std::uint32_t(i + 1) ^ 0x00C040u * std::uint32_t(i % 3)) & 0xFFFFFF);
  return palette;
}

std::vector<std::uint8_t> Mixed(int width, int height, int colours) {
  std::vector<std::uint8_t> indices;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      indices.push_back(std::uint8_t(x < width / 3 ? y % colours : x < 2 * width / 3 ? (x * 7 + y * 3) % colours : (x / 4) % colours));
  return indices;
}

}  // namespace bmpfile
