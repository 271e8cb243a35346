// vellumet-jpeg: runs the JPEG core on one file.
//   vellumet-jpeg decode IN.jpg --box W H --out OUT.png|OUT.ppm [--threads T]
//   vellumet-jpeg bench IN.jpg --box W H [-n N] [--threads T]
// --threads sets how many threads the core may use (JpegSetThreads); the default is the
// machine's cores.
// Exit status: 0 success, 1 the core refused the file, 2 a decode call failed,
// 3 bad arguments or a file that cannot be read or written.
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "jpeg/memory_decode.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: vellumet-jpeg decode IN.jpg --box W H --out OUT.png|OUT.ppm [--threads T]\n"
               "       vellumet-jpeg bench IN.jpg --box W H [-n N] [--threads T]\n");
  return 3;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}

// RGB565 to 8-bit channels, each widened by repeating its top bits.
void ToRgb8(const std::vector<uint16_t>& pixels, std::vector<uint8_t>& rgb) {
  rgb.resize(pixels.size() * 3);
  for (size_t i = 0; i < pixels.size(); ++i) {
    unsigned p = pixels[i];
    unsigned r = (p >> 11) & 31, g = (p >> 5) & 63, b = p & 31;
    rgb[3 * i] = uint8_t((r << 3) | (r >> 2));
    rgb[3 * i + 1] = uint8_t((g << 2) | (g >> 4));
    rgb[3 * i + 2] = uint8_t((b << 3) | (b >> 2));
  }
}

bool WritePpm(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", w, h);
  bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
  return std::fclose(f) == 0 && ok;
}

bool WritePng(const std::string& path, int w, int h, const std::vector<uint8_t>& rgb) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) png_write_row(png, rgb.data() + size_t(y) * w * 3);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
}

void PrintInfo(const MemoryDecodeResult& r) {
  const JpegDecInfo& i = r.info;
  std::printf("ColorFormat=%u Sampling=%u,%u,%u,%u,%u,%u CalcBufSize=%u ImageWidth=%d ImageHeight=%d level=%d calls=%d\n",
              i.ColorFormat, i.Sampling[0], i.Sampling[1], i.Sampling[2], i.Sampling[3], i.Sampling[4],
              i.Sampling[5], i.CalcBufSize, i.ImageWidth, i.ImageHeight, r.level, r.calls);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  std::string command = argv[1], in = argv[2], out;
  int w = 0, h = 0, runs = 20;
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--box" && i + 2 < argc) {
      w = std::atoi(argv[i + 1]);
      h = std::atoi(argv[i + 2]);
      i += 2;
    } else if (a == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (a == "-n" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else if (a == "--threads" && i + 1 < argc) {
      JpegSetThreads(std::atoi(argv[++i]));
    } else {
      return Usage();
    }
  }
  if (w < 1 || h < 1 || w > 32767 || h > 32767 || runs < 1) return Usage();
  std::vector<uint8_t> file;
  if (!ReadFile(in, file)) {
    std::fprintf(stderr, "vellumet-jpeg: cannot read %s\n", in.c_str());
    return 3;
  }
  std::vector<uint16_t> surface(size_t(w) * h, 0);

  if (command == "decode") {
    if (out.empty()) return Usage();
    MemoryDecodeResult r = DecodeJpegFromMemory(file.data(), file.size(), w, h, surface.data());
    if (r.status == 1) {
      std::printf("refused\n");
      return 1;
    }
    PrintInfo(r);
    if (r.status == 2) return 2;
    std::vector<uint8_t> rgb;
    ToRgb8(surface, rgb);
    bool ppm = out.size() >= 4 && out.compare(out.size() - 4, 4, ".ppm") == 0;
    if (!(ppm ? WritePpm(out, w, h, rgb) : WritePng(out, w, h, rgb))) {
      std::fprintf(stderr, "vellumet-jpeg: cannot write %s\n", out.c_str());
      return 3;
    }
    return 0;
  }
  if (command == "bench") {
    std::vector<double> ms;
    MemoryDecodeResult r;
    for (int i = 0; i < runs; ++i) {
      auto t0 = std::chrono::steady_clock::now();
      r = DecodeJpegFromMemory(file.data(), file.size(), w, h, surface.data());
      auto t1 = std::chrono::steady_clock::now();
      if (r.status == 1) {
        std::printf("refused\n");
        return 1;
      }
      if (r.status == 2) return 2;
      ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    PrintInfo(r);
    std::sort(ms.begin(), ms.end());
    double median = ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    std::printf("median_ms=%.3f\n", median);
    return 0;
  }
  return Usage();
}
