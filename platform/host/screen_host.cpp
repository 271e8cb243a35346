// The SDL window and the headless script runner.
#include "platform/host/screen_host.h"

#include <SDL.h>
#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"
#include "platform/windows/window.h"

#undef printf

namespace {

std::thread g_host;
std::atomic<bool> g_stop{false};

void Headless(std::vector<ScreenCommand> commands, std::string shots) {
  RunScreenScript(commands, shots);
  PostQuitToWindowThread(0);
}

void RunAnsweredLine(const std::string& line, const std::string& shots) {
  std::string error;
  std::optional<std::vector<ScreenCommand>> commands = ParseScreenScript(line, &error);
  if (!commands) std::printf("error: %s\n", error.c_str());
  else std::printf("%s\n", RunScreenScript(*commands, shots) ? "done" : "failed");
  std::fflush(stdout);
}

// Runs standard input's lines as they come, until it ends or the host is stopped.
void FromStandardInput(std::string shots) {
  std::string pending;
  char buffer[512];
  for (;;) {
    if (g_stop) return;
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready = poll(&in, 1, 100);  // wakes now and then to see whether the host stops
    if (ready < 0 && errno != EINTR) break;
    if (ready <= 0) continue;
    const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      const std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      RunAnsweredLine(line, shots);
    }
  }
  if (!pending.empty()) RunAnsweredLine(pending, shots);
  PostQuitToWindowThread(0);
}

// The commands of a script file or of the tour text; nothing when they cannot be read.
std::optional<std::vector<ScreenCommand>> LoadCommands(const std::string& path, const std::string& text) {
  std::string source = text;
  if (!path.empty()) {
    std::ifstream in(path);
    if (!in) {
      std::fprintf(stderr, "vellumet: cannot read the script %s\n", path.c_str());
      return std::nullopt;
    }
    std::stringstream content;
    content << in.rdbuf();
    source = content.str();
  }
  std::string error;
  std::optional<std::vector<ScreenCommand>> parsed = ParseScreenScript(source, &error);
  if (!parsed) std::fprintf(stderr, "vellumet: %s: %s\n", path.empty() ? "the tour" : path.c_str(), error.c_str());
  return parsed;
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

// SDL's stand-in drivers open windows that nobody sees and that never close.
bool ShowsAnything(const char* driver) {
  if (!driver) return false;
  const std::string name = driver;
  if (name != "offscreen" && name != "dummy" && name != "evdev") return true;
  SDL_SetError("only SDL's %s video driver", driver);
  return false;
}

// Runs the window until it is closed or the program ends.
void Windowed(SDL_Window* window, SDL_Renderer* renderer, SDL_Texture* texture, int scale) {
  bool down = false;
  while (!g_stop) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
      switch (e.type) {
        case SDL_QUIT:
          PostQuitToWindowThread(0);
          break;
        case SDL_MOUSEBUTTONDOWN:
          if (e.button.button == SDL_BUTTON_LEFT) {
            down = true;
            PostTouch(TouchKind::Down, e.button.x / scale, e.button.y / scale);
          }
          break;
        case SDL_MOUSEMOTION:
          if (down) PostTouch(TouchKind::Move, e.motion.x / scale, e.motion.y / scale);
          break;
        case SDL_MOUSEBUTTONUP:
          if (e.button.button == SDL_BUTTON_LEFT && down) {
            down = false;
            PostTouch(TouchKind::Up, e.button.x / scale, e.button.y / scale);
          }
          break;
        case SDL_KEYDOWN:
          Key(e.key.keysym.sym);
          break;
        default:
          break;
      }
    }
    SDL_UpdateTexture(texture, nullptr, GetShownFrame(), static_cast<int>(kFrameStrideBytes));
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    if (IsWaitCursorShown()) DrawWaitCursor(renderer, scale);
    SDL_ShowCursor(CursorShowCount() >= 0 ? SDL_ENABLE : SDL_DISABLE);
    SDL_RenderPresent(renderer);
    SDL_Delay(16);
  }
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

}  // namespace

bool StartScreenHost(const ScreenHostOptions& options) {
  g_stop = false;
  const bool fromInput = options.headless && options.script == "-";
  std::optional<std::vector<ScreenCommand>> commands;
  if (!fromInput) {
    commands = LoadCommands(options.headless ? options.script : std::string(), options.tour);
    if (!commands) return false;
  }
  if (!options.headless) {
    const int scale = std::max(1, options.scale);
    // The window is made, and its events read, on the host's own thread.
    std::promise<bool> opened;
    std::future<bool> result = opened.get_future();
    g_host = std::thread([scale, &opened, shots = options.shotsDir] {
      SDL_Window* window = nullptr;
      SDL_Renderer* renderer = nullptr;
      SDL_Texture* texture = nullptr;
      if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && ShowsAnything(SDL_GetCurrentVideoDriver())) {
        window = SDL_CreateWindow("vellumet", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kScreenWidth * scale,
                                  kScreenHeight * scale, 0);
        renderer = window ? SDL_CreateRenderer(window, -1, 0) : nullptr;
        texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_STREAMING,
                                               kScreenWidth, kScreenHeight)
                           : nullptr;
      }
      if (!texture) {
        std::fprintf(stderr, "vellumet: no display (%s); running headless%s%s\n", SDL_GetError(),
                     shots.empty() ? "" : ", screenshots in ", shots.c_str());
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        opened.set_value(false);
        return;
      }
      opened.set_value(true);
      Windowed(window, renderer, texture, scale);
    });
    if (result.get()) return true;
    g_host.join();
  }
  if (fromInput) g_host = std::thread(FromStandardInput, options.shotsDir);
  else g_host = std::thread(Headless, std::move(*commands), options.shotsDir);
  return true;
}

void StopScreenHost() {
  g_stop = true;
  if (g_host.joinable()) g_host.join();
}
