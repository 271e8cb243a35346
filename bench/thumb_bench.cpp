// Times the main page from entering a folder to all eight cells of its first page painted,
// with the real page, its thumbnail thread and the window thread in this process:
//   vellumet-thumb-bench [-n REPS] [--keep DIR]
// (--keep DIR: the photos and device roots stay in DIR, and a later run reuses the photos.)
// - eight 12-megapixel JPEG photos without a thumbnail of their own, first visit (every
//   thumbnail made from the whole photo and stored as a BMP file);
// - the same folder again (the stored BMP files are loaded);
// - eight 12-megapixel JPEG photos with an EXIF thumbnail (160 x 120);
// and, in the same run, vipsthumbnail making the same eight 50 x 50 thumbnails in one
// process (skipped, with a note, when it is not installed). Median of REPS rounds (3).
//
// The folder entered is the card's top, so that all eight cells hold photos: the page first
// goes into an empty folder of a start card, the device root is switched to the photos'
// card, and the timed step is the folder-up button's press.
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/launcher.h"
#include "bench/bench_timing.h"
#include "browser/main_page_dlg.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "platform/storage/files.h"
#include "res/resources.h"
#include "thumbs/thumb_index.h"
#include "tools/demo/image_files.h"
#include "tools/demo/picture.h"

#undef printf

namespace fs = std::filesystem;

namespace {

using bench::Clock;
using bench::Median;
using bench::MsSince;

constexpr int kPhotos = 8;
constexpr int kWidth = 4000, kHeight = 3000;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Waits until the thumbnail thread is idle and the window has painted everything.
void Settle(const CMainPageDlg& page) {
  for (;;) {
    WaitForWindowThreadIdle(600000);
    if (page.IsThumbThreadIdle()) {
      WaitForWindowThreadIdle(600000);
      if (page.IsThumbThreadIdle()) return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void Tap(int x, int y) {
  PostTouch(TouchKind::Down, x, y);
  PostTouch(TouchKind::Up, x, y);
}

// One page session: into the empty folder of the start card, then up into the top of the
// photos' card; the milliseconds from the press to everything painted.
double TimeEnteringCard(const fs::path& start, const fs::path& card) {
  SetDeviceRoot(start.string());
  CMainPageDlg page;
  double ms = 0;
  std::thread driver([&] {
    while (!FindWindowW(nullptr, u"photo")) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    Settle(page);
    RECT cell = CMainPageDlg::OuterCell(0);
    Tap(cell.left + 80, cell.top + 60);  // the start card's only folder, twice
    Tap(cell.left + 80, cell.top + 60);
    Settle(page);
    SetDeviceRoot(card.string());
    Clock::time_point pressed = Clock::now();
    Tap(85, 432);  // folder up
    Settle(page);
    ms = MsSince(pressed);
    PostMessage(page.m_hWnd, kLauncherMessage, 2, 0);
  });
  page.DoModal();
  driver.join();
  return ms;
}

void MakePhotos(const fs::path& card, const char* prefix, int exifThumbWidth) {
  fs::create_directories(card);
  for (int i = 0; i < kPhotos; ++i) {
    fs::path path = card / (prefix + std::to_string(i + 1) + ".jpg");
    if (fs::exists(path)) continue;  // made by an earlier run with --keep
    Picture picture = DrawScene(i % 2 ? Scene::City : Scene::Landscape, kWidth, kHeight, 100 + i);
    JpegOptions options;
    options.exifThumbWidth = exifThumbWidth;
    if (!WriteJpeg(path.string(), picture, options)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  int reps = 3;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-n" && i + 1 < argc) {
      reps = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else {
      std::fprintf(stderr, "usage: vellumet-thumb-bench [-n REPS] [--keep DIR]\n");
      return 2;
    }
  }
  fs::path root;
  if (keep.empty()) {
    std::string pattern = (fs::temp_directory_path() / "vellumet-thumb-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    root = pattern;
  } else {
    root = keep;
  }
  const fs::path start = root / "start", plain = root / "plain", camera = root / "camera";
  fs::create_directories(start / "SDMMC" / "in");
  for (const fs::path& r : {start, plain, camera}) fs::create_directories(r / "NAND");
  std::printf("making %d photos of %d x %d, twice (without and with an EXIF thumbnail) ...\n", kPhotos, kWidth, kHeight);
  std::fflush(stdout);
  MakePhotos(plain / "SDMMC", "plain", 0);
  MakePhotos(camera / "SDMMC", "camera", 160);

  DebugSinkSilence();
  InstallResources();
  SetDeviceRoot(start.string());
  TheThumbIndex();
  SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.begin(), names.end()); });

  std::vector<double> first, second, inner, vips;
  const bool haveVips = std::system("command -v vipsthumbnail >/dev/null 2>&1") == 0;
  const fs::path vipsOut = root / "vips";
  fs::create_directories(vipsOut);
  for (int round = 0; round < reps; ++round) {
    TheThumbIndex() = CThumbIndex();  // a fresh NAND: every thumbnail is made again
    fs::remove_all(plain / "NAND" / "_Thumbnails");
    first.push_back(TimeEnteringCard(start, plain));
    second.push_back(TimeEnteringCard(start, plain));
    inner.push_back(TimeEnteringCard(start, camera));
    if (haveVips) {
      std::string command = "vipsthumbnail";
      for (int i = 0; i < kPhotos; ++i) command += " " + Quote((plain / "SDMMC" / ("plain" + std::to_string(i + 1) + ".jpg")).string());
      command += " -s 50x50 -o " + Quote((vipsOut / "%s.jpg").string()) + " >/dev/null 2>&1";
      Clock::time_point begun = Clock::now();
      if (std::system(command.c_str()) != 0) std::fprintf(stderr, "vipsthumbnail failed\n");
      vips.push_back(MsSince(begun));
    }
  }
  SetFindOrderForTests(nullptr);
  size_t stored = 0;
  for (const auto& entry : fs::directory_iterator(plain / "NAND" / "_Thumbnails")) stored += entry.is_regular_file();

  std::printf("entering a folder of %d photos of %d x %d until all eight cells are painted (median of %d):\n", kPhotos,
              kWidth, kHeight, reps);
  std::printf("  first visit, thumbnails made and stored:     %8.1f ms  (%zu BMP files stored)\n", Median(first), stored);
  std::printf("  second visit, stored BMP files loaded:       %8.1f ms  (goal: under 50 ms)\n", Median(second));
  std::printf("  photos with an EXIF thumbnail:               %8.1f ms\n", Median(inner));
  if (haveVips) {
    std::printf("  vipsthumbnail -s 50x50, the same 8 photos:   %8.1f ms  (one process)\n", Median(vips));
    std::printf("  ratio first visit / vipsthumbnail:           %8.2f  (goal: at most 1)\n", Median(first) / Median(vips));
  } else {
    std::printf("  vipsthumbnail is not installed (Debian package libvips-tools): no comparison\n");
  }
  // The thumbnail thread runs at a low priority: on a busy host it waits for the processor.
  if (FILE* load = std::fopen("/proc/loadavg", "r")) {
    double one = 0;
    if (std::fscanf(load, "%lf", &one) == 1)
      std::printf("  host load average during the run: %.1f on %u processors\n", one, std::thread::hardware_concurrency());
    std::fclose(load);
  }
  if (keep.empty()) fs::remove_all(root);
  return 0;
}
