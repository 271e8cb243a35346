#include "tests/jpeg/support/jpeg_samples.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace {

uint32_t Next(uint32_t& state) {
  state = state * 1664525u + 1013904223u;
  return state >> 8;
}

uint8_t Clamp(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

struct Segment {
  size_t start, length;  // bytes from the marker's 0xFF to the segment's end
  uint8_t code;
};

// The marker segments from after SOI up to (not including) the first SOS.
std::vector<Segment> HeaderSegments(const std::vector<uint8_t>& j) {
  std::vector<Segment> out;
  size_t p = 2;
  while (p + 4 <= j.size() && j[p] == 0xFF && j[p + 1] != 0xDA) {
    size_t len = size_t(j[p + 2]) << 8 | j[p + 3];
    out.push_back({p, len + 2, j[p + 1]});
    p += len + 2;
  }
  return out;
}

}  // namespace

Rgb MakePicture(int width, int height, Content content, uint32_t seed) {
  Rgb pic{width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
  uint32_t rng = seed * 2654435761u + 17;
  double cx = width * 0.37, cy = height * 0.61, rad = 0.3 * (width < height ? width : height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double fx = double(x) / width, fy = double(y) / height;
      double r = 60 + 140 * fx + 30 * std::sin(fy * 5.0 + seed);
      double g = 50 + 120 * fy + 40 * std::cos(fx * 4.0);
      double b = 90 + 80 * (1 - fx) * fy + 30 * std::sin((fx + fy) * 7.0);
      double d = std::hypot(x - cx, y - cy);
      if (d < rad) {  // a soft disc
        double t = 1 - d / rad;
        r += 60 * t;
        g -= 30 * t;
      }
      if (content == Content::Detailed) {
        double tex = 25 * std::sin(x * 0.9) * std::cos(y * 0.7) + 18 * std::sin((x + 2 * y) * 0.31);
        double noise = double(Next(rng) % 41) - 20;
        r += tex + noise;
        g += tex * 0.8 + noise;
        b += tex * 0.6 + noise;
        if (((x / 13) + (y / 17)) % 5 == 0) {  // hard-edged tiles
          r = 255 - r;
          b = 255 - b;
        }
      }
      uint8_t* p = &pic.pixels[(size_t(y) * width + x) * 3];
      p[0] = Clamp(r);
      p[1] = Clamp(g);
      p[2] = Clamp(b);
    }
  }
  return pic;
}

Rgb ReferenceDecode(const std::vector<uint8_t>& jpeg, int scaleDenom) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), (unsigned long)jpeg.size());
  jpeg_read_header(&d, TRUE);
  d.do_fancy_upsampling = FALSE;
  d.dct_method = JDCT_ISLOW;
  d.out_color_space = JCS_RGB;
  d.scale_num = 1;
  d.scale_denom = unsigned(scaleDenom);
  jpeg_start_decompress(&d);
  Rgb out{int(d.output_width), int(d.output_height), {}};
  out.pixels.resize(size_t(out.width) * out.height * 3);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = &out.pixels[size_t(d.output_scanline) * out.width * 3];
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return out;
}

std::vector<uint8_t> MoveDriBeforeFrame(const std::vector<uint8_t>& j) {
  for (const Segment& s : HeaderSegments(j)) {
    if (s.code != 0xDD) continue;
    std::vector<uint8_t> out(j.begin(), j.begin() + 2);
    out.insert(out.end(), j.begin() + long(s.start), j.begin() + long(s.start + s.length));
    out.insert(out.end(), j.begin() + 2, j.begin() + long(s.start));
    out.insert(out.end(), j.begin() + long(s.start + s.length), j.end());
    return out;
  }
  throw std::runtime_error("no DRI segment");
}

std::vector<uint8_t> MergeDqtSegments(const std::vector<uint8_t>& j) {
  std::vector<uint8_t> tables, after;  // the tables' bodies; the other segments after the first DQT
  size_t firstDqt = 0, end = 2;
  int count = 0;
  for (const Segment& s : HeaderSegments(j)) {
    const auto from = j.begin() + long(s.start), to = from + long(s.length);
    if (s.code == 0xDB && count++ == 0) firstDqt = s.start;
    if (s.code == 0xDB) tables.insert(tables.end(), from + 4, to);
    else if (count > 0) after.insert(after.end(), from, to);
    end = s.start + s.length;
  }
  if (count < 2) throw std::runtime_error("fewer than two DQT segments");
  std::vector<uint8_t> out(j.begin(), j.begin() + long(firstDqt));
  out.insert(out.end(), {0xFF, 0xDB, uint8_t((tables.size() + 2) >> 8), uint8_t(tables.size() + 2)});
  out.insert(out.end(), tables.begin(), tables.end());
  out.insert(out.end(), after.begin(), after.end());
  out.insert(out.end(), j.begin() + long(end), j.end());
  return out;
}

std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& j) {
  std::vector<uint8_t> out(j.begin(), j.begin() + 2);
  size_t end = 2;
  for (const Segment& s : HeaderSegments(j)) {
    if (s.code != 0xC4) out.insert(out.end(), j.begin() + long(s.start), j.begin() + long(s.start + s.length));
    end = s.start + s.length;
  }
  out.insert(out.end(), j.begin() + long(end), j.end());
  return out;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return bool(f);
}

uint64_t Fnv1a(const void* data, size_t n) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint64_t h = 1469598103934665603ull;
  for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}
