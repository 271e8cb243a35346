// The /sys backlight and battery, on folders made by the test.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/device/drivers.h"
#include "platform/host/sys_power.h"

namespace {

namespace fs = std::filesystem;

class SysPowerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("vellumet-sys-" + std::to_string(getpid()));
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }
  void Write(const std::string& name, const std::string& text) {
    fs::create_directories((m_dir / name).parent_path());
    std::ofstream(m_dir / name) << text;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(m_dir / name);
    std::string word;
    in >> word;
    return word;
  }
  fs::path m_dir;
};

TEST_F(SysPowerTest, TheBacklightFollowsTheDriversRequests) {
  Write("panel/brightness", "40\n");
  Write("panel/max_brightness", "255\n");
  SysBacklight light((m_dir / "panel").string());
  light.Follow(0x223490, 0);  // the application starts
  EXPECT_EQ(Read("panel/brightness"), "255");
  Write("panel/brightness", "10\n");  // dimmed by something else
  light.Follow(0x223494, 0);          // a slideshow starts: nothing
  EXPECT_EQ(Read("panel/brightness"), "10");
  light.Follow(0x223494, 1);  // a click
  EXPECT_EQ(Read("panel/brightness"), "255");
  light.Follow(0x223490, 1);  // the application ends: the brightness it found
  EXPECT_EQ(Read("panel/brightness"), "40");
}

TEST_F(SysPowerTest, TheBatteryIsMappedToTheDevicesStates) {
  std::vector<LONG> states;
  for (int percent : {0, 4, 5, 14, 15, 39, 40, 64, 65, 94, 95, 100}) states.push_back(BatteryStateFor(percent, false));
  EXPECT_EQ(states, (std::vector<LONG>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 7, 7}));
  EXPECT_EQ(BatteryStateFor(10, true), 6);

  Write("BAT1/capacity", "50\n");
  Write("BAT1/status", "Discharging\n");
  EXPECT_EQ(ReadSysBattery((m_dir / "BAT1").string()), 4);
  Write("BAT1/status", "Charging\n");
  EXPECT_EQ(ReadSysBattery((m_dir / "BAT1").string()), 6);
  EXPECT_FALSE(ReadSysBattery((m_dir / "none").string()));

  // The watch sets the driver's state when it is made.
  Write("BAT1/status", "Full\n");
  Write("BAT1/capacity", "100\n");
  SetBatteryState(3);
  BatteryWatch watch((m_dir / "BAT1").string());
  EXPECT_EQ(GetSimulatedBatteryState(), 7);
}

TEST_F(SysPowerTest, AutoTakesTheFirstFolderThatHasTheFile) {
  Write("class/b-light/max_brightness", "1\n");
  Write("class/a-mains/online", "1\n");
  Write("class/c-light/max_brightness", "1\n");
  EXPECT_EQ(FindSysFolder("auto", (m_dir / "class").string(), "max_brightness"), (m_dir / "class/b-light").string());
  EXPECT_EQ(FindSysFolder((m_dir / "class/c-light").string(), "", "max_brightness"), (m_dir / "class/c-light").string());
  EXPECT_EQ(FindSysFolder((m_dir / "class/a-mains").string(), "", "max_brightness"), "");
  EXPECT_EQ(FindSysFolder("auto", (m_dir / "nothing").string(), "capacity"), "");
}

}  // namespace
