// What a message over the window link between two processes costs: finding a window of
// another process by its title, a send answered by the other window thread, and posts.
//
//   vellumet-link-bench [-n N]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/storage/files.h"
#include "platform/windows/window.h"
#include "platform/windows/window_link.h"

#undef printf

namespace {

constexpr UINT kEcho = WM_USER + 1;   // answers wParam + 1
constexpr UINT kCount = WM_USER + 2;  // posted; counted
constexpr UINT kAsk = WM_USER + 3;    // answers how many were counted
constexpr UINT kEnd = WM_USER + 4;

struct Target : WindowHandler {
  std::atomic<long> counted{0};
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case kEcho: return static_cast<LRESULT>(wParam + 1);
      case kCount: ++counted; return 0;
      case kAsk: return counted.load();
      case kEnd: PostQuitToWindowThread(0); return 0;
      default: return DefWindowProc(window, message, wParam, lParam);
    }
  }
};

int RunTarget() {
  Target target;
  HWND window = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 1, 1}, u"bench-target", 0, &target);
  if (!StartWindowLink()) return 1;
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
  DestroyWindow(window);
  StopWindowLink();
  return 0;
}

double Micros(std::chrono::steady_clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  int n = 2000;
  if (argc == 3 && std::string(argv[1]) == "-n") n = std::max(10, std::atoi(argv[2]));
  const std::filesystem::path root = std::filesystem::temp_directory_path() / ("vellumet-link-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(root / "SDMMC");
  SetDeviceRoot(root.string());

  const pid_t child = fork();
  if (child == 0) _exit(RunTarget());
  StartWindowLink();

  using Clock = std::chrono::steady_clock;
  HWND target = nullptr;
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
  while (!target && Clock::now() < deadline) target = FindWindowW(nullptr, u"bench-target");
  if (!target) {
    std::fprintf(stderr, "vellumet-link-bench: the target process never appeared\n");
    return 1;
  }

  std::vector<double> finds, sends;
  for (int i = 0; i < 200; ++i) {
    const Clock::time_point t = Clock::now();
    if (FindWindowW(nullptr, u"bench-target")) finds.push_back(Micros(Clock::now() - t));
  }
  int wrong = 0;
  for (int i = 0; i < n; ++i) {
    const Clock::time_point t = Clock::now();
    LRESULT answer = 0;
    if (!SendRemoteMessageWaiting(target, kEcho, static_cast<WPARAM>(i), 0, 1000, &answer) || answer != i + 1) ++wrong;
    sends.push_back(Micros(Clock::now() - t));
  }
  const Clock::time_point postStart = Clock::now();
  for (int i = 0; i < n; ++i) PostMessage(target, kCount, 0, 0);
  LRESULT handled = 0;
  while ((handled = SendMessage(target, kAsk, 0, 0)) < n && Clock::now() < postStart + std::chrono::seconds(30)) {
  }
  const double postEach = Micros(Clock::now() - postStart) / n;
  PostMessage(target, kEnd, 0, 0);
  int status = 0;
  waitpid(child, &status, 0);
  StopWindowLink();
  std::error_code ignored;
  std::filesystem::remove_all(root, ignored);

  std::printf("find window of another process: median %.1f us, p99 %.1f us\n", Percentile(finds, 0.5), Percentile(finds, 0.99));
  std::printf("send and answer (%d): median %.1f us, p99 %.1f us, wrong answers %d\n", n, Percentile(sends, 0.5),
              Percentile(sends, 0.99), wrong);
  std::printf("post, until handled (%d): %.1f us a message, lost %ld\n", n, postEach, static_cast<long>(n - handled));
  return wrong == 0 && handled == n ? 0 : 1;
}
