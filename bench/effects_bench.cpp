// vellumet-effects-bench [--speed X] [--only K] [-n REPS]
//
// 1. Each transition effect over the frame buffer: the time its frame-buffer writes take per
//    step (mean and longest, the waits aside) against its step wait, and the whole effect's
//    duration on the device clock against the duration its table gives (steps x (n + 1)
//    sleeps of 1 ms). At --speed 1 (the default) the device clock is real time.
// 2. The music list of a card of 5,000 files in 200 folders, against a plain recursive
//    walk of the same tree with std::filesystem, in the same run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"
#include "platform/storage/files.h"
#include "slideshow/effects.h"
#include "slideshow/music_list.h"

#undef printf

namespace {

using bench::Clock;
using bench::MedianMs;

double Us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// Times the writes of each step: from the end of the previous step's last sleep (or the
// start) to the moment the step has been drawn.
class WriteTimer : public EffectWatcher {
 public:
  void Start() { m_last = Clock::now(); }
  void StepDrawn(int) override {
    const double us = Us(Clock::now() - m_last);
    m_total += us;
    m_longest = std::max(m_longest, us);
    ++m_steps;
  }
  void Slept() override { m_last = Clock::now(); }

  int Steps() const { return m_steps; }
  double MeanUs() const { return m_steps ? m_total / m_steps : 0; }
  double LongestUs() const { return m_longest; }

 private:
  Clock::time_point m_last;
  double m_total = 0, m_longest = 0;
  int m_steps = 0;
};

// A picture that every step changes: a gradient over the whole frame.
void DrawPicture() {
  WORD* frame = GetVisibleFrame();
  for (int y = 0; y < kScreenHeight; ++y)
    for (int x = 0; x < kScreenWidth; ++x)
      frame[y * kScreenWidth + x] = static_cast<WORD>(((x >> 3) << 11) | ((y >> 3) << 5) | ((x + y) >> 5));
}

void BenchEffects(int only) {
  // The reference: clearing the whole frame at once.
  DrawPicture();
  const Clock::time_point fillStart = Clock::now();
  for (int i = 0; i < 100; ++i) std::memset(GetVisibleFrame(), i & 1, kFrameBytes);
  const double fillUs = Us(Clock::now() - fillStart) / 100;
  std::printf("Effects over the 800 x 480 frame buffer, device clock at speed %g\n", GetClockSpeed());
  std::printf("reference: one block fill of the whole frame (768,000 bytes) %.1f us\n\n", fillUs);
  std::printf("%-2s %-30s %5s %5s %12s %12s %9s %11s %11s %7s\n", "k", "effect", "steps", "wait", "writes/step",
              "longest", "of wait", "table ms", "device ms", "ratio");

  ShownSize shown;
  shown.width = kScreenWidth;
  shown.height = kScreenHeight;
  StopFlag stop{0};
  for (int k = 0; k < kEffectCount; ++k) {
    if (only >= 0 && k != only) continue;
    DrawPicture();
    WriteTimer timer;
    EffectTarget target{GetVisibleFrame(), &shown, &stop, &timer};
    const DWORD start = GetTickCount();
    timer.Start();
    RunEffect(k, target);
    const DWORD deviceMs = GetTickCount() - start;
    const int wait = EffectWaitCount(k);
    const double tableMs = static_cast<double>(timer.Steps()) * (wait + 1);
    std::printf("%-2d %-30s %5d %5d %9.1f us %9.1f us %8.2f%% %11.0f %11u %7.3f\n", k, EffectName(k), timer.Steps(),
                wait, timer.MeanUs(), timer.LongestUs(), 100.0 * timer.MeanUs() / ((wait + 1) * 1000.0), tableMs,
                deviceMs, deviceMs / tableMs);
  }
}

// A card of `folders` folders (20 at the top, the rest below them) holding `files` files
// in all, two in five of them music.
void MakeCard(const std::filesystem::path& card, int folders, int files) {
  const int top = 20;
  std::vector<std::filesystem::path> dirs;
  for (int i = 0; i < folders; ++i) {
    std::filesystem::path dir = i < top ? card / ("Album " + std::to_string(i))
                                        : dirs[static_cast<size_t>(i % top)] / ("Disc " + std::to_string(i));
    std::filesystem::create_directories(dir);
    dirs.push_back(dir);
  }
  const char* kinds[] = {"song %d.mp3", "photo %d.jpg", "Track %d.WMA", "photo %d.JPG", "notes %d.txt"};
  for (int i = 0; i < files; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, kinds[i % 5], i);
    std::FILE* f = std::fopen((dirs[static_cast<size_t>(i % folders)] / name).c_str(), "wb");
    if (f) std::fclose(f);
  }
}

size_t PlainWalk(const std::filesystem::path& card) {
  size_t music = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(card)) {
    if (!entry.is_regular_file()) continue;
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    music += ext == ".MP3" || ext == ".WMA";
  }
  return music;
}

void BenchMusicList(int reps) {
  std::string pattern = (std::filesystem::temp_directory_path() / "vellumet-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::perror("mkdtemp");
    return;
  }
  const std::filesystem::path root = pattern;
  MakeCard(root / "SDMMC", 200, 5000);
  SetDeviceRoot(root.string());

  std::vector<WString> list;
  size_t walked = 0;
  const double listMs = MedianMs(reps, [&] { BuildMusicList(list); });
  const double walkMs = MedianMs(reps, [&] { walked = PlainWalk(root / "SDMMC"); });
  std::printf("\nMusic list of a card of 5,000 files in 200 folders (median of %d runs)\n", reps);
  std::printf("  BuildMusicList (FindFirstFileW...)   %8.2f ms   %zu tracks\n", listMs, list.size());
  std::printf("  plain recursive walk (std::filesystem) %6.2f ms   %zu tracks\n", walkMs, walked);
  std::printf("  ratio                                %8.2f\n", listMs / walkMs);
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);
}

}  // namespace

int main(int argc, char** argv) {
  double speed = 1.0;
  int only = -1, reps = 5;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--speed" && i + 1 < argc) speed = std::atof(argv[++i]);
    else if (arg == "--only" && i + 1 < argc) only = std::atoi(argv[++i]);
    else if (arg == "-n" && i + 1 < argc) reps = std::max(1, std::atoi(argv[++i]));
    else {
      std::fprintf(stderr, "usage: vellumet-effects-bench [--speed X] [--only K] [-n REPS]\n");
      return 2;
    }
  }
  SetClockSpeed(speed);
  BenchEffects(only);
  BenchMusicList(reps);
  return 0;
}
