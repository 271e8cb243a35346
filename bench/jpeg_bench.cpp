// Times the JPEG core against libjpeg-turbo producing the same RGB565 box, in one process.
//   vellumet-jpeg-bench [--sizes 2,12,24] [-n REPS] [--save DIR]
// --save writes each test picture as DIR/<MP>mp_<coding>_<sampling>.jpg.
// Pictures: generated photos of 2, 12 and 24 megapixels (4:3 and 3:2), baseline and
// progressive, 4:2:0 and 4:4:4. Boxes: the photo pipeline's (an area above 1920 x 1088
// reduced to fit it, keeping proportions, sides made even) and 800 x 480.
// libjpeg-turbo takes its fastest road to the same box (bench/libjpeg_box.h); the core uses
// every thread it may (JpegSetThreads).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/libjpeg_box.h"
#include "jpeg/memory_decode.h"
#include "tests/jpeg/support/jpeg_samples.h"

namespace {

using bench::Median;
using bench::TimeMs;

struct Size {
  int megapixels, w, h;
};

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
          std::vector<uint16_t> surface(size_t(tw) * th), ref(size_t(tw) * th);
          LibjpegBoxDecoder lib;
          lib.ChooseFastestRoad(jpeg, tw, th, ref.data());
          std::vector<double> core, libMs;
          for (int r = 0; r < n; ++r) {
            core.push_back(TimeMs([&] {
              MemoryDecodeResult res = DecodeJpegFromMemory(jpeg.data(), jpeg.size(), tw, th, surface.data());
              if (res.status != 0) std::abort();
            }));
            libMs.push_back(TimeMs([&] { lib.Decode(jpeg, tw, th, ref.data()); }));
          }
          double c = Median(core), l = Median(libMs);
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
