// Screen scripts for the headless host and for tests.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/kernel/debug.h"
#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"
#include "platform/gdi/png_file.h"
#include "platform/storage/files.h"
#include "platform/host/screen_host.h"
#include "platform/host/shown_frame_copy.h"
#include "platform/windows/window.h"

#undef printf

namespace {

constexpr DWORD kSettleMs = 10000;
// A settle waits in slices this long so that it notices the application's end.
constexpr DWORD kSettleSliceMs = 20;

// A decimal number, or a hexadecimal one after 0x (launcher codes are often written so).
bool Number(const std::string& word, long* out) {
  const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  const char* digits = word.c_str() + (hex ? 2 : 0);
  if (*digits == '\0' || (hex && (*digits == '-' || *digits == '+'))) return false;
  char* end = nullptr;
  errno = 0;
  *out = std::strtol(digits, &end, hex ? 16 : 10);
  return *end == '\0' && errno == 0;
}

// A clock speed: a positive, finite decimal number.
bool PositiveNumber(const std::string& word) {
  char* end = nullptr;
  const double value = std::strtod(word.c_str(), &end);
  return end != word.c_str() && *end == '\0' && std::isfinite(value) && value > 0;
}

bool Ended(HANDLE ended) { return ended && WaitForSingleObject(ended, 0) == WAIT_OBJECT_0; }

// Waits until a screen is up and has settled, for at most kSettleMs; false when the
// application ended first. With no screen up the program is between two screens or its
// application is ending, so the wait goes on until a screen comes or the end does: a
// command never runs after the application's last screen has gone.
bool Settle(HANDLE ended) {
  if (!ended) {
    WaitForWindowThreadIdle(kSettleMs);
    return true;
  }
  for (DWORD waited = 0; waited < kSettleMs; waited += kSettleSliceMs) {
    if (!GetForegroundWindow()) {
      if (WaitForSingleObject(ended, kSettleSliceMs) == WAIT_OBJECT_0) return false;
    } else if (WaitForWindowThreadIdle(kSettleSliceMs) && GetForegroundWindow()) {
      break;  // settled with a screen up (the idle wait also returns when the last window went)
    }
  }
  return !Ended(ended);
}

// False when the application ended before the time was up.
bool Pause(DWORD ms, HANDLE ended) {
  if (!ended) {
    Sleep(ms);
    return true;
  }
  return WaitForSingleObject(ended, ms) != WAIT_OBJECT_0;
}

void PostToFront(UINT message, WPARAM w, LPARAM l) {
  if (HWND front = GetForegroundWindow()) PostMessage(front, message, w, l);
}

}  // namespace

std::optional<std::vector<ScreenCommand>> ParseScreenScript(const std::string& text, std::string* error,
                                                           int firstLine) {
  std::vector<ScreenCommand> commands;
  // A script saved by an editor that marks UTF-8 files starts with a byte-order mark.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  const bool marked = firstLine == 1 && std::string_view(text).substr(0, 3) == kByteOrderMark;
  std::istringstream lines(marked ? text.substr(kByteOrderMark.size()) : text);
  std::string line;
  int number = firstLine - 1;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(number) + ": " + why;
    return std::nullopt;
  };
  while (std::getline(lines, line)) {
    ++number;
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    if (words.empty() || words[0][0] == '#') continue;
    const std::string& verb = words[0];
    ScreenCommand c;
    c.kind = ScreenCommand::Wait;
    const size_t args = words.size() - 1;
    auto numbers = [&](size_t count) {
      long* slots[2] = {&c.a, &c.b};
      for (size_t i = 0; i < count; ++i)
        if (!Number(words[i + 1], slots[i])) return false;
      return true;
    };
    if (verb == "wait" && args == 1 && numbers(1) && c.a >= 0) c.kind = ScreenCommand::Wait;
    else if ((verb == "tap" || verb == "down" || verb == "move" || verb == "up") && args == 2 && numbers(2))
      c.kind = verb == "tap" ? ScreenCommand::Tap : verb == "down" ? ScreenCommand::Down
               : verb == "move" ? ScreenCommand::Move : ScreenCommand::Up;
    else if (verb == "shot" && args == 1 && words[1].find('/') == std::string::npos) {
      c.kind = ScreenCommand::Shot;
      c.name = words[1];
    } else if (verb == "launcher" && (args == 1 || args == 2) && numbers(args)) c.kind = ScreenCommand::Launcher;
    else if (verb == "battery" && args == 1 && numbers(1)) c.kind = ScreenCommand::Battery;
    else if (verb == "pause" && args == 0) c.kind = ScreenCommand::Pause;
    else if (verb == "speed" && args == 1 && PositiveNumber(words[1])) {
      c.kind = ScreenCommand::Speed;
      c.name = words[1];
    }
    else if (verb == "card" && args == 1 && (words[1] == "out" || words[1] == "in" || words[1] == "readonly")) {
      c.kind = ScreenCommand::Card;
      c.name = words[1];
    }
    else return fail("not a command: " + line);
    commands.push_back(c);
  }
  return commands;
}

bool WriteScreenShot(const std::string& hostPath) {
  // A shot is taken like the panel's scan-out: the frame as it is at that moment.
  std::vector<WORD> frame(kFrameBytes / sizeof(WORD));
  CopyShownFrame(frame.data());
  return WritePng565(hostPath, frame.data(), kScreenWidth, kScreenHeight, kScreenWidth);
}

ScriptResult RunScreenScript(const std::vector<ScreenCommand>& commands, const std::string& shotsDir, HANDLE ended) {
  bool ok = true;
  for (const ScreenCommand& c : commands) {
    const int x = static_cast<int>(c.a), y = static_cast<int>(c.b);
    // Every command but a wait acts on the settled screen.
    if (c.kind == ScreenCommand::Wait ? !Pause(static_cast<DWORD>(c.a), ended) : !Settle(ended))
      return ScriptResult::Ended;
    switch (c.kind) {
      case ScreenCommand::Wait:
        break;
      case ScreenCommand::Tap:
        PostTouch(TouchKind::Down, x, y);
        PostTouch(TouchKind::Up, x, y);
        break;
      case ScreenCommand::Down:
        PostTouch(TouchKind::Down, x, y);
        break;
      case ScreenCommand::Move:
        PostTouch(TouchKind::Move, x, y);
        break;
      case ScreenCommand::Up:
        PostTouch(TouchKind::Up, x, y);
        break;
      case ScreenCommand::Shot: {
        const std::string path = (shotsDir.empty() ? std::string(".") : shotsDir) + "/" + c.name + ".png";
        if (!WriteScreenShot(path)) {
          std::fprintf(stderr, "vellumet: cannot write the screenshot %s\n", path.c_str());
          ok = false;
        }
        break;
      }
      case ScreenCommand::Launcher:
        PostToFront(kLauncherMessage, static_cast<WPARAM>(c.a), static_cast<LPARAM>(c.b));
        break;
      case ScreenCommand::Battery:
        SetBatteryState(static_cast<LONG>(c.a));
        PostToFront(kLauncherMessage, 6, 0);
        break;
      case ScreenCommand::Pause:
        PostToFront(kPauseMessage, 0, 0);
        break;
      case ScreenCommand::Card:
        SetCardTakenOut(c.name == "out");
        SetCardWriteProtected(c.name == "readonly");
        break;
      case ScreenCommand::Speed:
        SetClockSpeed(std::strtod(c.name.c_str(), nullptr));
        break;
    }
  }
  if (!Settle(ended)) return ScriptResult::Ended;
  return ok ? ScriptResult::Done : ScriptResult::Failed;
}
