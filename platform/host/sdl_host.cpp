// The SDL window host.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "platform/host/host_end.h"
#include "platform/host/host_pace.h"
#include "platform/host/hosts.h"
#include "platform/host/shown_frame_copy.h"
#include "platform/windows/window.h"

#undef printf

namespace {

bool Set(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// Why no display can be shown on, or "" when one may be there. SDL is not asked without
// one: its probes write to standard error (a Wayland probe without XDG_RUNTIME_DIR does) and
// end on stand-in drivers that show nothing.
std::string MissingDisplay() {
  if (Set("SDL_VIDEODRIVER")) return "";
  // A Wayland display is found in XDG_RUNTIME_DIR unless it is named by an absolute path.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (Set("WAYLAND_DISPLAY") && (Set("XDG_RUNTIME_DIR") || wayland[0] == '/')) return "";
  if (Set("DISPLAY")) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");  // an X display only: no Wayland probe
    return "";
  }
  return Set("WAYLAND_DISPLAY") ? "WAYLAND_DISPLAY is set but XDG_RUNTIME_DIR is not"
                                : "neither DISPLAY nor WAYLAND_DISPLAY is set";
}

// SDL's stand-in drivers open windows that nobody sees and that never close.
bool ShowsAnything(const char* driver) {
  if (!driver) return false;
  const std::string name = driver;
  if (name != "offscreen" && name != "dummy" && name != "evdev") return true;
  SDL_SetError("only SDL's %s video driver", driver);
  return false;
}

void PostToFront(UINT message, WPARAM w, LPARAM l) {
  if (HWND front = GetForegroundWindow()) PostMessage(front, message, w, l);
}

// A small spinning mark at the centre while the program shows its wait cursor.
void DrawWaitCursor(SDL_Renderer* renderer, int scale) {
  const Uint32 t = SDL_GetTicks() / 100;
  const int cx = kScreenWidth * scale / 2, cy = kScreenHeight * scale / 2, r = 14 * scale;
  for (int i = 0; i < 8; ++i) {
    const double a = (i + t) * 3.14159265 / 4;
    const Uint8 level = static_cast<Uint8>(80 + 20 * i);
    SDL_SetRenderDrawColor(renderer, level, level, level, 255);
    SDL_Rect dot{cx + static_cast<int>(r * std::cos(a)) - 3 * scale, cy + static_cast<int>(r * std::sin(a)) - 3 * scale,
                 6 * scale, 6 * scale};
    SDL_RenderFillRect(renderer, &dot);
  }
}

void Key(SDL_Keycode key) {
  static LONG battery = 3;
  switch (key) {
    case SDLK_h: PostToFront(kLauncherMessage, 10, 0); break;
    case SDLK_s: PostToFront(kLauncherMessage, 8, 0); break;
    case SDLK_q: PostToFront(kLauncherMessage, 2, 0); break;
    case SDLK_p: PostToFront(kPauseMessage, 0, 0); break;
    case SDLK_b:
      battery = (battery + 1) % 8;
      SetBatteryState(battery);
      std::fprintf(stderr, "vellumet: battery state %d\n", static_cast<int>(battery));
      PostToFront(kLauncherMessage, 6, 0);
      break;
    case SDLK_c: PostToFront(kLauncherMessage, 7, 6); break;
    default: break;
  }
}

using Clock = std::chrono::steady_clock;
constexpr auto kCursorPeriod = std::chrono::milliseconds(100);         // the wait cursor's turns

// The event that wakes the window's thread when the shown frame has changed.
Uint32 g_frameEvent = static_cast<Uint32>(-1);
void WakeForFrame() {
  SDL_Event e{};
  e.type = g_frameEvent;
  SDL_PushEvent(&e);
}

// Handles one event; true when it asks for the window to be drawn anew.
bool Handle(const SDL_Event& e, int scale, bool& down) {
  switch (e.type) {
    case SDL_QUIT:
      EndApplicationFromHost();
      return false;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT) {
        down = true;
        PostTouch(TouchKind::Down, e.button.x / scale, e.button.y / scale);
      }
      return false;
    case SDL_MOUSEMOTION:
      if (down) PostTouch(TouchKind::Move, e.motion.x / scale, e.motion.y / scale);
      return false;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT && down) {
        down = false;
        PostTouch(TouchKind::Up, e.button.x / scale, e.button.y / scale);
      }
      return false;
    case SDL_KEYDOWN:
      Key(e.key.keysym.sym);
      return false;
    case SDL_WINDOWEVENT:
      return true;  // shown, uncovered, moved: the window's picture is drawn again
    default:
      return e.type == g_frameEvent;
  }
}

// Shows the frame and feeds the mouse as touches until the application has ended. The window
// is drawn when the frame has changed, at most 60 times a second (and while the wait cursor
// turns); otherwise the thread sleeps until an event comes.
void Run(SDL_Renderer* renderer, SDL_Texture* texture, int scale, BatteryWatch* battery) {
  bool down = false;
  bool due = true;
  Clock::time_point nextFrame = Clock::now();
  std::vector<WORD> frame(kFrameBytes / sizeof(WORD));
  g_frameEvent = SDL_RegisterEvents(1);
  SetFrameChangeWake(&WakeForFrame);
  while (!ApplicationHasEnded()) {
    const Clock::time_point now = Clock::now();
    const bool turning = IsWaitCursorShown();
    if ((due || turning) && now >= nextFrame) {
      due = false;
      TakeFrameChange();  // before the copy: whatever is drawn after it is announced again
      CopyShownFrame(frame.data());
      SDL_UpdateTexture(texture, nullptr, frame.data(), static_cast<int>(kFrameStrideBytes));
      SDL_RenderClear(renderer);
      SDL_RenderCopy(renderer, texture, nullptr, nullptr);
      if (turning) DrawWaitCursor(renderer, scale);
      SDL_ShowCursor(CursorShowCount() >= 0 ? SDL_ENABLE : SDL_DISABLE);
      SDL_RenderPresent(renderer);
      nextFrame = now + (turning ? Clock::duration(kCursorPeriod) : Clock::duration(kFramePeriod));
    }
    if (battery) battery->Poll();
    Clock::time_point wakeAt = due || turning ? nextFrame : Clock::time_point::max();
    if (battery) wakeAt = std::min(wakeAt, battery->NextPoll());
    const int wait = WaitMsUntil(wakeAt);
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, wait)) {
      due |= Handle(e, scale, down);
      while (SDL_PollEvent(&e)) due |= Handle(e, scale, down);
    }
  }
  SetFrameChangeWake(nullptr);
}

// Leaves nothing of SDL's video open.
void CloseVideo(SDL_Window* window, SDL_Renderer* renderer, SDL_Texture* texture) {
  if (texture) SDL_DestroyTexture(texture);
  if (renderer) SDL_DestroyRenderer(renderer);
  if (window) SDL_DestroyWindow(window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
  // SDL keeps its error text in data of the calling thread, and frees it by itself only for
  // threads that SDL made.
  SDL_TLSCleanup();
}

}  // namespace

void RunSdlHost(int scale, BatteryWatch* battery, const std::function<void(bool opened, const std::string& why)>& opened) {
  std::string why = MissingDisplay();
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  if (why.empty()) {
    // An 800 x 480 frame needs no graphics card: the window is drawn in software, so that no
    // OpenGL driver is loaded (some keep memory they never free once they are unloaded).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && ShowsAnything(SDL_GetCurrentVideoDriver())) {
      window = SDL_CreateWindow("vellumet", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kScreenWidth * scale,
                                kScreenHeight * scale, 0);
      renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
      texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                             kScreenWidth, kScreenHeight)
                         : nullptr;
    }
    if (!texture) why = SDL_GetError();
  }
  if (!texture) {
    CloseVideo(window, renderer, nullptr);
    opened(false, why);
    return;
  }
  opened(true, "");
  Run(renderer, texture, scale, battery);
  CloseVideo(window, renderer, texture);
}
