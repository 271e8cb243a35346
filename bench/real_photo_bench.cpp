// Times the JPEG core (with one thread and with all it may use) against libjpeg-turbo's
// fastest road and against the reference the benchmarks had before (bench/libjpeg_box.h) on
// real photographs, producing the same RGB565 box, in alternating runs in one process;
// checks that the core's output is unchanged with every thread count.
//   vellumet-real-photo-bench LIST [-n REPS] [--record SUMS | --check SUMS]
// LIST has one case a line: NAME PATH BOX, where BOX is WxH or "pipeline" (the photo
// pipeline's decoding size for the photo). --record writes a checksum of the core's box for
// every case; --check compares with such a file and fails on any difference.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/libjpeg_box.h"
#include "jpeg/jpeg_decoder.h"
#include "jpeg/memory_decode.h"
#include "tests/jpeg/support/jpeg_samples.h"

namespace {

using bench::Median;
using bench::TimeMs;

struct Case {
  std::string name, path, box;
};

// The core with every buffer kept between runs, as a caller decoding many photos would. The
// longest decode call of the last decode is kept too: a caller that closes the photo while
// it decodes waits that long at most.
class CoreBoxDecoder {
 public:
  bool Decode(const std::vector<uint8_t>& jpeg, int tw, int th, uint16_t* box) {
    resize_.resize(size_t(std::max(tw, th)) * 2);
    MemoryStream stream{jpeg.data(), jpeg.size(), 0};
    JpegDecInfo info{};
    if (TCCXXX_JPEGDEC_Init2(&stream, tw, th, resize_.data(), &info, MemoryStreamRead) != 0) return false;
    if (work_.size() < info.CalcBufSize) work_.resize(info.CalcBufSize);
    gOutSurface = box;
    int rc;
    longestCall = 0;
    do {
      const bench::Clock::time_point start = bench::Clock::now();
      rc = TCCXXX_JPEGDEC_Decode(box, work_.data(), PutPixelRGB565);
      longestCall = std::max(longestCall, bench::MsSince(start));
    } while (rc > 0);
    return rc == 0;
  }

  double longestCall = 0;

 private:
  std::vector<int32_t> resize_;
  std::vector<uint8_t> work_;
};

// What the header says: coding, sampling and the quality the luminance table stands for
// (its mean ratio to the standard table, turned into the usual 1-100 scale).
std::string Describe(const std::vector<uint8_t>& jpeg, int& w, int& h) {
  static const int kStdLuma[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                   14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                   18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                   49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), (unsigned long)jpeg.size());
  jpeg_read_header(&d, TRUE);
  w = int(d.image_width);
  h = int(d.image_height);
  std::string sampling = "grey";
  if (d.num_components == 3) {
    int hs = d.comp_info[0].h_samp_factor, vs = d.comp_info[0].v_samp_factor;
    sampling = hs == 2 && vs == 2 ? "4:2:0" : hs == 2 ? "4:2:2" : vs == 2 ? "4:4:0" : "4:4:4";
  }
  int quality = 0;
  if (const JQUANT_TBL* q = d.quant_tbl_ptrs[d.comp_info[0].quant_tbl_no]) {
    // The luminance table is in natural order here; the standard table is too.
    double scale = 0;
    for (int i = 0; i < 64; ++i) scale += 100.0 * q->quantval[i] / kStdLuma[i];
    scale /= 64;
    quality = int(std::lround(scale <= 100 ? (200 - scale) / 2 : 5000 / scale));
  }
  bool restarts = d.restart_interval != 0;
  bool progressive = d.progressive_mode;
  jpeg_destroy_decompress(&d);
  char text[128];
  std::snprintf(text, sizeof text, "%d x %d | %s | %d | %s%s", w, h, sampling.c_str(), quality,
                progressive ? "progressive" : "baseline", restarts ? ", restarts" : "");
  return text;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: vellumet-real-photo-bench LIST [-n REPS] [--record SUMS | --check SUMS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  int reps = 7;
  std::string record, check;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-n" && i + 1 < argc) {
      reps = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--record" && i + 1 < argc) {
      record = argv[++i];
    } else if (a == "--check" && i + 1 < argc) {
      check = argv[++i];
    } else {
      return Usage();
    }
  }
  std::vector<Case> cases;
  {
    std::ifstream list(argv[1]);
    std::string line;
    while (std::getline(list, line)) {
      std::istringstream fields(line);
      Case c;
      if (line.empty() || line[0] == '#' || !(fields >> c.name >> c.path >> c.box)) continue;
      cases.push_back(c);
    }
  }
  if (cases.empty()) return Usage();
  // Expected checksums by "input-checksum box".
  std::map<std::string, std::string> expected;
  if (!check.empty()) {
    std::ifstream sums(check);
    std::string line, key, box, value;
    while (std::getline(sums, line)) {
      std::istringstream fields(line);
      if (fields >> key >> box >> value) expected[key + " " + box] = value;
    }
  }
  std::ofstream recorded;
  if (!record.empty()) recorded.open(record);

  const int threads = JpegThreads();
  std::printf("| photo | size | sampling | quality | coding | box | core 1 thread ms | core %d threads ms | "
              "libjpeg-turbo ms | 1 thread / lib | %d threads / lib | old reference ms | longest call ms |%s\n",
              threads, threads, check.empty() ? "" : " output |");
  std::printf("|---|---|---|---:|---|---|---:|---:|---:|---:|---:|---:|---:|%s\n", check.empty() ? "" : "---|");
  CoreBoxDecoder core[2];
  LibjpegBoxDecoder lib, old(LibjpegBoxDecoder::Road::kOneScanline565);
  bool allSame = true;
  for (const Case& c : cases) {
    std::vector<uint8_t> jpeg;
    if (!ReadFile(c.path, jpeg)) {
      std::fprintf(stderr, "cannot read %s\n", c.path.c_str());
      return 1;
    }
    int w, h, tw, th;
    std::string facts = Describe(jpeg, w, h);
    if (c.box == "pipeline") {
      PipelineBox(uint32_t(w), uint32_t(h), tw, th);
    } else if (std::sscanf(c.box.c_str(), "%dx%d", &tw, &th) != 2 || tw < 1 || th < 1) {
      return Usage();
    }
    std::vector<uint16_t> coreBox(size_t(tw) * th, 0), libBox(size_t(tw) * th, 0);
    char key[64], boxText[32];
    std::snprintf(key, sizeof key, "%016llx", (unsigned long long)Fnv1a(jpeg.data(), jpeg.size()));
    std::snprintf(boxText, sizeof boxText, "%dx%d", tw, th);
    // The output of every thread count is checked, each into a box filled anew.
    std::string sum[2];
    for (int t = 0; t < 2; ++t) {
      JpegSetThreads(t == 0 ? 1 : threads);
      std::fill(coreBox.begin(), coreBox.end(), uint16_t(0));
      if (!core[t].Decode(jpeg, tw, th, coreBox.data())) {
        std::fprintf(stderr, "the core refused %s\n", c.path.c_str());
        return 1;
      }
      char text[32];
      std::snprintf(text, sizeof text, "%016llx",
                    (unsigned long long)Fnv1a(coreBox.data(), coreBox.size() * sizeof(uint16_t)));
      sum[t] = text;
    }
    if (recorded.is_open()) recorded << key << " " << boxText << " " << sum[0] << " " << c.name << "\n";
    std::string verdict;
    if (!check.empty()) {
      auto it = expected.find(std::string(key) + " " + boxText);
      verdict = it == expected.end()                        ? "not recorded"
                : it->second == sum[0] && sum[1] == sum[0] ? "identical"
                                                             : "DIFFERENT";
      allSame = allSame && verdict != "DIFFERENT";
    }
    lib.ChooseFastestRoad(jpeg, tw, th, libBox.data());
    old.Decode(jpeg, tw, th, libBox.data());  // warm-up
    // Runs alternate, each repetition starting with another of the four.
    std::vector<double> ms[4], longest[2];
    auto run = [&](int which) {
      if (which < 2) JpegSetThreads(which == 0 ? 1 : threads);
      ms[which].push_back(TimeMs([&] {
        if (which < 2) core[which].Decode(jpeg, tw, th, coreBox.data());
        else (which == 2 ? lib : old).Decode(jpeg, tw, th, libBox.data());
      }));
      if (which < 2) longest[which].push_back(core[which].longestCall);
    };
    for (int r = 0; r < reps; ++r) {
      for (int i = 0; i < 4; ++i) run((r + i) % 4);
    }
    const double one = Median(ms[0]), all = Median(ms[1]), lm = Median(ms[2]), om = Median(ms[3]);
    std::printf("| %s | %s | %s | %.1f | %.1f | %.1f%s | %.2f | %.2f | %.1f | %.1f / %.1f |%s\n", c.name.c_str(),
                facts.c_str(), boxText, one, all, lm, lib.road() == LibjpegBoxDecoder::Road::kRgbx ? " (RGBX)" : "",
                one / lm, all / lm, om, Median(longest[0]), Median(longest[1]),
                check.empty() ? "" : (" " + verdict + " |").c_str());
    std::fflush(stdout);
  }
  JpegSetThreads(threads);
  if (!allSame) std::printf("the core's output differs from the recorded checksums\n");
  return allSame ? 0 : 1;
}
