// Screen scripts for the headless host and for tests.
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "platform/kernel/debug.h"
#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"
#include "platform/gdi/png_file.h"
#include "platform/storage/files.h"
#include "platform/host/screen_host.h"
#include "platform/windows/window.h"

#undef printf

namespace {

constexpr DWORD kSettleMs = 10000;

bool Number(const std::string& word, long* out) {
  if (word.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *out = std::strtol(word.c_str(), &end, 10);
  return *end == '\0' && errno == 0;
}

void Settle() { WaitForWindowThreadIdle(kSettleMs); }

void ToFront(UINT message, WPARAM w, LPARAM l) {
  Settle();
  if (HWND front = GetForegroundWindow()) PostMessage(front, message, w, l);
}

}  // namespace

std::optional<std::vector<ScreenCommand>> ParseScreenScript(const std::string& text, std::string* error) {
  std::vector<ScreenCommand> commands;
  std::istringstream lines(text);
  std::string line;
  int number = 0;
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
  return WritePng565(hostPath, GetShownFrame(), kScreenWidth, kScreenHeight, kScreenWidth);
}

bool RunScreenScript(const std::vector<ScreenCommand>& commands, const std::string& shotsDir) {
  bool ok = true;
  for (const ScreenCommand& c : commands) {
    const int x = static_cast<int>(c.a), y = static_cast<int>(c.b);
    switch (c.kind) {
      case ScreenCommand::Wait:
        Sleep(static_cast<DWORD>(c.a));
        break;
      case ScreenCommand::Tap:
        Settle();
        PostTouch(TouchKind::Down, x, y);
        PostTouch(TouchKind::Up, x, y);
        break;
      case ScreenCommand::Down:
      case ScreenCommand::Move:
      case ScreenCommand::Up:
        Settle();
        PostTouch(c.kind == ScreenCommand::Down ? TouchKind::Down : c.kind == ScreenCommand::Move ? TouchKind::Move : TouchKind::Up, x, y);
        break;
      case ScreenCommand::Shot: {
        Settle();
        const std::string path = (shotsDir.empty() ? std::string(".") : shotsDir) + "/" + c.name + ".png";
        if (!WriteScreenShot(path)) {
          std::fprintf(stderr, "vellumet: cannot write the screenshot %s\n", path.c_str());
          ok = false;
        }
        break;
      }
      case ScreenCommand::Launcher:
        ToFront(kLauncherMessage, static_cast<WPARAM>(c.a), static_cast<LPARAM>(c.b));
        break;
      case ScreenCommand::Battery:
        SetBatteryState(static_cast<LONG>(c.a));
        ToFront(kLauncherMessage, 6, 0);
        break;
      case ScreenCommand::Card:
        Settle();
        SetCardTakenOut(c.name == "out");
        SetCardWriteProtected(c.name == "readonly");
        break;
    }
  }
  Settle();
  return ok;
}
