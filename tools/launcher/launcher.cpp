// A stand-in for the device's launcher.
//
//   vellumet-launcher --root DIR listen
//       owns a window titled "mainpage" and prints one line for every message it receives
//       ("0x0bfb 35 4"); ends on SIGINT or SIGTERM.
//   vellumet-launcher --root DIR send TITLE MSG WPARAM LPARAM [--front] [--wait]
//       posts one message to the window of that title in another process (with --front, to
//       the front window of that process) and exits 0, or 1 when there is no such window.
//       With --wait the message is sent instead, and the tool ends once it has been handled
//       (1 when no answer came within ten seconds), so that scripts can go on in step.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/storage/files.h"
#include "platform/kernel/wide.h"
#include "platform/windows/window.h"
#include "platform/windows/window_link.h"

#undef printf

namespace {

constexpr DWORD kWaitMs = 10000;

struct Listener : WindowHandler {
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message >= WM_USER) {
      std::printf("0x%04x %lld %lld\n", message, static_cast<long long>(wParam), static_cast<long long>(lParam));
      std::fflush(stdout);
      return 0;
    }
    return DefWindowProc(window, message, wParam, lParam);
  }
};

int Listen() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // before any thread starts, so all inherit it

  Listener listener;
  HWND window = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 1, 1}, u"mainpage", 0, &listener);
  if (!StartWindowLink()) {
    std::fprintf(stderr, "vellumet-launcher: cannot open the window link\n");
    return 1;
  }
  std::thread([signals] {
    int received = 0;
    sigwait(&signals, &received);
    PostQuitToWindowThread(0);
  }).detach();
  std::fprintf(stderr, "vellumet-launcher: listening\n");
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
  DestroyWindow(window);
  StopWindowLink();
  return 0;
}

bool ParseNumber(const char* text, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 0);
  return end != text && *end == '\0';
}

int Send(int argc, char** argv, int first) {
  if (argc - first < 4) return 2;
  long long message, wParam, lParam;
  if (!ParseNumber(argv[first + 1], message) || !ParseNumber(argv[first + 2], wParam) ||
      !ParseNumber(argv[first + 3], lParam))
    return 2;
  bool front = false, wait = false;
  for (int i = first + 4; i < argc; ++i) {
    const std::string flag = argv[i];
    if (flag == "--front") front = true;
    else if (flag == "--wait") wait = true;
    else return 2;
  }
  StartWindowLink();
  WString title = FromUtf8(argv[first]);
  HWND window = FindWindowW(nullptr, title.c_str());
  if (window && front) window = RemoteFrontWindow(window);
  const auto msg = static_cast<UINT>(message);
  const auto w = static_cast<WPARAM>(wParam);
  const auto l = static_cast<LPARAM>(lParam);
  bool sent = window && IsRemoteWindow(window) &&
              (wait ? SendRemoteMessageWaiting(window, msg, w, l, kWaitMs, nullptr) : PostMessage(window, msg, w, l));
  StopWindowLink();
  if (!sent) std::fprintf(stderr, "vellumet-launcher: no window titled %s\n", argv[first]);
  return sent ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  int i = 1;
  std::string root = "demo-root";
  if (argc > 2 && std::string(argv[1]) == "--root") {
    root = argv[2];
    i = 3;
  }
  SetDeviceRoot(root);
  int result = 2;
  if (i < argc && std::string(argv[i]) == "listen") result = Listen();
  if (i < argc && std::string(argv[i]) == "send") result = Send(argc, argv, i + 1);
  if (result == 2)
    std::fprintf(stderr,
                 "usage: vellumet-launcher [--root DIR] listen\n"
                 "       vellumet-launcher [--root DIR] send TITLE MSG WPARAM LPARAM [--front] [--wait]\n");
  return result;
}
