// The /sys backlight and battery, on folders made by the test.
#include <gtest/gtest.h>

#include "platform/device/drivers.h"
#include "platform/host/sys_power.h"
#include "tests/support/temp_root.h"

namespace {

// The test's /sys: a temporary folder (it is a device root too, which nothing here reads).
class SysPowerTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) { return (m_sys.Path() / name).string(); }
  TempDeviceRoot m_sys;
};

TEST_F(SysPowerTest, TheBacklightFollowsTheDriversRequestsTheBatteryIsMappedToTheDevicesStates) {
  m_sys.WriteFile("panel/brightness", "40\n");
  m_sys.WriteFile("panel/max_brightness", "255\n");
  SysBacklight light(Path("panel"));
  light.Follow(0x223490, 0);  // the application starts
  EXPECT_EQ(m_sys.ReadFile("panel/brightness"), "255\n");
  m_sys.WriteFile("panel/brightness", "10\n");  // dimmed by something else
  light.Follow(0x223494, 0);                    // a slideshow starts: nothing
  EXPECT_EQ(m_sys.ReadFile("panel/brightness"), "10\n");
  light.Follow(0x223494, 1);  // a click
  EXPECT_EQ(m_sys.ReadFile("panel/brightness"), "255\n");
  light.Follow(0x223490, 1);  // the application ends: the brightness it found
  EXPECT_EQ(m_sys.ReadFile("panel/brightness"), "40\n");

  // "auto" takes the first folder that has the file.
  m_sys.WriteFile("class/b-light/max_brightness", "1\n");
  m_sys.WriteFile("class/a-mains/online", "1\n");
  m_sys.WriteFile("class/c-light/max_brightness", "1\n");
  EXPECT_EQ(FindSysFolder("auto", Path("class"), "max_brightness"), Path("class/b-light"));
  EXPECT_EQ(FindSysFolder(Path("class/c-light"), "", "max_brightness"), Path("class/c-light"));
  EXPECT_EQ(FindSysFolder(Path("class/a-mains"), "", "max_brightness"), "");
  EXPECT_EQ(FindSysFolder("auto", Path("nothing"), "capacity"), "");

  // The battery, mapped to the device's states.
  std::vector<LONG> states;
  for (int percent : {0, 4, 5, 14, 15, 39, 40, 64, 65, 94, 95, 100}) states.push_back(BatteryStateFor(percent, false));
  EXPECT_EQ(states, (std::vector<LONG>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 7, 7}));
  EXPECT_EQ(BatteryStateFor(10, true), 6);

  m_sys.WriteFile("BAT1/capacity", "50\n");
  m_sys.WriteFile("BAT1/status", "Discharging\n");
  EXPECT_EQ(ReadSysBattery(Path("BAT1")), 4);
  m_sys.WriteFile("BAT1/status", "Charging\n");
  EXPECT_EQ(ReadSysBattery(Path("BAT1")), 6);
  EXPECT_FALSE(ReadSysBattery(Path("none")));

  // The watch sets the driver's state when it is made.
  m_sys.WriteFile("BAT1/status", "Full\n");
  m_sys.WriteFile("BAT1/capacity", "100\n");
  SetBatteryState(3);
  BatteryWatch watch(Path("BAT1"));
  EXPECT_EQ(GetSimulatedBatteryState(), 7);
}

}  // namespace
