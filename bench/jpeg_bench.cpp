// Times the JPEG core against libjpeg-turbo producing the same RGB565 box, in one process.
//   vellumet-jpeg-bench [--sizes 2,12,24] [-n REPS] [--save DIR]
// --save writes each test picture as DIR/<MP>mp_<coding>_<sampling>.jpg.
// Pictures: generated photos of 2, 12 and 24 megapixels (4:3 and 3:2), baseline and
// progressive, 4:2:0 and 4:4:4. Boxes: the photo pipeline's (an area above 1920 x 1088
// reduced to fit it, keeping proportions, sides made even) and 800 x 480.
// libjpeg-turbo decodes at the smallest scale M/8 that still covers the picture's part of
// the box, with the fast integer DCT, no fancy upsampling and RGB565 output, then samples
// that nearest-neighbour into the box.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on

#include "jpeg/memory_decode.h"
#include "tests/jpeg/support/jpeg_samples.h"

namespace {

struct Size {
  int megapixels, w, h;
};

// The photo pipeline's decoding size for a w x h photo.
void PipelineBox(uint32_t w, uint32_t h, int& bw, int& bh) {
  if (w * h * 2 > 4177920u) {
    uint32_t qw = 1920 / w, qh = 1088 / h;
    uint32_t nw, nh;
    if (qw > qh) {
      nw = w * 1088 / h;
      nh = 1088;
      if (nw > 1920) {
        nh = 2088960 / nw;
        nw = 1920;
      }
    } else {
      nw = 1920;
      nh = h * 1920 / w;
      if (nh > 1088) {
        nw = 2088960 / nh;
        nh = 1088;
      }
    }
    w = nw;
    h = nh;
  }
  bw = int(w & ~1u);
  bh = int(h & ~1u);
}

// The picture's part of the box (the same fit the core makes).
void FittedSize(int w, int h, int tw, int th, int& ow, int& oh) {
  int32_t rx = (w << 16) / tw, ry = (h << 16) / th;
  if (rx > ry) {
    ow = tw;
    oh = (h << 16) / rx;
  } else {
    oh = th;
    ow = (w << 16) / ry;
  }
  ow = std::max(ow, 1);
  oh = std::max(oh, 1);
}

void LibjpegDecode(const std::vector<uint8_t>& jpeg, int tw, int th, std::vector<uint16_t>& box,
                   std::vector<uint16_t>& scaled) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), (unsigned long)jpeg.size());
  jpeg_read_header(&d, TRUE);
  int ow, oh;
  FittedSize(int(d.image_width), int(d.image_height), tw, th, ow, oh);
  unsigned m = 1;
  while (m < 8 && (int((d.image_width * m + 7) / 8) < ow || int((d.image_height * m + 7) / 8) < oh)) ++m;
  d.scale_num = m;
  d.scale_denom = 8;
  d.dct_method = JDCT_IFAST;
  d.do_fancy_upsampling = FALSE;
  d.out_color_space = JCS_RGB565;
  d.dither_mode = JDITHER_NONE;
  jpeg_start_decompress(&d);
  int sw = int(d.output_width), sh = int(d.output_height);
  scaled.resize(size_t(sw) * sh);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(&scaled[size_t(d.output_scanline) * sw]);
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  int offX = (tw - ow) / 2, offY = (th - oh) / 2;
  for (int y = 0; y < oh; ++y) {
    const uint16_t* src = &scaled[size_t(int64_t(y) * sh / oh) * sw];
    uint16_t* dst = &box[size_t(offY + y) * tw + offX];
    for (int x = 0; x < ow; ++x) dst[x] = src[int64_t(x) * sw / ow];
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

template <typename F>
double TimeMs(F f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> wanted = {2, 12, 24};
  int reps = 0;
  std::string saveDir;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--sizes" && i + 1 < argc) {
      wanted.clear();
      for (char* p = argv[++i]; *p;) {
        wanted.push_back(int(std::strtol(p, &p, 10)));
        if (*p == ',') ++p;
      }
    } else if (a == "--save" && i + 1 < argc) {
      saveDir = argv[++i];
    } else if (a == "-n" && i + 1 < argc) {
      reps = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: vellumet-jpeg-bench [--sizes 2,12,24] [-n REPS] [--save DIR]\n");
      return 2;
    }
  }
  const Size sizes[] = {{2, 1600, 1200}, {12, 4000, 3000}, {24, 6000, 4000}};
  std::printf("| picture | coding | sampling | box | core ms | libjpeg-turbo ms | ratio |\n");
  std::printf("|---|---|---|---|---:|---:|---:|\n");
  bool allWithin = true;
  for (const Size& sz : sizes) {
    if (std::find(wanted.begin(), wanted.end(), sz.megapixels) == wanted.end()) continue;
    Rgb pic = MakePicture(sz.w, sz.h, Content::Detailed, 11);
    int n = reps > 0 ? reps : sz.megapixels <= 2 ? 15 : sz.megapixels <= 12 ? 7 : 5;
    for (bool progressive : {false, true}) {
      for (bool h2v2 : {true, false}) {
        EncodeOptions o;
        o.quality = 90;
        o.progressive = progressive;
        o.h1 = o.v1 = h2v2 ? 2 : 1;
        std::vector<uint8_t> jpeg = EncodeJpeg(pic, o);
        if (!saveDir.empty()) {
          WriteFile(saveDir + "/" + std::to_string(sz.megapixels) + "mp_" + (progressive ? "prog" : "base") +
                        (h2v2 ? "_420" : "_444") + ".jpg",
                    jpeg);
        }
        int pw, ph;
        PipelineBox(uint32_t(sz.w), uint32_t(sz.h), pw, ph);
        for (int box = 0; box < 2; ++box) {
          int tw = box == 0 ? pw : 800, th = box == 0 ? ph : 480;
          std::vector<uint16_t> surface(size_t(tw) * th), ref(size_t(tw) * th), scaled;
          std::vector<double> core, lib;
          for (int r = 0; r < n; ++r) {
            core.push_back(TimeMs([&] {
              MemoryDecodeResult res = DecodeJpegFromMemory(jpeg.data(), jpeg.size(), tw, th, surface.data());
              if (res.status != 0) std::abort();
            }));
            lib.push_back(TimeMs([&] { LibjpegDecode(jpeg, tw, th, ref, scaled); }));
          }
          double c = Median(core), l = Median(lib);
          allWithin = allWithin && c <= 1.5 * l;
          std::printf("| %d MP %dx%d | %s | %s | %dx%d | %.1f | %.1f | %.2f |\n", sz.megapixels, sz.w, sz.h,
                      progressive ? "progressive" : "baseline", h2v2 ? "4:2:0" : "4:4:4", tw, th, c, l, c / l);
          std::fflush(stdout);
        }
      }
    }
  }
  std::printf("%s\n", allWithin ? "every row within 1.5x" : "some row above 1.5x");
  return 0;
}
