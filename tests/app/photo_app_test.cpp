// The application in this process: the LCD size it reads from the registry at the start,
// which nothing else shows, and what a refused second copy asks of the backlight; and the
// small device services. The rest of the start and exit around the main page (what they tell
// the launcher, the backlight taken and given back) is tested on the real program in
// program_test.cpp and frame_buffer_host_test.cpp.
#include "app/photo_app.h"

#include <gtest/gtest.h>

#include "app/device_requests.h"
#include "app/launcher.h"
#include "platform/device/drivers.h"
#include "platform/kernel/debug.h"
#include "res/resources.h"
#include "tests/app/two_processes.h"
#include "tests/support/screen.h"

TEST(PhotoApp, ReadsTheLcdSizeAtTheStartAndARefusedCopyOnlyGivesTheBacklightBack) {
  InstallResources();
  TempDeviceRoot root;
  root.WriteFile("registry.txt", kDisplayKeys);
  SetDeviceRoot(root.Path().string());  // again, to read the registry written now
  SetBacklightPresent(true);
  CPhotoApp app;
  RunWithDriver([&] { return static_cast<INT_PTR>(app.InitInstance()); },
                [] {
                  WaitForWindowThreadIdle(5000);
                  PostMessage(FindWindowW(nullptr, u"photo"), kLauncherMessage, 2, 0);
                });
  app.ExitInstance();
  EXPECT_EQ(std::pair(CPhotoApp::LcdWidth(), CPhotoApp::LcdHeight()), std::pair(800, 480));

  ClearBacklightCalls();
  HANDLE first = CreateEventW(nullptr, TRUE, FALSE, u"belongstoPhoto");
  CPhotoApp copy;
  EXPECT_FALSE(copy.InitInstance());
  copy.ExitInstance();
  CloseHandle(first);
  const std::vector<BacklightCall> calls = GetBacklightCalls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].code == kBacklightRequestA && calls[0].value == 1u);
}

TEST(DeviceRequests, FillScreenFillsBothFramesAndTheBatteryStateIsTheDrivers) {
  EXPECT_EQ(ColourToRgb565(0x6E6334), 0x330D);
  EXPECT_EQ(ColourToRgb565(0xFFFFFF), 0xFFFF);
  EXPECT_EQ(ColourToRgb565(0x0000FF), 0xF800);  // red lives in the low byte
  FillScreen(0x6E6334);
  const WORD* memory = GetVisibleFrame();  // both frames
  EXPECT_EQ(std::count(memory, memory + kFrameMemoryBytes / 2, WORD{0x330D}), static_cast<long>(kFrameMemoryBytes / 2));

  TempDeviceRoot root;
  SetBatteryState(3);
  DebugCapture log;
  EXPECT_EQ(ReadBatteryState(), 3);
  EXPECT_EQ(log.Text(), "  m_GetValue = 3 ");
}
