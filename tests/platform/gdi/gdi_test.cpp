#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/device/framebuffer.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/lasterror.h"
#include "tests/platform/gdi/canvas.h"

namespace {

// Every pixel names its own position, so copies can be checked exactly.
void Numbered(Canvas& c) {
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) c.At(x, y) = static_cast<WORD>(y * 100 + x + 1);
}

TEST(Gdi, DibSectionRowsSelectedBitmapsStayAndTheSizeLimitIsThePixelCount) {
  void* bits = nullptr;
  HBITMAP bottomUp = Dib(3, 2, &bits);  // 6 bytes, rows padded to 8
  ASSERT_NE(bottomUp, nullptr);
  BITMAP bm;
  ASSERT_EQ(GetObjectW(bottomUp, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ((std::vector<LONG>{bm.bmWidth, bm.bmHeight, bm.bmWidthBytes}), (std::vector<LONG>{3, 2, 8}));
  // Row 0 of the picture is the last row in memory.
  static_cast<WORD*>(bits)[4] = 0x1111;
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bottomUp);
  EXPECT_EQ(ToRgb565(GetPixel(dc, 0, 0)), 0x1111);
  // Selected, a bitmap can be neither selected elsewhere nor deleted.
  EXPECT_EQ(SelectObject(Canvas(1, 1).dc, bottomUp), nullptr);
  EXPECT_FALSE(DeleteObject(bottomUp));
  SelectObject(dc, old);
  DeleteDC(dc);
  EXPECT_TRUE(DeleteObject(bottomUp));
  EXPECT_TRUE(DeleteObject(GetStockObject(NULL_BRUSH)));  // stock objects stay
  EXPECT_NE(GetStockObject(NULL_BRUSH), nullptr);

  EXPECT_EQ(Dib(3, 2, &bits, 0x7C00), nullptr);  // 555 is not the screen's format

  // A long panorama is one bitmap like any other (made, so it can be deleted); only the pixel
  // count sets the limit.
  const auto make = [&](int width, int height) { return Dib(width, -height, &bits, 0, BI_RGB); };
  EXPECT_TRUE(DeleteObject(make(20000, 100)));
  EXPECT_TRUE(DeleteObject(CreateCompatibleBitmap(nullptr, 100, 20000)));
  // Each refusal says why.
  const auto refused = [](HBITMAP bitmap) { return bitmap == nullptr && GetLastError() == ERROR_NOT_ENOUGH_MEMORY; };
  SetLastError(0);
  EXPECT_TRUE(refused(make(30000, 30000)));
  SetLastError(0);
  EXPECT_TRUE(refused(CreateCompatibleBitmap(nullptr, 70000, 1)));
}

TEST(Gdi, BitBltCopiesAndClipsAtEveryEdgeStretchBltTakesTheNearestPixelBothWays) {
  Canvas src(10, 10);
  Numbered(src);
  Canvas dst(8, 6, 0xFFFF);
  // Partly off the top-left of the destination and partly off the source's right edge.
  ASSERT_TRUE(BitBlt(dst.dc, -2, -1, 6, 4, src.dc, 7, 3, SRCCOPY));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) {
      const int sx = x + 2 + 7, sy = y + 1 + 3;
      const bool drawn = x < 4 && y < 3 && sx < 10;
      EXPECT_EQ(dst.At(x, y), drawn ? sy * 100 + sx + 1 : 0xFFFF) << x << "," << y;
    }
  // Within one surface, overlapping.
  Canvas c(6, 1);
  Numbered(c);
  ASSERT_TRUE(BitBlt(c.dc, 1, 0, 5, 1, c.dc, 0, 0, SRCCOPY));
  for (int x = 1; x < 6; ++x) EXPECT_EQ(c.At(x, 0), x);  // shifted right by one

  // Stretched: each destination pixel is the nearest source pixel, both ways.
  Canvas big(8, 4);
  ASSERT_TRUE(StretchBlt(big.dc, 0, 0, 8, 4, src.dc, 0, 0, 4, 2, SRCCOPY));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(big.At(x, y), (y / 2) * 100 + x / 2 + 1);

  Canvas small(2, 1);
  ASSERT_TRUE(StretchBlt(small.dc, 0, 0, 2, 1, big.dc, 0, 0, 8, 4, SRCCOPY));
  // Each destination pixel takes the source pixel under its centre: (2, 2) and (6, 2).
  EXPECT_EQ((std::vector<WORD>{small.At(0, 0), small.At(1, 0)}), (std::vector<WORD>{big.At(2, 2), big.At(6, 2)}));

  // A stretch that runs off the destination is clipped, not squeezed.
  Canvas clip(3, 3, 0xFFFF);
  ASSERT_TRUE(StretchBlt(clip.dc, 1, 1, 4, 4, src.dc, 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ((std::vector<WORD>{clip.At(0, 0), clip.At(1, 1), clip.At(2, 2)}), (std::vector<WORD>{0xFFFF, 1, 1}));
}

TEST(Gdi, ColoursRoundTripAndTransparentImageLeavesOutTheKeyColour) {
  const WORD key = ToRgb565(RGB(255, 102, 255));
  EXPECT_EQ(key, 0xFB3F);
  EXPECT_EQ(ToRgb565(RGB(255, 255, 255)), 0xFFFF);
  EXPECT_EQ(FromRgb565(0xFFFF), RGB(255, 255, 255));
  for (int p : {0x0000, 0x1234, 0xF800, 0x07E0, 0x001F, 0xFB3F}) EXPECT_EQ(ToRgb565(FromRgb565(p)), p);

  Canvas src(3, 3, key);
  src.At(1, 1) = 0x1234;
  src.At(0, 2) = 0x4321;
  Canvas dst(5, 5, 0x0F0F);
  ASSERT_TRUE(TransparentImage(dst.dc, 1, 1, 3, 3, src.dc, 0, 0, 3, 3, RGB(255, 102, 255)));
  EXPECT_EQ(dst.At(2, 2), 0x1234);
  EXPECT_EQ(dst.At(1, 3), 0x4321);
  EXPECT_EQ(dst.Count(0x0F0F), 23);
  // The source may be the bitmap itself, and the picture may be stretched.
  Canvas dst2(6, 6, 0x0F0F);
  ASSERT_TRUE(TransparentImage(dst2.dc, 0, 0, 6, 6, src.bitmap, 0, 0, 3, 3, RGB(255, 102, 255)));
  EXPECT_EQ((std::pair{dst2.Count(0x1234), dst2.Count(0x4321)}), (std::pair{4, 4}));
}

TEST(Gdi, RectanglesLinesAndBrushes) {
  Canvas c(6, 5, 0);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HGDIOBJ oldPen = SelectObject(c.dc, pen);
  HGDIOBJ oldBrush = SelectObject(c.dc, GetStockObject(NULL_BRUSH));
  ASSERT_TRUE(Rectangle(c.dc, 1, 1, 5, 4));
  const WORD red = 0xF800;
  EXPECT_EQ(c.Count(red), 10);  // the outline of a 4 x 3 rectangle
  EXPECT_EQ(c.At(2, 2), 0);     // hollow inside
  EXPECT_EQ(c.At(4, 3), red);   // right and bottom edges at right - 1, bottom - 1
  EXPECT_EQ(c.At(5, 4), 0);
  SelectObject(c.dc, GetStockObject(WHITE_BRUSH));
  Rectangle(c.dc, 1, 1, 5, 4);
  EXPECT_EQ(c.Count(0xFFFF), 2);  // the inside, within the outline
  SelectObject(c.dc, oldBrush);
  SelectObject(c.dc, oldPen);

  // Lines leave out their end point.
  Canvas lines(10, 10, 0);
  oldPen = SelectObject(lines.dc, pen);
  MoveToEx(lines.dc, 1, 1, nullptr);
  LineTo(lines.dc, 6, 1);
  LineTo(lines.dc, 6, 6);
  EXPECT_EQ(lines.Count(red), 10);
  EXPECT_EQ(lines.At(6, 1), red);  // drawn as the start of the second line
  EXPECT_EQ(lines.At(6, 6), 0);
  SelectObject(lines.dc, oldPen);
  EXPECT_TRUE(DeleteObject(pen));

  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  RECT r{-3, 3, 2, 9};
  EXPECT_EQ(FillRect(c.dc, &r, blue), 1);
  EXPECT_EQ(c.Count(0x001F), 4);  // two rows of two, the rest is off the bitmap
  DeleteObject(blue);
}

// A canvas with Arial of a cell height selected, writing text of a colour without a background.
struct TextCanvas : Canvas {
  HFONT font;
  HGDIOBJ oldFont;
  TextCanvas(int w, int h, WORD fill, int fontHeight, COLORREF colour = RGB(255, 255, 255)) : Canvas(w, h, fill) {
    LOGFONTW lf;
    lf.lfHeight = fontHeight;
    lf.lfWeight = FW_NORMAL;
    const char16_t face[] = u"Arial";
    std::copy(std::begin(face), std::end(face), lf.lfFaceName);
    font = CreateFontIndirectW(&lf);
    oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
  }
  ~TextCanvas() {
    SelectObject(dc, oldFont);
    DeleteObject(font);
  }
  SIZE Extent(const char16_t* text) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(std::char_traits<char16_t>::length(text)), &size);
    return size;
  }
};

TEST(GdiText, ArialMetricsLinesMeasuredAndPlacedTextInsideItsRectangleCentredOnItsBackgroundAndCjk) {
  TextCanvas c(120, 40, 0, 24);
  ASSERT_NE(c.font, nullptr) << "no sans-serif font file is installed";
  RECT box{10, 5, 50, 20};  // shorter and narrower than the text
  DrawTextW(c.dc, u"Wide words here", -1, &box, DT_LEFT);
  const RECT changed = c.Changed(0);
  EXPECT_TRUE(changed.left >= 10 && changed.top >= 5 && changed.right <= 50 && changed.bottom <= 20)
      << changed.left << "," << changed.top << " - " << changed.right << "," << changed.bottom;
  EXPECT_GT(c.Count(0xFFFF), 10);  // some fully covered pixels

  TextCanvas centred(200, 30, 0, 20);
  box = RECT{0, 0, 200, 30};
  DrawTextW(centred.dc, u"OIO", -1, &box, DT_CENTER);
  RECT ink = centred.Changed(0);
  // Symmetric glyphs: the ink is centred to within the side bearings' rounding.
  EXPECT_NEAR((ink.left + ink.right) / 2.0, 100, 2);

  TextCanvas o(200, 30, 0, 20);
  SetBkMode(o.dc, OPAQUE);
  SetBkColor(o.dc, RGB(0, 0, 255));
  DrawTextW(o.dc, u"OIO", -1, &box, DT_LEFT);
  const SIZE size = o.Extent(u"OIO");
  EXPECT_EQ(o.At(0, 0), 0x001F);
  EXPECT_EQ(o.At(size.cx - 1, 19), 0x001F);
  EXPECT_EQ(o.At(size.cx + 1, 0), 0);  // the background covers the text's cell only
  EXPECT_EQ(SelectObject(o.dc, GetStockObject(SYSTEM_FONT)), o.font);  // the stock font takes our font's place

  // Anti-aliased onto what lies below, and CJK characters drawn.
  TextCanvas cjk(60, 30, 0x001F, 20, RGB(255, 0, 0));
  box = RECT{0, 0, 60, 30};
  DrawTextW(cjk.dc, u"\u6a94\u6848", -1, &box, DT_LEFT);  // two CJK characters from the fallback face
  int mixed = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 60; ++x) mixed += (cjk.At(x, y) >> 11) != 0 && (cjk.At(x, y) & 0x1F) != 0;  // red over blue
  EXPECT_GT(cjk.Count(0xF800), 20);
  EXPECT_GT(mixed, 10);
  EXPECT_GT(cjk.Extent(u"\u6a94\u6848").cx, 30);

  // Arial's metrics, lines measured and placed vertically.
  TextCanvas m(200, 100, 0, 20);
  TEXTMETRICW tm;
  ASSERT_TRUE(GetTextMetricsW(m.dc, &tm));
  EXPECT_NEAR(tm.tmHeight, 20, 1);
  // Arial at a 20-pixel cell (about 18 pixels a em) sets "Hello" about 42 pixels wide.
  const LONG hello = m.Extent(u"Hello").cx;
  EXPECT_NEAR(hello, 42, 3);
  EXPECT_EQ(m.Extent(u"H").cx + m.Extent(u"ello").cx, hello);  // no kerning: widths add up

  const SIZE wide = m.Extent(u"second line");
  RECT measure{5, 5, 6, 6};
  const int height = DrawTextW(m.dc, u"one\nsecond line", -1, &measure, DT_CALCRECT);
  EXPECT_EQ(measure.right - measure.left, wide.cx);
  EXPECT_EQ(measure.bottom - measure.top, 2 * wide.cy);
  EXPECT_EQ(height, 2 * wide.cy);
  EXPECT_EQ(m.Count(0), 200 * 100);  // measuring draws nothing

  box = RECT{0, 0, 200, 100};
  DrawTextW(m.dc, u"Mid", -1, &box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  ink = m.Changed(0);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 50, 4);
}

std::atomic<int> g_wakes{0};

// Hosts show a new frame only when something announced a change: drawing through a context on
// the frame buffer does so when the context is released, drawing elsewhere does not, and the
// host is woken once however many changes come before it takes them.
TEST(FrameChanges, ContextsOnTheFrameAnnounceWhatTheyDrewAndTheHostIsWokenOnce) {
  SetFrameChangeWake([] { ++g_wakes; });
  TakeFrameChange();
  const RECT box{10, 10, 20, 20};
  HBRUSH brush = CreateSolidBrush(RGB(200, 0, 0));

  {
    Canvas memory(32, 32);
    FillRect(memory.dc, &box, brush);
  }
  EXPECT_FALSE(TakeFrameChange());  // nothing of the frame was drawn
  EXPECT_EQ(g_wakes, 0);

  HDC screen = CreateScreenDC();
  FillRect(screen, &box, brush);
  EXPECT_FALSE(TakeFrameChange());  // not while the context is still drawing
  DeleteDC(screen);
  AnnounceFrameChange();  // a direct write on top
  EXPECT_EQ(g_wakes, 1);
  EXPECT_TRUE(TakeFrameChange());
  EXPECT_FALSE(TakeFrameChange());
  AnnounceFrameChange();
  EXPECT_EQ(g_wakes, 2);

  SetFrameChangeWake(nullptr);
  DeleteObject(brush);
  TakeFrameChange();
}

}  // namespace
