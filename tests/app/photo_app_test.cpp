// The application in this process: its start and exit steps around the main page, what they
// tell the launcher's window and ask of the backlight; and the small device services.
#include "app/photo_app.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "app/device_requests.h"
#include "app/launcher.h"
#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "res/resources.h"
#include "tests/support/temp_root.h"

namespace {

// A stand-in for the launcher's window in this process: it records what it receives.
struct LauncherWindow : WindowHandler {
  std::mutex lock;
  std::vector<std::string> received;
  HWND hwnd = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 1, 1}, u"mainpage", 0, this);
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

// The application's start and exit steps on this (the window) thread while `drive` runs on
// another thread once the window thread is idle.
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

class PhotoAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallResources();
    m_root.WriteFile("registry.txt",
                     "[HKEY_LOCAL_MACHINE\\Drivers\\Display\\TCC79X\\CONFIG]\n\"LCD_Width\"=dword:00000320\n"
                     "\"LCD_Height\"=dword:000001e0\n");
    SetDeviceRoot(m_root.Path().string());  // again, to read the registry written now
    SetBacklightPresent(true);
    ClearBacklightCalls();
  }
  TempDeviceRoot m_root;
  LauncherWindow m_launcher;
};

}  // namespace

TEST_F(PhotoAppTest, RunsTheMainPageUntilTheLauncherClosesIt) {
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
  EXPECT_EQ(m_launcher.Received(), (std::vector<std::string>{"0xcf02 0 0", "0x0bfb 35 4"}));
  std::vector<BacklightCall> calls = GetBacklightCalls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_TRUE(calls.front().code == kBacklightRequestA && calls.front().value == 0u);
  EXPECT_TRUE(calls.back().code == kBacklightRequestA && calls.back().value == 1u);
  EXPECT_EQ(FindWindowW(nullptr, u"photo"), nullptr);
}

TEST_F(PhotoAppTest, ASecondCopyEndsAtOnceAndStillTellsTheLauncher) {
  HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"belongstoPhoto");
  CPhotoApp app;
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(FindWindowW(nullptr, u"photo"), nullptr);
  app.ExitInstance();
  Pump();
  CloseHandle(first);
  EXPECT_EQ(m_launcher.Received(), (std::vector<std::string>{"0x0bfb 35 4"}));
  std::vector<BacklightCall> calls = GetBacklightCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].value, 1u);
}

TEST(DeviceRequests, FillScreenFillsBothFramesAndTheBatteryStateIsTheDrivers) {
  EXPECT_EQ(ColourToRgb565(0x6E6334), 0x330D);
  EXPECT_EQ(ColourToRgb565(0xFFFFFF), 0xFFFF);
  EXPECT_EQ(ColourToRgb565(0x0000FF), 0xF800);  // red lives in the low byte
  FillScreen(0x6E6334);
  const WORD* memory = GetVisibleFrame();
  for (size_t i = 0; i < kFrameMemoryBytes / 2; ++i)
    if (memory[i] != 0x330D) FAIL() << "pixel " << i << " is " << memory[i];

  TempDeviceRoot root;
  SetBatteryState(3);
  DebugCapture log;
  EXPECT_EQ(ReadBatteryState(), 3);
  EXPECT_EQ(log.Text(), "  m_GetValue = 3 ");
}
