// A board's own devices: the frame on panels of other sizes, pixel layouts and turns, and the
// /sys backlight and battery, on folders made by the test.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "platform/host/panel_writer.h"
#include "platform/host/sys_power.h"
#include "tests/support/temp_root.h"

namespace {

constexpr WORD kRed = 0xF800, kWhite = 0xFFFF, kBlue = 0x001F;
const PanelChannel k8R{16, 8}, k8G{8, 8}, k8B{0, 8};

PanelFormat Format(int width, int height, int bits, PanelChannel r = k8R, PanelChannel g = k8G, PanelChannel b = k8B) {
  return PanelFormat{width, height, bits, static_cast<size_t>(width * bits / 8), r, g, b};
}

// A frame of one colour with its first pixel red and its last white.
std::vector<WORD> Frame(WORD fill = kBlue) {
  std::vector<WORD> frame(kScreenWidth * kScreenHeight, fill);
  frame.front() = kRed;
  frame.back() = kWhite;
  return frame;
}

template <typename Pixel = std::uint32_t>
Pixel At(const std::vector<std::uint8_t>& panel, const PanelFormat& f, int x, int y) {
  Pixel p;
  return *static_cast<Pixel*>(std::memcpy(&p, panel.data() + y * f.stride + x * sizeof(Pixel), sizeof p));
}

std::vector<std::uint8_t> Write(const PanelFormat& f, const std::vector<WORD>& frame, int rotate = 0) {
  std::vector<std::uint8_t> panel(f.stride * static_cast<size_t>(f.height), 0xAA);
  PanelWriter(f, rotate).Write(frame.data(), panel.data(), true);
  return panel;
}

TEST(PanelWriter, TheDevicesOwnLayoutIsCopiedOthersGetTheTurnedFrameCentredOrScaledDown) {
  const std::vector<WORD> frame = Frame();
  EXPECT_TRUE(PanelWriter(NativePanelFormat()).IsNative());
  EXPECT_FALSE(PanelWriter(NativePanelFormat(), 180).IsNative());
  EXPECT_EQ(std::memcmp(Write(NativePanelFormat(), frame).data(), frame.data(), kFrameBytes), 0);

  // Padded rows: each row lands at its stride, the padding is left alone.
  PanelFormat padded = NativePanelFormat();
  padded.stride = 2048;
  const std::vector<std::uint8_t> wide = Write(padded, frame);
  for (int y : {0, 479}) EXPECT_EQ(std::memcmp(wide.data() + y * 2048, frame.data() + y * kScreenWidth, kFrameStrideBytes), 0);
  EXPECT_EQ(wide[1600], 0xAA);

  // Other panels: the turned frame centred, or scaled down by a whole factor.
  struct Case {
    int w, h, rotate;
    std::vector<int> placed;  // factor, left, top, width, height
  };
  for (const Case& c : std::vector<Case>{{800, 480, 0, {1, 0, 0, 800, 480}}, {1024, 600, 180, {1, 112, 60, 800, 480}},
                                         {480, 272, 0, {2, 40, 16, 400, 240}}, {320, 240, 0, {3, 27, 40, 266, 160}},
                                         {800, 400, 0, {2, 200, 80, 400, 240}}, {480, 800, 90, {1, 0, 0, 480, 800}},
                                         {600, 1024, 270, {1, 60, 112, 480, 800}}, {800, 480, 90, {2, 280, 40, 240, 400}}}) {
    const PanelPlacement p = PanelLayout(c.w, c.h, c.rotate).Placement();
    EXPECT_EQ((std::vector<int>{p.factor, p.left, p.top, p.width, p.height}), c.placed) << c.w << "x" << c.h << " " << c.rotate;
  }
}

TEST(PanelWriter, EachTurnPutsEveryPixelInPlaceOtherPanelsGetConvertedPixelsBordersAndBlockAverages) {
  std::vector<WORD> pattern(kScreenWidth * kScreenHeight);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<WORD>(i * 2654435761u >> 16);
  const int w = kScreenWidth, h = kScreenHeight;
  for (int rotate : {0, 90, 180, 270}) {
    const bool quarter = rotate % 180 != 0;
    const PanelFormat f = Format(quarter ? h : w, quarter ? w : h, 16, {11, 5}, {5, 6}, {0, 5});  // not native once turned
    const std::vector<std::uint8_t> panel = Write(f, pattern, rotate);
    int wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        // Where a clockwise turn takes the frame pixel (x, y).
        const int tx = rotate == 90 ? h - 1 - y : rotate == 180 ? w - 1 - x : rotate == 270 ? y : x;
        const int ty = rotate == 90 ? x : rotate == 180 ? h - 1 - y : rotate == 270 ? w - 1 - x : y;
        wrong += At<std::uint16_t>(panel, f, tx, ty) != pattern[y * w + x];
      }
    EXPECT_EQ(wrong, 0) << rotate;
  }

  const std::vector<WORD> frame = Frame();
  // A larger 32-bit panel: the frame centred, black around it; upside down, the first
  // pixel is at the bottom right of the picture.
  const PanelFormat large = Format(1024, 600, 32);
  std::vector<std::uint8_t> panel = Write(large, frame);
  EXPECT_EQ((std::vector<std::uint32_t>{At(panel, large, 0, 0), At(panel, large, 112, 60), At(panel, large, 113, 60),
                                        At(panel, large, 911, 539), At(panel, large, 912, 539), At(panel, large, 1023, 599)}),
            (std::vector<std::uint32_t>{0, 0xFF0000, 0x0000FF, 0xFFFFFF, 0, 0}));
  EXPECT_EQ(At(Write(large, frame, 180), large, 911, 539), 0xFF0000u);

  // Blue in the high bits of a 16-bit pixel; three bytes a pixel, red in the low byte.
  const PanelFormat bgr = Format(800, 480, 16, {0, 5}, {5, 6}, {11, 5});
  panel = Write(bgr, frame);
  EXPECT_EQ((std::vector<int>{At<std::uint16_t>(panel, bgr, 0, 0), At<std::uint16_t>(panel, bgr, 1, 0)}), (std::vector<int>{0x001F, 0xF800}));
  panel = Write(Format(800, 480, 24, {0, 8}, {8, 8}, {16, 8}), frame);
  EXPECT_EQ(std::vector<int>(panel.begin(), panel.begin() + 6), (std::vector<int>{255, 0, 0, 0, 0, 255}));

  // A smaller panel: each pixel the average of a 2 x 2 block, rounded; turned, the blocks
  // are the turned ones (the frame's top left is the panel's top right).
  std::vector<WORD> blocks(kScreenWidth * kScreenHeight, 0);
  for (int i : {0, 2, 3, kScreenWidth + 2, kScreenWidth + 3}) blocks[i] = kWhite;
  const PanelFormat small = Format(480, 272, 32), portrait = Format(240, 400, 32);
  panel = Write(small, blocks);
  EXPECT_EQ((std::vector<std::uint32_t>{At(panel, small, 39, 16), At(panel, small, 40, 16), At(panel, small, 41, 16)}),
            (std::vector<std::uint32_t>{0, 0x404040, 0xFFFFFF}));
  panel = Write(portrait, blocks, 90);
  EXPECT_EQ((std::vector<std::uint32_t>{At(panel, portrait, 239, 0), At(panel, portrait, 239, 1)}), (std::vector<std::uint32_t>{0x404040, 0xFFFFFF}));
}

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
