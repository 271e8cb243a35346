#include "platform/host/console.h"

#include <fcntl.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr char kCursorOff[] = "\033[?25l";
constexpr char kCursorOn[] = "\033[?25h";
constexpr char kBlankingOff[] = "\033[9;0]";

int g_tty = -1;
int g_oldMode = -1;  // the virtual console's mode before; -1 when it is not one
std::string g_blanking;  // the sequence that puts the blanking interval back
std::atomic<bool> g_taken{false};

void Send(const std::string& text) {
  if (write(g_tty, text.data(), text.size()) < 0) {
    // A terminal that takes no output has nothing to put back either.
  }
}

// The escape sequence that sets the blanking interval the kernel has now (in minutes,
// rounded up; 0 is off).
std::string CurrentBlanking() {
  std::ifstream in("/sys/module/kernel/parameters/consoleblank");
  long seconds = 0;
  if (!(in >> seconds) || seconds < 0) seconds = 0;
  return "\033[9;" + std::to_string((seconds + 59) / 60) + "]";
}

}  // namespace

void TakeOverConsole() {
  if (g_taken || !isatty(STDIN_FILENO)) return;
  // Standard input's own descriptor: a service manager opened the terminal before the
  // program lost the rights to open it itself.
  g_tty = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  if (g_tty < 0) return;
  g_blanking = CurrentBlanking();
  Send(std::string(kCursorOff) + kBlankingOff);
  int mode = 0;
  if (ioctl(g_tty, KDGETMODE, &mode) == 0) {
    if (ioctl(g_tty, KDSETMODE, KD_GRAPHICS) == 0) g_oldMode = mode;
    else std::perror("vellumet: the console stays in text mode (KDSETMODE)");
  }
  g_taken = true;
}

void RestoreConsole() {
  if (!g_taken.exchange(false)) return;
  if (g_oldMode >= 0) ioctl(g_tty, KDSETMODE, g_oldMode);
  Send(kCursorOn + g_blanking);
  close(g_tty);
  g_tty = -1;
  g_oldMode = -1;
}
