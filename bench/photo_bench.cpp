// Times the photo decoder the way the screens use it, on generated photos:
//   vellumet-photo-bench [-n REPS] [--keep DIR]
// - open + decode + draw into the 800 x 480 screen through CImageDecoder (the photo's
//   record read first, as the viewer does) for baseline JPEGs of 2, 12 and 24 megapixels,
//   and a 12-megapixel PNG through the imaging path; median times;
// - the 50 x 50 thumbnail of a 24-megapixel JPEG without an EXIF thumbnail, in process and
//   as a vellumet-photo --thumb process, against vipsthumbnail making a 50-pixel thumbnail
//   of the same file (skipped, with a note, when vipsthumbnail is not installed);
// - peak resident memory of vellumet-photo decoding the 24-megapixel baseline JPEG through
//   the software pipeline against the same program on a 16 x 16 JPEG, by /usr/bin/time -v.
// --keep DIR leaves the generated device root in DIR instead of a temporary folder.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "decode/image_decoder.h"
#include "platform/kernel/debug.h"
#include "platform/storage/files.h"
#include "platform/gdi/png_file.h"
#include "platform/kernel/wide.h"
#include "tests/jpeg/support/jpeg_samples.h"
#include "tools/photo/photo_run.h"

#undef printf

namespace fs = std::filesystem;

namespace {

using bench::MedianMs;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool OnPath(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command; false when it did not exit with 0.
bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

// Peak resident memory (KiB) of a command, whatever its exit status, from /usr/bin/time -v;
// -1 when it cannot be had.
long PeakKiB(const std::string& command, const std::string& report) {
  std::remove(report.c_str());
  Run("/usr/bin/time -v -o " + Quote(report) + " " + command + " >/dev/null 2>&1");
  FILE* f = std::fopen(report.c_str(), "r");
  if (!f) return -1;
  char line[256];
  long kib = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, " Maximum resident set size (kbytes): %ld", &kib) == 1) break;
  std::fclose(f);
  return kib;
}

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when it cannot be read.
long StatusKiB(const char* field) {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kib = -1;
  const size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, field, n) == 0 && line[n] == ':') kib = std::atol(line + n + 1);
  std::fclose(f);
  return kib;
}

// In a fresh process: one warm-up run on a small photo, so that every library is loaded and
// every lasting allocation made, then the peak's reset and the photo's run. Prints the
// resident size before the run and the peak during it.
int PeakMode(const std::string& root, const std::string& warmUp, const std::string& photo) {
  SetDeviceRoot(root);
  DebugSinkSilence();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int rc;
  {
    CImageDecoder decoder;
    const WString small = FromUtf8(warmUp), large = FromUtf8(photo);
    RunPhoto(decoder, small.c_str(), -1);
    decoder.Close();
    FILE* reset = std::fopen("/proc/self/clear_refs", "w");
    bool resetOk = reset && std::fputs("5", reset) >= 0;
    if (reset) resetOk = std::fclose(reset) == 0 && resetOk;
    const long before = StatusKiB("VmRSS");
    PhotoRun run = RunPhoto(decoder, large.c_str(), -1);
    const long peak = StatusKiB("VmHWM");
    std::printf("%ld %ld %d %d\n", before, peak, resetOk ? 1 : 0, run.drawn ? 1 : 0);
    rc = run.drawn ? 0 : 1;
  }
  CoUninitialize();
  return rc;
}

struct Photo {
  const char* label;
  int w, h;
  std::string name;  // under SDMMC/
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--peak") return PeakMode(argv[2], argv[3], argv[4]);
  int reps = 5;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-n" && i + 1 < argc) {
      reps = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else {
      std::fprintf(stderr, "usage: vellumet-photo-bench [-n REPS] [--keep DIR]\n");
      return 2;
    }
  }
  const fs::path binDir = fs::absolute(fs::path(argv[0])).parent_path();
  const fs::path photoTool = binDir / "vellumet-photo";

  fs::path root;
  if (keep.empty()) {
    std::string pattern = (fs::temp_directory_path() / "vellumet-photo-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    root = pattern;
  } else {
    root = fs::absolute(keep);
  }
  fs::create_directories(root / "SDMMC");
  fs::create_directories(root / "NAND");
  SetDeviceRoot(root.string());
  DebugSinkSilence();

  std::vector<Photo> photos = {{"2 MP", 1632, 1224, "p2.jpg"}, {"12 MP", 4000, 3000, "p12.jpg"},
                               {"24 MP", 6000, 4000, "p24.jpg"}};
  std::printf("making the photos...\n");
  for (const Photo& p : photos) {
    Rgb picture = MakePicture(p.w, p.h, Content::Detailed, 7);
    WriteFile((root / "SDMMC" / p.name).string(), EncodeJpeg(picture, EncodeOptions{}));
  }
  WriteFile((root / "SDMMC" / "tiny.jpg").string(), EncodeJpeg(MakePicture(16, 16, Content::Smooth), {}));
  {
    Rgb picture = MakePicture(4000, 3000, Content::Detailed, 9);
    std::vector<WORD> pixels(picture.pixels.size() / 3);
    for (size_t i = 0; i < pixels.size(); ++i)
      pixels[i] = ToRgb565(RGB(picture.pixels[3 * i], picture.pixels[3 * i + 1], picture.pixels[3 * i + 2]));
    WritePng565((root / "SDMMC" / "p12.png").string(), pixels.data(), 4000, 3000, 4000);
  }

  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  int failures = 0;
  {
    CImageDecoder decoder;
    std::printf("\nopen + decode + draw into 800 x 480 through CImageDecoder, median of %d:\n", reps);
    auto bench = [&](const std::string& label, const std::string& name) {
      const WString path = u"\\SDMMC\\" + WString(name.begin(), name.end());
      PhotoRun run;
      double ms = MedianMs(reps, [&] { run = RunPhoto(decoder, path.c_str(), -1); });
      if (!run.drawn) ++failures;
      std::printf("  %-22s %9.1f ms  (%ux%u, %s)\n", label.c_str(), ms, decoder.m_ImageInfo.Width,
                  decoder.m_ImageInfo.Height,
                  !run.drawn ? "FAILED" : decoder.IsJpgPath() ? "software pipeline" : "imaging service");
    };
    for (const Photo& p : photos)
      bench(std::string(p.label) + " JPEG " + std::to_string(p.w) + "x" + std::to_string(p.h), p.name);
    bench("12 MP PNG 4000x3000", "p12.png");
    decoder.Close();

    std::printf("\n50 x 50 thumbnail of the 24 MP JPEG (no EXIF thumbnail), median of %d:\n", reps);
    Thumbnail made;
    double inProcess = MedianMs(reps, [&] {
      if (made.image) made.image->Release();
      made = MakeThumbnail(decoder.Factory(), u"\\SDMMC\\p24.jpg");
    });
    std::printf("  vellumet, in process:          %9.1f ms  (%ux%u, %s)\n", inProcess, made.width, made.height,
                made.inner ? "inner thumbnail" : "from the whole photo");
    if (made.image) made.image->Release();
    const std::string jpeg24 = (root / "SDMMC" / "p24.jpg").string();
    const std::string thumbOut = (root / "thumb.bmp").string();
    double ourProcess = MedianMs(reps, [&] {
      Run(Quote(photoTool.string()) + " --root " + Quote(root.string()) + " --thumb '\\SDMMC\\p24.jpg' --out " +
          Quote(thumbOut) + " >/dev/null 2>&1");
    });
    std::printf("  vellumet-photo --thumb process: %9.1f ms\n", ourProcess);
    if (OnPath("vipsthumbnail")) {
      const std::string vipsOut = (root / "vips.jpg").string();
      double vips = MedianMs(reps, [&] {
        Run("vipsthumbnail " + Quote(jpeg24) + " -s 50 -o " + Quote(vipsOut) + " >/dev/null 2>&1");
      });
      std::printf("  vipsthumbnail -s 50 process:    %9.1f ms\n", vips);
      std::printf("  ratio vellumet / vipsthumbnail: %.2f (process), %.2f (in process against the process)\n",
                  ourProcess / vips, inProcess / vips);
    } else {
      std::printf("  vipsthumbnail is not installed (Debian package libvips-tools): no comparison\n");
    }
  }
  CoUninitialize();

  std::printf("\npeak resident memory of vellumet-photo (/usr/bin/time -v):\n");
  if (access("/usr/bin/time", X_OK) != 0) {
    std::printf("  /usr/bin/time is not installed: not measured\n");
  } else {
    const std::string report = (root / "time.txt").string();
    const std::string run = Quote(photoTool.string()) + " --root " + Quote(root.string()) + " ";
    // Idle: the same run on a photo that is not there, which stops before any decoding.
    long idle = PeakKiB(run + "'\\SDMMC\\missing.jpg'", report);
    long tiny = PeakKiB(run + "'\\SDMMC\\tiny.jpg'", report);
    long big = PeakKiB(run + "'\\SDMMC\\p24.jpg'", report);
    if (idle < 0 || tiny < 0 || big < 0) {
      std::printf("  the runs failed\n");
      ++failures;
    } else {
      const long above = big - idle;
      std::printf("  idle (a missing photo):        %7ld KiB\n", idle);
      std::printf("  16 x 16 JPEG:                  %7ld KiB\n", tiny);
      std::printf("  24 MP baseline JPEG:           %7ld KiB\n", big);
      std::printf("  above idle:                    %7ld KiB = %.2f MiB (limit 12 MiB: %s)\n", above, above / 1024.0,
                  above < 12 * 1024 ? "kept" : "EXCEEDED");
      if (above >= 12 * 1024) ++failures;
    }
  }

  std::printf("\nresident memory of the 24 MP decode alone (a fresh process after a warm-up run, /proc):\n");
  {
    const std::string command = Quote(fs::absolute(fs::path(argv[0])).string()) + " --peak " + Quote(root.string()) +
                                " '\\SDMMC\\tiny.jpg' '\\SDMMC\\p24.jpg'";
    FILE* child = popen(command.c_str(), "r");
    long before = -1, peak = -1;
    int resetOk = 0, drawn = 0;
    bool read = child && std::fscanf(child, "%ld %ld %d %d", &before, &peak, &resetOk, &drawn) == 4;
    if (child) pclose(child);
    if (!read || !drawn) {
      std::printf("  the run failed\n");
      ++failures;
    } else if (!resetOk) {
      std::printf("  the peak could not be reset (/proc/self/clear_refs): not measured\n");
    } else {
      std::printf("  before: %ld KiB, peak during open + decode + draw: %ld KiB, above: %ld KiB = %.2f MiB\n", before,
                  peak, peak - before, (peak - before) / 1024.0);
      if (peak - before >= 12 * 1024) ++failures;
    }
  }

  if (keep.empty()) fs::remove_all(root);
  return failures == 0 ? 0 : 1;
}
