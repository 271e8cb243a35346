// The frame on panels of other sizes and pixel layouts.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/host/panel_writer.h"

namespace {

constexpr WORD kRed = 0xF800, kWhite = 0xFFFF, kBlue = 0x001F;

PanelFormat Format(int width, int height, int bits, PanelChannel r, PanelChannel g, PanelChannel b, size_t stride = 0) {
  PanelFormat f;
  f.width = width;
  f.height = height;
  f.bitsPerPixel = bits;
  f.stride = stride ? stride : static_cast<size_t>(width * bits / 8);
  f.red = r;
  f.green = g;
  f.blue = b;
  return f;
}

// A frame of one colour with a few marked pixels.
std::vector<WORD> Frame(WORD fill = kBlue) {
  std::vector<WORD> frame(kScreenWidth * kScreenHeight, fill);
  frame[0] = kRed;
  frame[kScreenWidth * kScreenHeight - 1] = kWhite;
  return frame;
}

std::uint32_t Pixel32(const std::vector<std::uint8_t>& panel, const PanelFormat& f, int x, int y) {
  std::uint32_t p;
  std::memcpy(&p, panel.data() + static_cast<size_t>(y) * f.stride + static_cast<size_t>(x) * 4, 4);
  return p;
}

TEST(PanelWriter, TheDevicesOwnLayoutIsCopiedAsItIs) {
  const std::vector<WORD> frame = Frame();
  PanelWriter writer(NativePanelFormat());
  EXPECT_TRUE(writer.IsNative());
  std::vector<std::uint8_t> panel(kFrameBytes, 0xAA);
  writer.Write(frame.data(), panel.data(), true);
  EXPECT_EQ(std::memcmp(panel.data(), frame.data(), kFrameBytes), 0);

  // Padded rows: each row lands at its stride, the padding is left alone.
  PanelFormat padded = NativePanelFormat();
  padded.stride = 2048;
  std::vector<std::uint8_t> wide(2048 * kScreenHeight, 0xAA);
  PanelWriter(padded).Write(frame.data(), wide.data(), true);
  for (int y : {0, 479}) EXPECT_EQ(std::memcmp(wide.data() + y * 2048, frame.data() + y * kScreenWidth, kFrameStrideBytes), 0);
  EXPECT_EQ(wide[1600], 0xAA);
}

TEST(PanelWriter, PlacesTheFrameCentredOrScaledDownByAWholeFactor) {
  auto place = [](int w, int h) {
    const PanelPlacement p = PlaceFrame(w, h);
    return std::vector<int>{p.factor, p.left, p.top, p.width, p.height};
  };
  EXPECT_EQ(place(800, 480), (std::vector<int>{1, 0, 0, 800, 480}));
  EXPECT_EQ(place(1024, 600), (std::vector<int>{1, 112, 60, 800, 480}));
  EXPECT_EQ(place(480, 272), (std::vector<int>{2, 40, 16, 400, 240}));
  EXPECT_EQ(place(320, 240), (std::vector<int>{3, 27, 40, 266, 160}));
  EXPECT_EQ(place(800, 400), (std::vector<int>{2, 200, 80, 400, 240}));
}

TEST(PanelWriter, ALargerThirtyTwoBitPanelGetsConvertedPixelsWithBlackBorders) {
  const PanelFormat f = Format(1024, 600, 32, {16, 8}, {8, 8}, {0, 8});
  PanelWriter writer(f);
  EXPECT_FALSE(writer.IsNative());
  std::vector<std::uint8_t> panel(f.stride * 600, 0xAA);
  const std::vector<WORD> frame = Frame();
  writer.Write(frame.data(), panel.data(), true);
  EXPECT_EQ(Pixel32(panel, f, 0, 0), 0u);            // border
  EXPECT_EQ(Pixel32(panel, f, 1023, 599), 0u);       // border
  EXPECT_EQ(Pixel32(panel, f, 112, 60), 0xFF0000u);  // the frame's first pixel, red
  EXPECT_EQ(Pixel32(panel, f, 113, 60), 0x0000FFu);  // blue
  EXPECT_EQ(Pixel32(panel, f, 911, 539), 0xFFFFFFu);  // the last, white
  EXPECT_EQ(Pixel32(panel, f, 912, 539), 0u);
}

TEST(PanelWriter, OtherChannelOrdersAndTwentyFourBitPixels) {
  // Blue in the high bits of a 16-bit pixel.
  const PanelFormat bgr = Format(800, 480, 16, {0, 5}, {5, 6}, {11, 5});
  std::vector<std::uint8_t> panel(bgr.stride * 480);
  const std::vector<WORD> frame = Frame();
  PanelWriter(bgr).Write(frame.data(), panel.data(), true);
  std::uint16_t first, second;
  std::memcpy(&first, panel.data(), 2);
  std::memcpy(&second, panel.data() + 2, 2);
  EXPECT_EQ(first, 0x001F);   // red
  EXPECT_EQ(second, 0xF800);  // blue

  // Three bytes a pixel, red in the low byte.
  const PanelFormat rgb24 = Format(800, 480, 24, {0, 8}, {8, 8}, {16, 8});
  std::vector<std::uint8_t> panel24(rgb24.stride * 480);
  PanelWriter(rgb24).Write(frame.data(), panel24.data(), true);
  EXPECT_EQ((std::vector<int>{panel24[0], panel24[1], panel24[2], panel24[3], panel24[4], panel24[5]}),
            (std::vector<int>{255, 0, 0, 0, 0, 255}));
}

TEST(PanelWriter, ASmallerPanelShowsTheAverageOfEachBlock) {
  const PanelFormat f = Format(480, 272, 32, {16, 8}, {8, 8}, {0, 8});
  std::vector<WORD> frame(kScreenWidth * kScreenHeight, 0);
  frame[0] = kWhite;  // one white pixel of the top left 2 x 2 block
  frame[2] = kWhite;  // the next block is all white
  frame[3] = kWhite;
  frame[kScreenWidth + 2] = kWhite;
  frame[kScreenWidth + 3] = kWhite;
  std::vector<std::uint8_t> panel(f.stride * 272, 0xAA);
  PanelWriter(f).Write(frame.data(), panel.data(), true);
  EXPECT_EQ(Pixel32(panel, f, 40, 16), 0x404040u);  // a quarter of white, rounded
  EXPECT_EQ(Pixel32(panel, f, 41, 16), 0xFFFFFFu);
  EXPECT_EQ(Pixel32(panel, f, 39, 16), 0u);  // border
}

}  // namespace
