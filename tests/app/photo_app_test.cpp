#include "app/photo_app.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "app/launcher.h"
#include "platform/kernel/debug.h"
#include "platform/device/drivers.h"
#include "platform/kernel/kernel.h"
#include "platform/storage/registry.h"
#include "res/resources.h"
#include "tests/support/temp_root.h"

namespace {

// A stand-in for the launcher's window in this process: it records what it receives.
struct LauncherWindow : WindowHandler {
  std::mutex lock;
  std::vector<std::string> received;
  HWND hwnd = nullptr;
  LauncherWindow() { hwnd = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 1, 1}, u"mainpage", 0, this); }
  ~LauncherWindow() override { ::DestroyWindow(hwnd); }
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == kLauncherMessage || message == kFirstPaintMessage) {
      std::lock_guard guard(lock);
      char line[64];
      std::snprintf(line, sizeof line, "0x%04x %d %d", message, static_cast<int>(wParam), static_cast<int>(lParam));
      received.emplace_back(line);
    }
    return DefWindowProc(window, message, wParam, lParam);
  }
  std::vector<std::string> Received() {
    std::lock_guard guard(lock);
    return received;
  }
};

void Pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
}

// Runs the application's start and exit steps on this (the window) thread while
// `drive` runs on another thread once the window thread is idle.
void RunApp(CPhotoApp& app, const std::function<void()>& drive) {
  std::thread driver([&] {
    WaitForWindowThreadIdle(5000);
    drive();
  });
  EXPECT_FALSE(app.InitInstance());
  driver.join();
  app.ExitInstance();
  Pump();
}

const char* kDisplayKeys =
    "[HKEY_LOCAL_MACHINE\\Drivers\\Display\\TCC79X\\CONFIG]\n\"LCD_Width\"=dword:00000320\n"
    "\"LCD_Height\"=dword:000001e0\n";

class PhotoAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallResources();
    m_root.WriteFile("registry.txt", kDisplayKeys);
    SetDeviceRoot(m_root.Path().string());
    SetBacklightPresent(true);
    ClearBacklightCalls();
  }
  TempDeviceRoot m_root;
};

}  // namespace

TEST_F(PhotoAppTest, RunsTheMainPageUntilTheLauncherClosesIt) {
  LauncherWindow launcher;
  CPhotoApp app;
  RunApp(app, [&] {
    HWND page = FindWindowW(nullptr, u"photo");
    ASSERT_NE(page, nullptr);
    PostMessage(page, kLauncherMessage, 10, 0);  // hide: the buttons go
    PostMessage(page, kLauncherMessage, 8, 0);   // show again
    PostMessage(page, kLauncherMessage, 2, 0);   // close
  });
  EXPECT_EQ(CPhotoApp::LcdWidth(), 800);
  EXPECT_EQ(CPhotoApp::LcdHeight(), 480);
  EXPECT_EQ(launcher.Received(), (std::vector<std::string>{"0xcf02 0 0", "0x0bfb 35 4"}));
  std::vector<BacklightCall> calls = GetBacklightCalls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front().code, 0x223490u);
  EXPECT_EQ(calls.front().value, 0u);
  EXPECT_EQ(calls.back().code, 0x223490u);
  EXPECT_EQ(calls.back().value, 1u);
  EXPECT_EQ(FindWindowW(nullptr, u"photo"), nullptr);
}

TEST_F(PhotoAppTest, ASecondCopyEndsAtOnceAndStillTellsTheLauncher) {
  HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"belongstoPhoto");
  LauncherWindow launcher;
  CPhotoApp app;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(FindWindowW(nullptr, u"photo"), nullptr);
  app.ExitInstance();
  Pump();
  CloseHandle(first);
  EXPECT_EQ(launcher.Received(), (std::vector<std::string>{"0x0bfb 35 4"}));
  std::vector<BacklightCall> calls = GetBacklightCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].value, 1u);
}
