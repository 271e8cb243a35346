// Times the photo view the way a person uses it, on generated photos:
//   vellumet-view-bench [-n REPS] [--keep DIR]
// - from the press of "Next" (which signals the worker's open event) to the photo drawn in
//   the frame, for baseline and progressive JPEGs of 2, 12 and 24 megapixels and a
//   12-megapixel PNG: once with the device clock at its own speed (the worker's 50 ms delay
//   before an open and the 1 ms drawing timer included), once with the clock 1000 times
//   faster, which leaves only the work (record, open, decode, turn to 0, clear, draw);
// - the 12-megapixel baseline photo stored sideways (3000 x 4000) with the orientation tag
//   6, which the view shows upright (against the same photo stored upright), and the
//   upright turn of its decoded bitmap alone;
// - a zoom step (100 % to 200 %) and a quarter turn of the 12-megapixel photos, from the
//   press to the photo drawn again;
// - libjpeg-turbo decoding the same JPEG files to the size the view decoded them at, in the
//   same process (smallest M/8 scale that covers it, fast integer DCT, RGB565, then sampled
//   nearest-neighbour into that size, the decompressor kept between runs: bench/libjpeg_box.h);
// - how long the view takes to close when the launcher closes it while a 24-megapixel photo
//   decodes.
// --keep DIR leaves the generated device root in DIR instead of a temporary folder.
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/launcher.h"
#include "bench/bench_timing.h"
#include "folders/folder_nav.h"
#include "jpeg/memory_decode.h"
#include "platform/gdi/png_file.h"
#include "platform/imaging/com.h"
#include "platform/imaging/orientation.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/wide.h"
#include "platform/storage/files.h"
#include "res/resources.h"
#include "tests/jpeg/support/jpeg_samples.h"
#include "viewer/open_size.h"
#include "viewer/photo_view_dlg.h"

// After the project's headers: jpeglib.h defines TRUE and FALSE as macros.
#include "bench/libjpeg_box.h"


#undef printf

namespace fs = std::filesystem;

namespace {

using bench::Clock;
using bench::Median;
using bench::MsSince;

struct Photo {
  std::string label;
  std::string name;  // in SDMMC/bench/
  int w, h;
  bool progressive;
  bool png;
  int tag = 0;  // an orientation tag in an EXIF segment (the picture stored sideways for 6)
};

// The picture as a camera that writes the tag 6 stores it: turned a quarter counter-clockwise.
Rgb StoredSideways(const Rgb& upright) {
  Rgb stored{upright.height, upright.width, std::vector<uint8_t>(upright.pixels.size())};
  for (int y = 0; y < stored.height; ++y)
    for (int x = 0; x < stored.width; ++x)
      std::memcpy(&stored.pixels[(size_t(y) * stored.width + x) * 3],
                  &upright.pixels[(size_t(stored.width - 1 - x) * upright.width + y) * 3], 3);
  return stored;
}

// The JPEG file with an EXIF segment holding the orientation tag, right after its start.
std::vector<uint8_t> Tagged(const std::vector<uint8_t>& jpeg, int tag) {
  const uint8_t exif[] = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                          1,    0,    0x12, 1, 3, 0, 1, 0, 0, 0, uint8_t(tag), 0, 0, 0, 0, 0, 0, 0};
  std::vector<uint8_t> out(jpeg.size() + sizeof exif);
  std::memcpy(out.data(), jpeg.data(), 2);
  std::memcpy(out.data() + 2, exif, sizeof exif);
  std::memcpy(out.data() + 2 + sizeof exif, jpeg.data() + 2, jpeg.size() - 2);
  return out;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Screen positions of the view's buttons, by place in the row.
constexpr int kPrevPos = 0, kNextPos = 1, kRotatePos = 2, kOriginalPos = 3, kZoomInPos = 4;
void Press(int position) {
  const int x = 25 + 108 * position + 50, y = 432;
  PostTouch(TouchKind::Down, x, y);
  PostTouch(TouchKind::Up, x, y);
}

void Settle(const CPhotoViewDlg& view) {
  for (;;) {
    WaitForWindowThreadIdle(1u << 30);
    if (!view.IsWorkPending()) {
      WaitForWindowThreadIdle(1u << 30);
      if (!view.IsWorkPending()) return;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
}

// Presses a button and waits until the photo has been drawn after it; milliseconds.
double PressUntilDrawn(const CPhotoViewDlg& view, int position) {
  Settle(view);
  const DWORD drawn = view.DrawCount();
  const Clock::time_point start = Clock::now();
  Press(position);
  while (view.DrawCount() == drawn && view.ErrorState() == kPhotoShown)
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  const double ms = MsSince(start);
  Settle(view);
  return ms;
}

struct Figures {
  std::map<std::string, std::vector<double>> openReal, openWork, zoom, turn;
  std::map<std::string, std::pair<UINT, UINT>> size;
  double closeMs = -1;
  int waitTimeouts = 0;
};

}  // namespace

int main(int argc, char** argv) {
  int reps = 5;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-n" && i + 1 < argc) {
      reps = std::max(1, std::atoi(argv[++i]));
    } else if (a == "--keep" && i + 1 < argc) {
      keep = argv[++i];
    } else {
      std::fprintf(stderr, "usage: vellumet-view-bench [-n REPS] [--keep DIR]\n");
      return 2;
    }
  }
  fs::path root;
  if (keep.empty()) {
    std::string pattern = (fs::temp_directory_path() / "vellumet-view-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    root = pattern;
  } else {
    root = fs::absolute(keep);
  }
  const fs::path folder = root / "SDMMC" / "bench";
  fs::create_directories(folder);
  fs::create_directories(root / "NAND");

  const std::vector<Photo> photos = {
      {"2 MP baseline", "a2.jpg", 1632, 1224, false, false},
      {"2 MP progressive", "b2p.jpg", 1632, 1224, true, false},
      {"12 MP baseline", "c12.jpg", 4000, 3000, false, false},
      {"12 MP progressive", "d12p.jpg", 4000, 3000, true, false},
      {"24 MP baseline", "e24.jpg", 6000, 4000, false, false},
      {"24 MP progressive", "f24p.jpg", 6000, 4000, true, false},
      {"12 MP PNG", "g12.png", 4000, 3000, false, true},
      {"12 MP tagged 6", "h12t6.jpg", 4000, 3000, false, false, 6},
  };
  std::printf("making the photos in %s ...\n", folder.c_str());
  std::fflush(stdout);
  for (const Photo& p : photos) {
    if (fs::exists(folder / p.name)) continue;
    // The tagged photo is the 12 MP baseline one, stored sideways.
    const Rgb upright = MakePicture(p.w, p.h, Content::Detailed, 7);
    const Rgb picture = p.tag == 6 ? StoredSideways(upright) : upright;
    if (p.png) {
      std::vector<WORD> pixels(picture.pixels.size() / 3);
      for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = ToRgb565(RGB(picture.pixels[3 * i], picture.pixels[3 * i + 1], picture.pixels[3 * i + 2]));
      WritePng565((folder / p.name).string(), pixels.data(), p.w, p.h, p.w);
    } else {
      EncodeOptions options;
      options.progressive = p.progressive;
      const std::vector<uint8_t> jpeg = EncodeJpeg(picture, options);
      WriteFile((folder / p.name).string(), p.tag ? Tagged(jpeg, p.tag) : jpeg);
    }
  }

  SetDeviceRoot(root.string());
  DebugSinkSilence();
  InstallResources();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  Figures figures;
  {
    CPhotoList list;
    list.Fill(u"\\SDMMC\\bench\\");
    int first = 0, last = 0;
    if (!FindPhotoRange(list, first, last) || last - first + 1 != static_cast<int>(photos.size())) {
      std::fprintf(stderr, "the bench folder does not list the %zu photos\n", photos.size());
      return 1;
    }
    auto labelOf = [&](int index) {
      const std::string path = ToUtf8(list.GetName(index));
      for (const Photo& p : photos)
        if (path.size() >= p.name.size() && path.compare(path.size() - p.name.size(), p.name.size(), p.name) == 0)
          return p.label;
      return std::string("?");
    };
    Cplayerc player;
    CSysParam sysParam;
    CImageDecoder decoder;
    Clock::time_point closeAsked;
    {
      CPhotoViewDlg view(&player, &list, &sysParam, first, first, last, &decoder);
      std::thread driver([&] {
        while (!GetForegroundWindow()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        HWND dialog = GetForegroundWindow();
        for (double speed : {1.0, 1000.0}) {
          SetClockSpeed(speed);
          for (int rep = 0; rep < reps; ++rep)
            for (size_t i = 0; i < photos.size(); ++i) {
              const double ms = PressUntilDrawn(view, kNextPos);
              const std::string label = labelOf(view.CurrentIndex());
              (speed == 1.0 ? figures.openReal : figures.openWork)[label].push_back(ms);
              const CPhotoViewGeometry g = view.Geometry();
              figures.size[label] = {g.m_Width, g.m_Height};
              if (speed == 1.0 || label.rfind("12 MP", 0) != 0) continue;
              figures.zoom[label].push_back(PressUntilDrawn(view, kZoomInPos));
              PressUntilDrawn(view, kOriginalPos);
              figures.turn[label].push_back(PressUntilDrawn(view, kRotatePos));
              PressUntilDrawn(view, kOriginalPos);
            }
        }
        // Closed by the launcher while the 24 MP baseline photo decodes.
        SetClockSpeed(1);
        while (labelOf(view.CurrentIndex()) != "24 MP baseline") PressUntilDrawn(view, kNextPos);
        Press(kPrevPos);
        Settle(view);
        Press(kNextPos);
        while (!IsWaitCursorShown()) std::this_thread::sleep_for(std::chrono::microseconds(100));
        closeAsked = Clock::now();
        PostMessage(dialog, kLauncherMessage, 34, 0);
      });
      DebugCapture log;
      view.DoModal();
      figures.closeMs = MsSince(closeAsked);
      driver.join();
      for (const std::string& line : log.Lines()) figures.waitTimeouts += line == " WAIT_TIMEOUT...";
    }
  }
  CoUninitialize();
  SetClockSpeed(1);

  if (std::FILE* load = std::fopen("/proc/loadavg", "r")) {
    char line[128] = {};
    if (std::fgets(line, sizeof line, load)) std::printf("\nhost load (1, 5, 15 min): %.*s\n", 15, line);
    std::fclose(load);
  }
  std::printf("\nphoto view, press of \"Next\" to the photo drawn in the frame, median of %d:\n", reps);
  std::printf("  %-18s %11s %13s %11s %12s %10s\n", "photo", "decoded at", "device clock", "work only", "libjpeg-turbo",
              "work/lib");
  for (const Photo& p : photos) {
    const auto [w, h] = figures.size[p.label];
    const double real = Median(figures.openReal[p.label]), work = Median(figures.openWork[p.label]);
    std::string lib = "-", ratio = "-";
    if (!p.png) {
      const std::vector<uint8_t> jpeg = ReadAll(folder / p.name);
      LibjpegBoxDecoder libjpeg;
      std::vector<uint16_t> box(static_cast<size_t>(w) * h);
      std::vector<double> times;
      const bool sideways = SwapsSides(p.tag);  // libjpeg-turbo decodes it as stored
      for (int i = 0; i < reps; ++i) {
        const Clock::time_point start = Clock::now();
        libjpeg.Decode(jpeg, static_cast<int>(sideways ? h : w), static_cast<int>(sideways ? w : h), box.data());
        times.push_back(MsSince(start));
      }
      char text[32];
      std::snprintf(text, sizeof text, "%.1f ms", Median(times));
      lib = text;
      std::snprintf(text, sizeof text, "%.2f", work / Median(times));
      ratio = text;
    }
    char size[32];
    std::snprintf(size, sizeof size, "%ux%u", w, h);
    std::printf("  %-18s %11s %10.1f ms %8.1f ms %12s %10s\n", p.label.c_str(), size, real, work, lib.c_str(),
                ratio.c_str());
  }
  std::printf("  (the device clock column includes the worker's 50 ms delay before an open)\n");
  {
    // What the tagged photo costs more: the turn that stands its decoded bitmap upright, and
    // the JPEG core decoding the photo as it is stored (sideways) rather than upright.
    const auto [w, h] = figures.size["12 MP tagged 6"];
    std::vector<WORD> stored(size_t{w} * h, 0x1234), upright(stored.size());
    std::vector<double> turns, coreUpright, coreSideways;
    const std::vector<uint8_t> plainFile = ReadAll(folder / "c12.jpg"), taggedFile = ReadAll(folder / "h12t6.jpg");
    for (int i = 0; i < reps; ++i) {
      Clock::time_point start = Clock::now();
      OrientRows(stored.data(), h, w, h, 6, 0, h, upright.data(), w);
      turns.push_back(MsSince(start));
      start = Clock::now();
      DecodeJpegFromMemory(plainFile.data(), plainFile.size(), int(w), int(h), upright.data());
      coreUpright.push_back(MsSince(start));
      start = Clock::now();
      DecodeJpegFromMemory(taggedFile.data(), taggedFile.size(), int(h), int(w), stored.data());
      coreSideways.push_back(MsSince(start));
    }
    const double tagged = Median(figures.openWork["12 MP tagged 6"]);
    const double plain = Median(figures.openWork["12 MP baseline"]);
    std::printf("\nthe 12 MP baseline photo stored sideways with the tag 6, against it stored upright, median of %d:\n"
                "  opened in the view (work only): %.1f ms against %.1f ms (%.2f)\n"
                "  of that, the upright turn of its %ux%u bitmap: %.2f ms; the JPEG core alone, decoding it\n"
                "  sideways: %.1f ms against %.1f ms upright (%.2f)\n",
                reps, tagged, plain, tagged / plain, w, h, Median(turns), Median(coreSideways), Median(coreUpright),
                Median(coreSideways) / Median(coreUpright));
  }
  std::printf("\n12 MP photos, press to the photo drawn again (work only), median of %d:\n", reps);
  for (const char* label : {"12 MP baseline", "12 MP progressive", "12 MP PNG", "12 MP tagged 6"})
    std::printf("  %-18s zoom step 100 %% -> 200 %%: %6.1f ms   quarter turn: %6.1f ms\n", label,
                Median(figures.zoom[label]), Median(figures.turn[label]));
  std::printf("\nclosed by the launcher while the 24 MP baseline photo decodes: %.1f ms to the end of the view"
              " (%d waits of 200 ms timed out)\n",
              figures.closeMs, figures.waitTimeouts);
  const double goalOpen = Median(figures.openReal["12 MP baseline"]);
  const double goalTurn = Median(figures.turn["12 MP baseline"]);
  std::printf("\ngoals: 12 MP baseline shown in %.1f ms (under 150 ms: %s), turned in %.1f ms (under 50 ms: %s)\n",
              goalOpen, goalOpen < 150 ? "met" : "MISSED", goalTurn, goalTurn < 50 ? "met" : "MISSED");
  if (keep.empty()) fs::remove_all(root);
  return 0;
}
