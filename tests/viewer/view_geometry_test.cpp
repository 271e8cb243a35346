#include "viewer/view_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "decode/image_decoder.h"
#include "platform/device/framebuffer.h"
#include "platform/imaging/com.h"
#include "platform/kernel/debug.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/temp_root.h"

namespace {

CPhotoViewGeometry Showing(UINT width, UINT height, UINT level = kDefaultZoomLevel, bool fullScreen = false) {
  CPhotoViewGeometry g;
  g.SetLayout(fullScreen);
  g.m_Width = width;
  g.m_Height = height;
  g.m_ZoomLevel = level;
  return g;
}

void ExpectRect(const RECT& r, LONG l, LONG t, LONG right, LONG b) {
  EXPECT_EQ(r, (RECT{l, t, right, b})) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
}

void ExpectOffset(const POINT& p, LONG x, LONG y) {
  EXPECT_EQ(p.x, x);
  EXPECT_EQ(p.y, y);
}

TEST(ViewGeometry, FittedLevelsFitTheTurnedPhotoIntoTheView) {
  // 1600 x 1200 in the 758 x 350 view: the height decides (47 against 29).
  ExpectRect(Showing(1600, 1200).ComputeRendRect(), 146, 0, 612, 350);
  ExpectRect(Showing(1600, 1200, 0).ComputeRendRect(), 333, 140, 425, 210);  // 20 %: 93 x 70
  // A photo smaller than the view is enlarged until it fits.
  ExpectRect(Showing(200, 100).ComputeRendRect(), 29, 0, 729, 350);
  // Full screen: 640 x 480 of the 800 x 480 screen.
  ExpectRect(Showing(1600, 1200, kDefaultZoomLevel, true).ComputeRendRect(), 80, 0, 720, 480);
  // Nothing to lay out before a photo is there.
  ExpectRect(Showing(0, 0).ComputeRendRect(), 0, 0, 0, 0);
}

TEST(ViewGeometry, TheScaleIsSinglePrecisionAndTruncated) {
  // Exact or double arithmetic gives 479 here: a reduced 4000 x 3000 photo turned upright.
  ExpectRect(Showing(1000, 1333, kDefaultZoomLevel, true).ComputeRendRect(), 220, 0, 580, 480);
  // And 350 here, where single precision truncates to 349.
  ExpectRect(Showing(300, 529).ComputeRendRect(), 280, 1, 478, 349);
}

TEST(ViewGeometry, ZoomedLevelsCentreAndKeepThePhotoOverTheView) {
  DebugCapture log;
  // 200 %: 35000 / 1600 = 21 %, 336 x 252 fitted, 672 x 504 shown: narrower than the view
  // (centred across), taller (its edges stay outside the view).
  CPhotoViewGeometry g = Showing(1600, 1200, 5);
  ExpectRect(g.ComputeRendRect(), 43, -77, 715, 427);
  const std::vector<std::string> lines = log.Lines();
  EXPECT_EQ(lines, (std::vector<std::string>{"1.rendRect(43,-77,715,427)", "2.MouseDistance(0,0)MouseEndPoint(0,0)",
                                             "2.rendRect(43,-77,715,427)", "4.rendRect(43,-77,715,427)",
                                             "5.rendRect(43,-77,715,427)"}));

  // Dragged down: the top edge stops at the view's top, the offset is corrected to match.
  g.MouseDistance = POINT{0, 200};
  ExpectRect(g.ComputeRendRect(), 43, 0, 715, 504);
  ExpectOffset(g.MouseEndPoint, 0, -123);
  g.TouchUp();
  ExpectOffset(g.MouseEndPoint, 0, 77);
  ExpectRect(g.ComputeRendRect(), 43, 0, 715, 504);

  // Dragged up past the bottom edge: no positive component, so the offset keeps the whole
  // drag and only the placement puts the bottom edge back on the view's bottom.
  g.MouseEndPoint = POINT{0, 0};
  g.MouseDistance = POINT{0, -400};
  ExpectRect(g.ComputeRendRect(), 43, -154, 715, 350);
  g.TouchUp();
  ExpectOffset(g.MouseEndPoint, 0, -400);
  ExpectRect(g.ComputeRendRect(), 43, -154, 715, 350);
  // The next drag with a positive component brings the offset back to the edge.
  g.MouseDistance = POINT{0, 100};
  ExpectRect(g.ComputeRendRect(), 43, -154, 715, 350);
  ExpectOffset(g.MouseEndPoint, 0, -177);

  // Across, the photo fits: it cannot be panned and its offset is dropped.
  g.MouseEndPoint = POINT{0, 0};
  g.MouseDistance = POINT{50, 0};
  ExpectRect(g.ComputeRendRect(), 43, -77, 715, 427);
  ExpectOffset(g.MouseEndPoint, 0, 0);

  // At a fitted level a drag changes nothing.
  CPhotoViewGeometry fitted = Showing(1600, 1200);
  fitted.MouseDistance = POINT{300, 300};
  ExpectRect(fitted.ComputeRendRect(), 146, 0, 612, 350);
}

TEST(ViewGeometry, DragsAreMeasuredFromTheFirstMoveAndPanOnlyWhenZoomed) {
  CPhotoViewGeometry g = Showing(1600, 1200);
  g.TouchDown(POINT{100, 100});
  EXPECT_FALSE(g.MouseMove(POINT{150, 150}));  // fitted: no pan, no redraw
  ExpectOffset(g.MouseDistance, 0, 0);
  g.TouchUp();

  g.m_ZoomLevel = 6;
  DebugCapture log;
  g.TouchDown(POINT{100, 100});
  EXPECT_TRUE(g.MouseMove(POINT{120, 130}));  // the drag starts here, not at the touch
  EXPECT_TRUE(g.MouseMove(POINT{150, 100}));
  ExpectOffset(g.MouseDistance, 30, -30);
  EXPECT_TRUE(log.Contains("MouseDistance.x = 30 MouseDistance.y = -30\r\n"));
  g.TouchUp();
  ExpectOffset(g.MouseDistance, 0, 0);
  ExpectOffset(g.MouseEndPoint, 30, -30);
}

TEST(ViewGeometry, ZoomStepsStopAtTheEndsAndRescaleThePanOffset) {
  CPhotoViewGeometry g;
  g.m_ZoomLevel = 8;
  g.MouseEndPoint = POINT{10, -30};
  EXPECT_FALSE(g.ZoomIn());
  EXPECT_EQ(g.m_ZoomLevel, 8u);
  ExpectOffset(g.MouseEndPoint, 10, -30);
  g.m_ZoomLevel = 0;
  EXPECT_FALSE(g.ZoomOut());
  EXPECT_EQ(g.m_ZoomLevel, 0u);

  DebugCapture log;
  g.m_ZoomLevel = 5;
  EXPECT_TRUE(g.ZoomIn());  // 400 %: both double
  ExpectOffset(g.MouseEndPoint, 20, -60);
  EXPECT_TRUE(g.ZoomOut());  // 200 %: both halve
  ExpectOffset(g.MouseEndPoint, 10, -30);
  EXPECT_TRUE(g.ZoomOut());  // 100 %: left as they are
  ExpectOffset(g.MouseEndPoint, 10, -30);
  EXPECT_TRUE(g.ZoomIn());  // 200 % again: only the vertical offset doubles
  ExpectOffset(g.MouseEndPoint, 10, -60);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{" m_ZoomLevel = 400!!", " m_ZoomLevel = 200!!", " m_ZoomLevel = 100!!",
                                                   " m_ZoomLevel = 200!!"}));
  // Halving truncates toward zero.
  g.m_ZoomLevel = 6;
  g.MouseEndPoint = POINT{-7, 7};
  g.ZoomOut();
  ExpectOffset(g.MouseEndPoint, -3, 3);

  // Zooming in and out between fitted levels doubles the vertical offset each time; it stays
  // bounded instead of overflowing.
  g.m_ZoomLevel = 3;
  g.MouseEndPoint = POINT{-1000, -1000};
  for (int i = 0; i < 100; ++i) {
    g.ZoomIn();
    g.ZoomOut();
  }
  EXPECT_LT(g.MouseEndPoint.y, 0);
  g.m_ZoomLevel = 6;
  g.m_Width = 1600;
  g.m_Height = 1200;
  ExpectRect(g.ComputeRendRect(), -586, -658, 758, 350);  // the bottom right corner on the view's
}

TEST(ViewGeometry, QuarterTurnsTurnThePanOffsetOnlyWhenZoomed) {
  CPhotoViewGeometry g;
  g.m_ZoomLevel = 5;
  g.MouseEndPoint = POINT{10, -30};
  const POINT expected[4] = {{-30, -10}, {-10, 30}, {30, 10}, {10, -30}};
  for (const POINT& p : expected) {
    g.TurnPanOffset();
    ExpectOffset(g.MouseEndPoint, p.x, p.y);
  }
  g.m_ZoomLevel = kDefaultZoomLevel;
  g.TurnPanOffset();
  ExpectOffset(g.MouseEndPoint, 10, -30);

  // Zoomed, a turn swaps the shown size without changing it; fitted, it does not keep it.
  ExpectRect(Showing(1200, 1600, 5).ComputeRendRect(), 127, -161, 631, 511);
  ExpectRect(Showing(1200, 1600).ComputeRendRect(), 248, 0, 510, 350);
}

TEST(ViewGeometry, LayoutsReplaceTheRectanglesButKeepThePan) {
  CPhotoViewGeometry g = Showing(1600, 1200, 7);
  g.m_Rotation = 2;
  g.MouseEndPoint = POINT{5, 6};
  g.SetLayout(true);
  EXPECT_EQ(g.m_ViewRect, (RECT{0, 0, 800, 480}));
  EXPECT_EQ(g.m_ScreenRect, (RECT{0, 0, 800, 480}));
  EXPECT_TRUE(g.m_FullScreen);
  EXPECT_EQ(g.m_ZoomLevel, kDefaultZoomLevel);
  EXPECT_EQ(g.m_Rotation, 0);
  EXPECT_TRUE(g.m_RotatePending);
  ExpectOffset(g.MouseEndPoint, 5, 6);
  g.SetLayout(false);
  EXPECT_EQ(g.m_ViewRect, (RECT{0, 0, 758, 350}));
  EXPECT_EQ(g.m_ScreenRect, (RECT{22, 20, 780, 370}));
  g.ResetView();
  ExpectOffset(g.MouseEndPoint, 0, 0);
}

TEST(ViewGeometry, ClearingBlacksExactlyTheScreenRectangle) {
  WORD* frame = GetVisibleFrame();
  std::fill(frame, frame + kScreenWidth * kScreenHeight, WORD{0xFFFF});
  CPhotoViewGeometry g;
  g.ClearScreenRect();
  auto at = [&](int x, int y) { return frame[y * kScreenWidth + x]; };
  EXPECT_EQ(at(22, 20), 0);
  EXPECT_EQ(at(779, 369), 0);
  EXPECT_EQ(at(21, 20), 0xFFFF);
  EXPECT_EQ(at(780, 369), 0xFFFF);
  EXPECT_EQ(at(22, 19), 0xFFFF);
  EXPECT_EQ(at(22, 370), 0xFFFF);
  g.SetLayout(true);
  g.ClearScreenRect();
  EXPECT_EQ(at(0, 0), 0);
  EXPECT_EQ(at(799, 479), 0);
}

// The turn as the decoder takes it: absolute angles, sizes swapped for a sideways photo, and
// a failed turn back to the photo as decoded.
TEST(ViewGeometry, CalcRectRotateImgTurnsThroughTheDecoder) {
  TempDeviceRoot root;
  const Bytes jpeg = MakeJpeg(Pattern(64, 48));
  root.WriteFile("SDMMC/p.jpg", std::string(jpeg.begin(), jpeg.end()));
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  {
    CImageDecoder decoder;
    ASSERT_EQ(decoder.Open(u"\\SDMMC\\p.jpg", 64, 48), 1u);
    ASSERT_NE(decoder.Decode(0), 0u);
    CPhotoViewGeometry g;
    DebugCapture log;
    for (int turn = 1; turn <= 4; ++turn) {
      ++g.m_Rotation;
      g.m_RotatePending = TRUE;
      g.CalcRectRotateImg(decoder);
      EXPECT_EQ(g.m_Rotation, turn % 4);
      EXPECT_EQ(g.m_RotationAngle, 90.0f * static_cast<float>(turn % 4));
      EXPECT_EQ(g.m_Width, turn % 2 ? 48u : 64u);
      EXPECT_FALSE(g.m_RotatePending);
      EXPECT_EQ(decoder.JpgSw()->Width(), turn % 2 ? 48u : 64u);
    }
    EXPECT_TRUE(log.Contains("m_Width, : 48, m_Height : 64\r\n"));

    // Without a picture the turn fails: the photo stays as decoded.
    decoder.Close();
    decoder.Open(u"\\SDMMC\\missing.gif", 0, 0);
    decoder.m_ImageInfo.Width = 30;
    decoder.m_ImageInfo.Height = 20;
    g.m_Rotation = 1;
    g.m_RotatePending = TRUE;
    g.CalcRectRotateImg(decoder);
    EXPECT_EQ(g.m_Rotation, 0);
    EXPECT_EQ(g.m_RotationAngle, 0.0f);
    EXPECT_EQ(g.m_Width, 30u);
    EXPECT_EQ(g.m_Height, 20u);
  }
  CoUninitialize();
}

}  // namespace
