#include "viewer/view_geometry.h"

#include <gtest/gtest.h>

#include "decode/image_decoder.h"
#include "platform/kernel/debug.h"
#include "tests/support/screen.h"
#include "tests/support/temp_root.h"

namespace {

RECT Rend(UINT width, UINT height, UINT level = kDefaultZoomLevel, bool fullScreen = false, POINT drag = {},
          POINT* pan = nullptr) {
  CPhotoViewGeometry g;
  g.SetLayout(fullScreen);
  g.m_Width = width, g.m_Height = height, g.m_ZoomLevel = level;
  g.MouseDistance = drag;
  if (pan) g.MouseEndPoint = *pan;
  const RECT r = g.ComputeRendRect();
  if (pan) *pan = g.MouseEndPoint;
  return r;
}

#define EXPECT_POINT(p, px, py) EXPECT_TRUE((p).x == (px) && (p).y == (py)) << (p).x << "," << (p).y

TEST(ViewGeometry, FittedLevelsFitTheTurnedPhotoInSinglePrecision) {
  EXPECT_EQ(Rend(1600, 1200), (RECT{146, 0, 612, 350}));  // the height decides: 47 against 29
  EXPECT_EQ(Rend(1600, 1200, 0), (RECT{333, 140, 425, 210}));  // 20 %
  EXPECT_EQ(Rend(200, 100), (RECT{29, 0, 729, 350}));  // a small photo is enlarged to fit
  EXPECT_EQ(Rend(1600, 1200, kDefaultZoomLevel, true), (RECT{80, 0, 720, 480}));
  EXPECT_EQ(Rend(1200, 1600), (RECT{248, 0, 510, 350}));  // turned: smaller
  EXPECT_EQ(Rend(0, 0), (RECT{}));
  // Exact arithmetic gives 479 and 350 here.
  EXPECT_EQ(Rend(1000, 1333, kDefaultZoomLevel, true), (RECT{220, 0, 580, 480}));
  EXPECT_EQ(Rend(300, 529), (RECT{280, 1, 478, 349}));
}

TEST(ViewGeometry, ZoomedPhotosPanButNeverUncoverTheViewsEdge) {
  DebugCapture log;
  // 200 %: 21 % fits 336 x 252, shown 672 x 504: centred across, its edges outside above
  // and below. A quarter turn keeps the size.
  EXPECT_EQ(Rend(1600, 1200, 5), (RECT{43, -77, 715, 427}));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"1.rendRect(43,-77,715,427)", "2.MouseDistance(0,0)MouseEndPoint(0,0)",
                                                   "2.rendRect(43,-77,715,427)", "4.rendRect(43,-77,715,427)",
                                                   "5.rendRect(43,-77,715,427)"}));
  EXPECT_EQ(Rend(1200, 1600, 5), (RECT{127, -161, 631, 511}));

  // Down: the top edge stops at the view's top and the offset is corrected to match.
  POINT pan{};
  EXPECT_EQ(Rend(1600, 1200, 5, false, {0, 200}, &pan), (RECT{43, 0, 715, 504}));
  EXPECT_POINT(pan, 0, -123);
  // Up, with no positive component: the offset keeps the whole drag, only the placement
  // keeps the bottom edge on the view's bottom...
  pan = {0, -400};
  EXPECT_EQ(Rend(1600, 1200, 5, false, {}, &pan), (RECT{43, -154, 715, 350}));
  EXPECT_POINT(pan, 0, -400);
  // ...until a drag with a positive component brings it back.
  EXPECT_EQ(Rend(1600, 1200, 5, false, {0, 100}, &pan), (RECT{43, -154, 715, 350}));
  EXPECT_POINT(pan, 0, -177);
  // Across, the photo fits: it is not panned and its offset is dropped.
  pan = {};
  EXPECT_EQ(Rend(1600, 1200, 5, false, {50, 0}, &pan), (RECT{43, -77, 715, 427}));
  EXPECT_POINT(pan, 0, 0);
  // Fitted, nothing pans.
  EXPECT_EQ(Rend(1600, 1200, kDefaultZoomLevel, false, {300, 300}), (RECT{146, 0, 612, 350}));
}

TEST(ViewGeometry, ZoomStepsAndTurnsRescaleThePanOffset) {
  CPhotoViewGeometry g;
  g.m_ZoomLevel = 8;
  g.MouseEndPoint = POINT{10, -30};
  EXPECT_FALSE(g.ZoomIn());
  g.m_ZoomLevel = 0;
  EXPECT_FALSE(g.ZoomOut());
  EXPECT_EQ(g.m_ZoomLevel, 0u);

  DebugCapture log;
  g.m_ZoomLevel = 5;
  g.ZoomIn();  // 400 %: both double
  EXPECT_POINT(g.MouseEndPoint, 20, -60);
  g.ZoomOut();  // 200 %: both halve
  g.ZoomOut();  // 100 %: left as they are
  EXPECT_POINT(g.MouseEndPoint, 10, -30);
  g.ZoomIn();  // 200 % again: only the vertical one doubles
  EXPECT_POINT(g.MouseEndPoint, 10, -60);
  EXPECT_TRUE(log.Contains(" m_ZoomLevel = 400!!\r\n"));

  // Four quarter turns at a zoomed level come back to the start; fitted, none changes it.
  for (POINT p : {POINT{-60, -10}, POINT{-10, 60}, POINT{60, 10}, POINT{10, -60}}) {
    g.TurnPanOffset();
    EXPECT_POINT(g.MouseEndPoint, p.x, p.y);
  }
  g.m_ZoomLevel = kDefaultZoomLevel;
  g.TurnPanOffset();
  EXPECT_POINT(g.MouseEndPoint, 10, -60);

  // Stepping between fitted levels doubles the vertical offset every time: it stays
  // bounded, and the photo stays over the view.
  g.m_ZoomLevel = 3;
  for (int i = 0; i < 100; ++i) g.ZoomIn(), g.ZoomOut();
  POINT pan = g.MouseEndPoint;
  EXPECT_EQ(Rend(1600, 1200, 6, false, {}, &pan), (RECT{-283, -658, 1061, 350}));
}

TEST(ViewGeometry, DragsCountFromTheFirstMoveAndLayoutsKeepThePan) {
  CPhotoViewGeometry g;
  g.m_ZoomLevel = 6;
  g.TouchDown(POINT{100, 100});
  EXPECT_TRUE(g.MouseMove(POINT{120, 130}));
  EXPECT_TRUE(g.MouseMove(POINT{150, 100}));
  g.TouchUp();
  EXPECT_POINT(g.MouseEndPoint, 30, -30);
  g.m_Rotation = 2;
  g.SetLayout(true);
  EXPECT_TRUE(g.m_ZoomLevel == kDefaultZoomLevel && g.m_Rotation == 0 && g.m_RotatePending);
  EXPECT_POINT(g.MouseEndPoint, 30, -30);
  EXPECT_FALSE(g.MouseMove(POINT{0, 0}));  // fitted: no pan, no redraw
}

// A turn of three quarters the decoder cannot make (nothing is open) leaves the photo as decoded; the
// turns it makes are followed through the photo view's tests.
TEST(ViewGeometry, CalcRectRotateImgKeepsThePhotoWhenTheDecoderCannotTurn) {
  TempDeviceRoot root;
  ComApartment com;
  CImageDecoder decoder;
  decoder.Open(u"\\SDMMC\\missing.gif", 0, 0);
  decoder.m_ImageInfo.Width = 30, decoder.m_ImageInfo.Height = 20;
  CPhotoViewGeometry g;
  g.m_Rotation = 4;  // counts as no turn
  g.CalcRectRotateImg(decoder);
  EXPECT_TRUE(g.m_Rotation == 0 && g.m_Width == 30u);
  g.m_Rotation = 3;
  g.m_RotatePending = TRUE;
  g.CalcRectRotateImg(decoder);
  EXPECT_TRUE(g.m_Rotation == 0 && g.m_RotationAngle == 0.0f && g.m_Width == 30u && !g.m_RotatePending);
}

}  // namespace
