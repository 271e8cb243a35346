// Writes the BMP fuzz target's seeds into a folder: a small picture of every kind the
// reader takes, and coded pictures whose codes reach outside the picture.
//   make_seeds DIR
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/platform/imaging/bmp_files.h"

using bmpfile::Bytes;
using bmpfile::Header;
using bmpfile::Mixed;
using bmpfile::Palette;
using bmpfile::Shape;

namespace {

int g_written = 0;

void Write(const std::string& dir, const std::string& name, const Bytes& file) {
  std::ofstream out(dir + "/" + name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  g_written += out.good();
}

std::vector<std::uint32_t> Values(int count, std::uint32_t step) {
  std::vector<std::uint32_t> out;
  for (int i = 0; i < count; ++i) out.push_back(std::uint32_t(i) * step);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  const int w = 13, h = 7;
  for (int bits : {1, 4, 8}) {
    const int colours = 1 << (bits == 8 ? 5 : bits);
    for (bool topDown : {false, true}) {
      Shape shape{w, topDown ? -h : h, bits, 0, Header::Info, Palette(colours), {}};
      std::vector<std::uint32_t> values;
      for (std::uint8_t i : Mixed(w, h, colours)) values.push_back(i);
      Write(dir, "plain" + std::to_string(bits) + (topDown ? "-topdown" : ""), bmpfile::File(shape, bmpfile::Rows(shape, values)));
    }
  }
  const Shape rle8{w, h, 8, 1, Header::Info, Palette(32), {}};
  const Shape rle4{w, h, 4, 2, Header::V5, Palette(16), {}};
  Write(dir, "rle8", bmpfile::File(rle8, bmpfile::Rle8(Mixed(w, h, 32), w, h)));
  Write(dir, "rle4", bmpfile::File(rle4, bmpfile::Rle4(Mixed(w, h, 16), w, h)));
  // Moves, runs past the row's end and past the top, a stored run cut by the file's end.
  Write(dir, "rle8-codes", bmpfile::File(rle8, {3, 1, 0, 0, 0, 2, 2, 1, 200, 2, 0, 0, 0, 3, 3, 1, 3, 0, 0, 2, 0, 9, 1, 1}));
  Write(dir, "rle4-codes", bmpfile::File(rle4, {5, 0x12, 0, 0, 0, 2, 250, 0, 3, 0x33, 0, 5, 0x31, 0x32, 0x10, 0, 0, 1}));
  Write(dir, "rle8-cut", bmpfile::File(rle8, {0, 9, 1, 2, 3}));

  Shape fifteen{w, h, 16, 0, Header::Info, {}, {}};
  Write(dir, "rgb555", bmpfile::File(fifteen, bmpfile::Rows(fifteen, Values(w * h, 0x0421))));
  for (Header header : {Header::Info, Header::V4, Header::V5}) {
    Shape shape{w, -h, 16, 3, header, {}, {0xF800, 0x07E0, 0x001F, 0}};
    Write(dir, "rgb565-" + std::to_string(int(header)), bmpfile::File(shape, bmpfile::Rows(shape, Values(w * h, 0x0841))));
  }
  Shape rgb24{w, h, 24, 0, Header::Info, {}, {}};
  Write(dir, "rgb24", bmpfile::File(rgb24, bmpfile::Rows(rgb24, Values(w * h, 0x030507))));
  Shape rgb32{w, h, 32, 0, Header::V5, {}, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}};
  Write(dir, "rgb32", bmpfile::File(rgb32, bmpfile::Rows(rgb32, Values(w * h, 0x01030507))));
  Shape fields32{w, h, 32, 6, Header::Info, {}, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}};
  Write(dir, "fields32", bmpfile::File(fields32, bmpfile::Rows(fields32, Values(w * h, 0x00100401))));
  Shape core8{w, h, 8, 0, Header::Core, Palette(256), {}};
  Write(dir, "core8", bmpfile::File(core8, bmpfile::Rows(core8, Values(w * h, 3))));
  Shape core24{w, h, 24, 0, Header::Core, {}, {}};
  Write(dir, "core24", bmpfile::File(core24, bmpfile::Rows(core24, Values(w * h, 0x010203))));
  std::printf("%d seeds\n", g_written);
  return 0;
}
