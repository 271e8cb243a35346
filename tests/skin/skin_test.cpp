#include <gtest/gtest.h>

#include "skin/thumb_painter.h"
#include "tests/support/screen.h"
#include "tests/support/stub_image.h"

namespace {

// The back window is the visible full-screen window to draw on.
using SkinTest = ScreenTest;

TEST_F(SkinTest, LargeBlitsFreezeTheDisplaySmallOnesDoNotAndAllArePixelExact) {
  WORD* shadow = GetShadowFrame();
  std::fill(shadow, shadow + kFrameBytes / 2, WORD{0x5555});
  GetVisibleFrame()[0] = 0x1234;
  SkinPixels frame(skin::kCellFrame);
  BlitTransparent(m_back.get(), 0, 0, frame.bitmap, kSkinTransparent);
  EXPECT_EQ(shadow[0], 0x5555);  // 170 x 130: no freeze
  EXPECT_EQ(*GetFrameBaseRegister(), kVisibleFramePhysical);

  GetVisibleFrame()[400] = 0x4321;
  *GetFrameBaseRegister() = kShadowFramePhysical;
  SkinPixels background(skin::kMainBackground);
  BlitBitmap(m_back.get(), 0, 0, 0, 0, 0, 0, background.bitmap);
  // The frame as it was before the background went on was shown meanwhile...
  EXPECT_EQ(shadow[400], 0x4321);
  // ...and the finished picture is shown afterwards.
  EXPECT_EQ(*GetFrameBaseRegister(), kVisibleFramePhysical);
  EXPECT_EQ(Pixel(400, 0), background.At(400, 0));

  // The size drawn decides: a stretch into 480 x 273 freezes, into 481 x 272 does not.
  std::fill(shadow, shadow + kFrameBytes / 2, WORD{0x5555});
  SkinPixels placeholder(skin::kPlaceholder);
  BlitStretched(m_back.get(), 0, 0, 481, 272, 0, 0, placeholder.bitmap);
  EXPECT_EQ(shadow[0], 0x5555);
  BlitStretched(m_back.get(), 0, 0, 481, 273, 0, 0, placeholder.bitmap);
  EXPECT_EQ(shadow[0], placeholder.At(0, 0));

  // Blits are pixel exact.
  FillFrame(0);
  SkinPixels button(skin::kExitUp);
  BlitBitmap(m_back.get(), 10, 20, 30, 15, 40, 5, button.bitmap);
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(Pixel(10 + x, 20 + y), button.At(40 + x, 5 + y)) << x << "," << y;
  EXPECT_TRUE(Pixel(9, 20) == 0 && Pixel(40, 20) == 0);  // nothing beside it
  BlitBitmap(m_back.get(), 200, 200, 0, 10, 0, 0, button.bitmap);  // width 0: nothing
  EXPECT_EQ(Pixel(200, 200), 0);

  // The frame leaves what lies under its transparent inside.
  std::fill(GetVisibleFrame(), GetVisibleFrame() + kFrameBytes / 2, WORD{0x0F0F});
  SkinPixels selected(skin::kCellFrameSelected);
  BlitTransparent(m_back.get(), 100, 100, selected.bitmap, kSkinTransparent);
  EXPECT_EQ(Pixel(185, 165), 0x0F0F);
  EXPECT_EQ(Pixel(101, 165), selected.At(1, 65));
  EXPECT_EQ(frame.At(85, 65), ToRgb565(kSkinTransparent));  // and so is the plain frame's

  // A stretch from a source offset keeps the picture's corners at the box's corners.
  BlitStretched(m_back.get(), 300, 300, 160, 119, 0, 0, placeholder.bitmap);
  EXPECT_EQ(Pixel(300, 300), placeholder.At(1, 1));
  EXPECT_EQ(Pixel(459, 418), placeholder.At(398, 345));
  EXPECT_EQ(Pixel(460, 418), 0x0F0F);
}

int Width(CWnd* window, const WString& text) {
  HDC dc = GetDC(window->m_hWnd);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  ReleaseDC(window->m_hWnd, dc);
  return size.cx;
}

// Text stays in its box; fitted text is cut before the character that reaches the width and
// keeps its brackets.
TEST_F(SkinTest, SkinTextStaysInItsBoxAndFitTextCutsAtTheWidth) {
  DrawSkinText(m_back.get(), 50, 60, 100, 22, u"A long folder title that does not fit", 0, RGB(255, 255, 255), 0, 20);
  int inside = 0, outside = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x) {
      if (Pixel(x, y) == 0) continue;
      (x >= 50 && x < 150 && y >= 60 && y < 82 ? inside : outside)++;
    }
  EXPECT_GT(inside, 50);
  EXPECT_EQ(outside, 0);
  // An opaque background covers the text's cell.
  DrawSkinText(m_back.get(), 400, 60, 200, 30, u"1/2", 0, RGB(255, 255, 255), RGB(0, 0, 255), 28);
  EXPECT_EQ(Pixel(401, 61), 0x001F);

  WString text = u"Holiday photos";
  const int exact = Width(m_back.get(), text);
  EXPECT_EQ(FitText(m_back.get(), exact, text), -1);
  EXPECT_EQ(text, u"Holiday photos");

  EXPECT_EQ(FitText(m_back.get(), exact - 1, text), 0);
  ASSERT_GE(text.size(), 3u);
  EXPECT_EQ(text.substr(text.size() - 3), u"...");
  const WString kept = text.substr(0, text.size() - 3);
  EXPECT_EQ(WString(u"Holiday photos").substr(0, kept.size()), kept);
  // The kept characters stay below the width; the next one would reach it.
  int sum = 0;
  for (char16_t c : kept) sum += Width(m_back.get(), WString(1, c));
  EXPECT_LT(sum, exact - 1);
  EXPECT_GE(sum + Width(m_back.get(), WString(1, u"Holiday photos"[kept.size()])), exact - 1);

  // A bracketed name keeps its brackets.
  WString name = u"<A folder with a very long name indeed>";
  EXPECT_EQ(FitBracketedText(m_back.get(), name, 90), 0);
  EXPECT_EQ(name.front(), u'<');
  EXPECT_EQ(name.substr(name.size() - 4), u"...>");
  EXPECT_LT(name.size(), 30u);

  WString shortName = u"<..>", plain = u"IMG_0001.JPG";
  EXPECT_EQ(FitBracketedText(m_back.get(), shortName, 90), -1);
  EXPECT_EQ(shortName, u"<..>");
  EXPECT_EQ(FitBracketedText(m_back.get(), plain, 1000), -1);
}

// An image that records where it was asked to draw itself.
struct FakeImage : StubImage {
  HRESULT Draw(HDC dc, const RECT* dst, const RECT* src) override {
    drawnInto = dc;
    drawn = *dst;
    wholeSource = src == nullptr;
    ++draws;
    return S_OK;
  }
  HDC drawnInto = nullptr;
  RECT drawn{};
  bool wholeSource = false;
  int draws = 0;
};

// A photo's thumbnail is drawn into its cell only; a photo without one gets only the outline,
// a folder nothing at all.
TEST_F(SkinTest, ThumbPainterDrawsThumbnailsIntoTheirCellsAndOutlinesWithout) {
  CThumbPainter& painter = CThumbPainter::Instance();
  const RECT cells[2] = {{10, 10, 30, 25}, {40, 10, 60, 25}};
  painter.SetRects(cells, 2);
  HDC dc = GetDC(m_back->m_hWnd);
  SelectObject(dc, GetStockObject(NULL_BRUSH));
  SelectObject(dc, GetStockObject(WHITE_PEN));
  painter.Begin(dc, cells[0], cells[1], 0);

  PhotoEntry withoutThumb(u"\\SDMMC\\a.jpg", 1, 1);
  painter.DrawCell(0, &withoutThumb);
  EXPECT_TRUE(Pixel(10, 10) == 0xFFFF && Pixel(29, 24) == 0xFFFF);
  EXPECT_EQ(Pixel(20, 17), 0);  // only the outline

  FakeImage image;
  PhotoEntry folder(u"<Trips>", 3, 0), photo(u"\\SDMMC\\b.jpg", 1, 1);
  folder.thumb = photo.thumb = &image;
  painter.DrawCell(1, &folder);  // folders and the parent entry are not drawn here
  EXPECT_EQ(Pixel(40, 10), 0);
  painter.DrawCell(2, &photo);  // not a kept rectangle
  painter.DrawCell(-1, &photo);
  EXPECT_EQ(image.draws, 0);
  painter.DrawCell(1, &photo);
  EXPECT_EQ(image.draws, 1);
  EXPECT_EQ(image.drawnInto, dc);
  EXPECT_EQ(image.drawn, cells[1]);
  EXPECT_TRUE(image.wholeSource);
  folder.thumb = photo.thumb = nullptr;

  ReleaseDC(m_back->m_hWnd, dc);
}

}  // namespace
