// vellumet-effects: runs transition effects over a photo on the frame buffer and saves the
// frames they pass through, as an animated GIF and/or PNG files.
//
//   vellumet-effects --root DIR PHOTO [--effect K] [--gif OUT.gif] [--frames DIR]
//                    [--scale N] [--every MS] [--hold MS] [--no-label]
//
// PHOTO is a device path ("\SDMMC\a.jpg") or a host path inside DIR; it is drawn fitted to
// the screen as the slideshow draws it, and its fitted size is the one effects 2, 3 and 7
// read. Without --effect all thirteen run, one after the other. The frames are taken at the
// effects' own pace (a step and its wait of n + 1 ms), every MS milliseconds (default 100),
// so the movie plays in real time; the photo is held for --hold MS (default 600) before each
// effect and the black screen after it. --scale N shrinks the movie N times (default 2).
// The random orders of effects 10 and 11 come from a fixed seed, so the output repeats.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/png_file.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/wide.h"
#include "platform/storage/files.h"
#include "slideshow/effects.h"
#include "tools/effects/gif_movie.h"
#include "tools/photo/photo_run.h"

#undef printf

namespace {

struct Options {
  std::string root, photo, gif, framesDir;
  int effect = -1;
  int scale = 2;
  int everyMs = 100;
  int holdMs = 600;
  bool label = true;
};

int Usage() {
  std::fprintf(stderr,
               "usage: vellumet-effects --root DIR PHOTO [--effect K] [--gif OUT.gif] [--frames DIR]\n"
               "                        [--scale N] [--every MS] [--hold MS] [--no-label]\n");
  return 2;
}

// Where the frames go: the movie (shrunk) and the PNG files.
class FrameSink {
 public:
  explicit FrameSink(const Options& options)
      : m_options(options), m_small(static_cast<size_t>(kScreenWidth / options.scale) * (kScreenHeight / options.scale)) {
    if (!options.gif.empty()) m_movie = std::make_unique<GifMovie>(options.gif, Width(), Height());
  }
  bool Ok() const { return !m_movie || m_movie->Ok(); }

  void Take(int effect, int timeMs) {
    const WORD* frame = GetVisibleFrame();
    if (m_movie) {
      Shrink(frame);
      m_movie->Add(m_small.data(), timeMs);
    }
    if (!m_options.framesDir.empty()) {
      char name[64];
      std::snprintf(name, sizeof name, "/effect%02d-%05d.png", effect, timeMs);
      if (!WritePng565(m_options.framesDir + name, frame, kScreenWidth, kScreenHeight, kScreenWidth)) m_ok = false;
    }
    ++m_taken;
  }
  bool Finish(int endMs) { return (!m_movie || m_movie->Finish(endMs)) && m_ok; }
  int Taken() const { return m_taken; }

 private:
  int Width() const { return kScreenWidth / m_options.scale; }
  int Height() const { return kScreenHeight / m_options.scale; }

  // Each pixel of the movie is the mean of a block of scale x scale pixels.
  void Shrink(const WORD* frame) {
    const int s = m_options.scale;
    for (int y = 0; y < Height(); ++y)
      for (int x = 0; x < Width(); ++x) {
        int r = 0, g = 0, b = 0;
        for (int dy = 0; dy < s; ++dy)
          for (int dx = 0; dx < s; ++dx) {
            const WORD p = frame[(y * s + dy) * kScreenWidth + x * s + dx];
            r += p >> 11, g += (p >> 5) & 63, b += p & 31;
          }
        const int n = s * s;
        m_small[static_cast<size_t>(y) * Width() + x] = static_cast<WORD>(((r / n) << 11) | ((g / n) << 5) | (b / n));
      }
  }

  const Options& m_options;
  std::unique_ptr<GifMovie> m_movie;
  std::vector<WORD> m_small;
  bool m_ok = true;
  int m_taken = 0;
};

// Takes a frame whenever the effect's own time has moved on by `every` since the last one.
class FrameTaker : public EffectWatcher {
 public:
  FrameTaker(FrameSink& sink, int effect, int startMs, int everyMs)
      : m_sink(sink), m_effect(effect), m_startMs(startMs), m_everyMs(everyMs), m_stepMs(EffectWaitCount(effect) + 1) {}

  void StepDrawn(int step) override {
    m_steps = step + 1;
    const int at = m_startMs + step * m_stepMs;
    if (at < m_nextMs) return;
    m_sink.Take(m_effect, at);
    m_nextMs = at + m_everyMs;
  }
  int EndMs() const { return m_startMs + m_steps * m_stepMs; }

 private:
  FrameSink& m_sink;
  int m_effect, m_startMs, m_everyMs, m_stepMs;
  int m_nextMs = 0;
  int m_steps = 0;
};

// The effect's number and name in the photo's top left corner, so that it is wiped with it.
void DrawLabel(int effect, int left) {
  HDC screen = CreateScreenDC();
  LOGFONTW lf;
  lf.lfHeight = 30;
  lf.lfWeight = FW_BOLD;
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = font ? SelectObject(screen, font) : nullptr;
  const WString text = FromUtf8(std::to_string(effect) + "  " + EffectName(effect));
  SetBkMode(screen, TRANSPARENT);
  for (int pass = 0; pass < 2; ++pass) {  // a dark shadow, then the white text
    SetTextColor(screen, pass == 0 ? RGB(0, 0, 0) : RGB(255, 255, 255));
    RECT r{left + 14 + (pass == 0 ? 2 : 0), 10 + (pass == 0 ? 2 : 0), 790, 60};
    DrawTextW(screen, text.c_str(), -1, &r, DT_LEFT | DT_TOP | DT_SINGLELINE);
  }
  if (old) SelectObject(screen, old);
  if (font) DeleteObject(font);
  DeleteDC(screen);
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--root" && hasValue) o.root = argv[++i];
    else if (a == "--effect" && hasValue) o.effect = std::atoi(argv[++i]);
    else if (a == "--gif" && hasValue) o.gif = argv[++i];
    else if (a == "--frames" && hasValue) o.framesDir = argv[++i];
    else if (a == "--scale" && hasValue) o.scale = std::atoi(argv[++i]);
    else if (a == "--every" && hasValue) o.everyMs = std::atoi(argv[++i]);
    else if (a == "--hold" && hasValue) o.holdMs = std::atoi(argv[++i]);
    else if (a == "--no-label") o.label = false;
    else if (!a.empty() && a[0] != '-' && o.photo.empty()) o.photo = a;
    else return false;
  }
  return !o.root.empty() && !o.photo.empty() && (!o.gif.empty() || !o.framesDir.empty()) &&
         (o.effect == -1 || (o.effect >= 0 && o.effect < kEffectCount)) && (o.scale == 1 || o.scale == 2 || o.scale == 4 || o.scale == 5) &&
         o.everyMs > 0 && o.holdMs >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) return Usage();
  SetDeviceRoot(options.root);
  const WString path = DevicePathUnderRoot(options.root, options.photo);
  if (path.empty()) {
    std::fprintf(stderr, "vellumet-effects: %s is not inside %s\n", options.photo.c_str(), options.root.c_str());
    return 2;
  }

  CImageDecoder decoder;
  const PhotoRun run = RunPhoto(decoder, path.c_str(), -1);
  if (!run.drawn) {
    std::fprintf(stderr, "vellumet-effects: cannot draw %s\n", options.photo.c_str());
    return 1;
  }
  std::vector<WORD> picture(GetVisibleFrame(), GetVisibleFrame() + kFrameBytes / sizeof(WORD));
  ShownSize shown;
  shown.width = run.shown.right - run.shown.left;
  shown.height = run.shown.bottom - run.shown.top;

  // The frames follow the effects' tables, not the host's timing: the clock may run fast.
  SetClockSpeed(1000.0);
  SeedRandom(2024);
  FrameSink sink(options);
  if (!sink.Ok()) {
    std::fprintf(stderr, "vellumet-effects: cannot create %s\n", options.gif.c_str());
    return 1;
  }
  StopFlag stop{0};
  int timeMs = 0;
  for (int k = 0; k < kEffectCount; ++k) {
    if (options.effect >= 0 && k != options.effect) continue;
    std::memcpy(GetVisibleFrame(), picture.data(), kFrameBytes);
    if (options.label) DrawLabel(k, run.shown.left);
    sink.Take(k, timeMs);
    timeMs += options.holdMs;
    FrameTaker taker(sink, k, timeMs, options.everyMs);
    EffectTarget target{GetVisibleFrame(), &shown, &stop, &taker};
    RunEffect(k, target);
    timeMs = taker.EndMs();
    sink.Take(k, timeMs);
    std::printf("effect %2d %-30s ends at %6d ms\n", k, EffectName(k), timeMs);
    timeMs += options.holdMs / 2;
  }
  if (!sink.Finish(timeMs)) {
    std::fprintf(stderr, "vellumet-effects: cannot write the frames\n");
    return 1;
  }
  std::printf("%d frames, %d ms, picture shown %d x %d\n", sink.Taken(), timeMs, shown.width.load(), shown.height.load());
  return 0;
}
