#include <gtest/gtest.h>

#include "platform/windows/afx.h"
#include "skin/thumb_painter.h"

namespace {

// An image that records where it was asked to draw itself.
struct FakeImage : IImage {
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetPhysicalDimension(SIZE*) override { return E_NOTIMPL; }
  HRESULT GetImageInfo(ImageInfo*) override { return E_NOTIMPL; }
  HRESULT SetImageFlags(UINT) override { return E_NOTIMPL; }
  HRESULT Draw(HDC dc, const RECT* dst, const RECT* src) override {
    drawnInto = dc;
    drawn = *dst;
    wholeSource = src == nullptr;
    ++draws;
    return S_OK;
  }
  HRESULT PushIntoSink(IImageSink*) override { return E_NOTIMPL; }
  HRESULT GetThumbnail(UINT, UINT, IImage**) override { return E_NOTIMPL; }
  HDC drawnInto = nullptr;
  RECT drawn;
  bool wholeSource = false;
  int draws = 0;
};

TEST(ThumbPainter, DrawsThePhotosThumbnailIntoItsCellOnly) {
  CThumbPainter& painter = CThumbPainter::Instance();
  const RECT cells[2] = {{10, 10, 30, 25}, {40, 10, 60, 25}};
  painter.SetRects(cells, 2);
  HDC dc = CreateCompatibleDC(nullptr);
  painter.Begin(dc, cells[0], cells[1], 0);

  FakeImage image;
  PhotoEntry photo(u"\\SDMMC\\b.jpg", 1, 1);
  photo.thumb = &image;
  painter.DrawCell(1, &photo);
  EXPECT_EQ(image.draws, 1);
  EXPECT_EQ(image.drawnInto, dc);
  EXPECT_EQ(image.drawn, cells[1]);
  EXPECT_TRUE(image.wholeSource);

  PhotoEntry folder(u"<Trips>", 3, 0);
  folder.thumb = &image;
  painter.DrawCell(1, &folder);  // folders and the parent entry are not drawn here
  painter.DrawCell(2, &photo);   // not a kept rectangle
  painter.DrawCell(-1, &photo);
  EXPECT_EQ(image.draws, 1);
  photo.thumb = nullptr;
  folder.thumb = nullptr;
  DeleteDC(dc);
}

}  // namespace
