#include "tests/platform/imaging/pictures.h"

#include "tests/support/temp_root.h"

namespace {

class Bitmaps : public ImagingTest {
 protected:
  // A bitmap holding the picture in the given format.
  void Make(const Picture& p, PixelFormatID format, IBitmapImage** bitmap) {
    ASSERT_EQ(factory_->CreateNewBitmap(p.width, p.height, format, bitmap), S_OK);
    BitmapData data;
    ASSERT_EQ((*bitmap)->LockBits(nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &data), S_OK);
    for (int y = 0; y < p.height; ++y) {
      BYTE* row = static_cast<BYTE*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride;
      for (int x = 0; x < p.width; ++x) row[3 * x] = p.at(x, y).b, row[3 * x + 1] = p.at(x, y).g, row[3 * x + 2] = p.at(x, y).r;
    }
    ASSERT_EQ((*bitmap)->UnlockBits(&data), S_OK);
  }
  // The thumbnail the picture makes of itself, or (stored) the one its file holds.
  HRESULT Thumbnail(const Bytes& file, UINT box, Picture* out, bool stored = false) {
    Ref<IImageDecoder> decoder;
    Ref<IImage> image, thumbnail;
    Ref<IBitmapImage> bitmap;
    HRESULT hr = stored ? OpenDecoder(file, decoder.put()) : OpenImage(file, image.put());
    if (SUCCEEDED(hr))
      hr = stored ? decoder->GetThumbnail(box, box, thumbnail.put()) : image->GetThumbnail(box, box, thumbnail.put());
    if (SUCCEEDED(hr)) hr = thumbnail->QueryInterface(IID_IBitmapImage, bitmap.put_void());
    if (SUCCEEDED(hr)) *out = Pixels(bitmap.get());
    return hr;
  }
};

Rgb Of(COLORREF c) { return Rgb{BYTE(GetRValue(c)), BYTE(GetGValue(c)), BYTE(GetBValue(c))}; }

// The colour a 565 surface shows for a colour.
Rgb OnScreen(Rgb c) { return Of(FromRgb565(ToRgb565(RGB(c.r, c.g, c.b)))); }

}  // namespace

TEST_F(Bitmaps, QuarterTurnsMoveEveryPixel) {
  const Picture p = Pattern(3, 2);
  for (PixelFormatID format : {PixelFormat24bppRGB, PixelFormat32bppARGB}) {
    Ref<IBitmapImage> bitmap;
    Make(p, format, bitmap.put());
    Ref<IBasicBitmapOps> ops;
    ASSERT_EQ(bitmap->QueryInterface(IID_IBasicBitmapOps, ops.put_void()), S_OK);
    struct Turn {
      float angle;
      int width, height;
      // The source pixel shown at (x, y) of the turned picture.
      int (*sx)(int x, int y);
      int (*sy)(int x, int y);
    };
    const Turn turns[] = {
        {90, 2, 3, [](int, int y) { return 2 - y; }, [](int x, int) { return x; }},  // top edge to the left
        {180, 3, 2, [](int x, int) { return 2 - x; }, [](int, int y) { return 1 - y; }},
        {270, 2, 3, [](int, int y) { return y; }, [](int x, int) { return 1 - x; }},  // top edge to the right
        {-90, 2, 3, [](int, int y) { return y; }, [](int x, int) { return 1 - x; }},
        {0, 3, 2, [](int x, int) { return x; }, [](int, int y) { return y; }},
    };
    for (const Turn& turn : turns) {
      SCOPED_TRACE(turn.angle);
      Ref<IBitmapImage> turned;
      ASSERT_EQ(ops->Rotate(turn.angle, InterpolationHintNearestNeighbor, turned.put()), S_OK);
      EXPECT_NE(turned.get(), bitmap.get());
      Picture got = Pixels(turned.get());
      ASSERT_EQ((std::pair{got.width, got.height}), (std::pair{turn.width, turn.height}));
      for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) EXPECT_EQ(got.at(x, y), p.at(turn.sx(x, y), turn.sy(x, y))) << x << "," << y;
    }
    Ref<IBitmapImage> none;
    EXPECT_EQ(ops->Rotate(45, InterpolationHintNearestNeighbor, none.put()), E_INVALIDARG);
    EXPECT_EQ(Pixels(bitmap.get()).pixels, p.pixels);  // the source is left as it was
  }
}

TEST_F(Bitmaps, DrawStretchesTheWholePictureIntoTheRectangle) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP surface = CreateCompatibleBitmap(dc, 6, 6);  // the screen's 565 pixels
  HGDIOBJ previous = SelectObject(dc, surface);
  RECT all{0, 0, 6, 6};

  const Picture p = Pattern(2, 2);
  for (PixelFormatID format : {PixelFormat16bppRGB565, PixelFormat24bppRGB}) {
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    Ref<IBitmapImage> bitmap;
    Make(p, format, bitmap.put());
    Ref<IImage> image;
    ASSERT_EQ(bitmap->QueryInterface(IID_IImage, image.put_void()), S_OK);
    RECT target{1, 1, 5, 5};
    ASSERT_EQ(image->Draw(dc, &target, nullptr), S_OK);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) {
        const bool inside = x >= 1 && x < 5 && y >= 1 && y < 5;
        EXPECT_EQ(Of(GetPixel(dc, x, y)), inside ? OnScreen(p.at((x - 1) / 2, (y - 1) / 2)) : Rgb{}) << x << "," << y;
      }
  }

  // A picture made from a file decodes on its first draw.
  Ref<IImage> picture;
  ASSERT_EQ(OpenImage(MakePng(Solid(3, 3, Rgb{0, 255, 0}), PngKind::Rgb), picture.put()), S_OK);
  ASSERT_EQ(picture->Draw(dc, &all, nullptr), S_OK);
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(0, 255, 0));

  SelectObject(dc, previous);
  DeleteDC(dc);
  DeleteObject(surface);
}

TEST_F(Bitmaps, ThumbnailsKeepTheirProportionsNeverNeedTheFullSizePictureAndAreStoredInExifOrNone) {
  auto halves = [](int width, int height, Rgb right) {
    Picture p = Solid(width, height, Rgb{255, 0, 0});
    for (int y = 0; y < height; ++y)
      for (int x = width / 2; x < width; ++x) p.at(x, y) = right;
    return p;
  };
  Picture small;
  ASSERT_EQ(Thumbnail(MakePng(halves(400, 200, Rgb{0, 0, 255}), PngKind::Rgb), 50, &small), S_OK);
  EXPECT_EQ((std::pair{small.width, small.height}), (std::pair{50, 25}));
  EXPECT_EQ(small.at(5, 10), (Rgb{255, 0, 0}));  // averaged within each half
  EXPECT_EQ(small.at(45, 10), (Rgb{0, 0, 255}));

  ASSERT_EQ(Thumbnail(MakeJpeg(Solid(120, 360, Rgb{40, 80, 160})), 50, &small), S_OK);
  EXPECT_EQ((std::pair{small.width, small.height}), (std::pair{17, 50}));
  EXPECT_TRUE(Near(small.at(8, 25), OnScreen(Rgb{40, 80, 160}), 8)) << small.at(8, 25);
  ASSERT_EQ(Thumbnail(MakeBmp(Solid(30, 10, Rgb{9, 9, 9}), 24, true), 50, &small), S_OK);  // enlarged
  EXPECT_EQ((std::pair{small.width, small.height}), (std::pair{50, 17}));
  ASSERT_EQ(Thumbnail(MakeGif(7, 70, {{1, 2, 3}}), 50, &small), S_OK);
  EXPECT_EQ((std::pair{small.width, small.height}), (std::pair{5, 50}));

  // 6000 x 6000 is above the pixel limit: only a scaled decode can make its thumbnail.
  const Bytes big = MakeJpeg(halves(6000, 6000, Rgb{}));
  Ref<IBitmapImage> full;
  EXPECT_EQ(Decode(big, full.put()), IMGERR_TOOLARGE);
  ASSERT_EQ(Thumbnail(big, 50, &small), S_OK);
  EXPECT_EQ((std::pair{small.width, small.height}), (std::pair{50, 50}));
  EXPECT_TRUE(Near(small.at(10, 25), Rgb{255, 0, 0}, 8)) << small.at(10, 25);
  EXPECT_TRUE(Near(small.at(40, 25), Rgb{0, 0, 0}, 8)) << small.at(40, 25);

  // The stored thumbnail is the EXIF one, or none.
  const Bytes inner = MakeJpeg(Solid(160, 120, Rgb{0, 200, 0}));
  const Bytes withExif = MakeJpeg(Solid(64, 64, Rgb{200, 0, 0}), 90, ExifBlock(0, inner));
  Picture got;
  ASSERT_EQ(Thumbnail(withExif, 50, &got, true), S_OK);
  EXPECT_EQ((std::pair{got.width, got.height}), (std::pair{50, 38}));
  EXPECT_TRUE(Near(got.at(25, 19), OnScreen(Rgb{0, 200, 0}), 8)) << got.at(25, 19);
  // The main picture still decodes, and is the red one.
  Ref<IBitmapImage> main;
  ASSERT_EQ(Decode(withExif, main.put()), S_OK);
  EXPECT_TRUE(Near(Pixels(main.get()).at(3, 3), Rgb{200, 0, 0}, 8));

  EXPECT_EQ(Thumbnail(MakeJpeg(Solid(64, 64, Rgb{200, 0, 0})), 50, &got, true), IMGERR_NOTHUMBNAIL);
  EXPECT_EQ(Thumbnail(MakePng(Solid(4, 4, Rgb{}), PngKind::Rgb), 50, &got, true), IMGERR_NOTHUMBNAIL);
}

TEST_F(Bitmaps, BmpEncoderRoundTripsThroughAFile) {
  TempDeviceRoot root;
  const Picture p = Pattern(7, 5);  // 7 pixels: rows need padding in every depth

  for (PixelFormatID format : {PixelFormat16bppRGB565, PixelFormat24bppRGB, PixelFormat32bppRGB}) {
    SCOPED_TRACE(GetPixelFormatSize(format));
    Ref<IBitmapImage> bitmap;
    Make(p, format, bitmap.put());
    Ref<IImage> image;
    ASSERT_EQ(bitmap->QueryInterface(IID_IImage, image.put_void()), S_OK);
    {
      Ref<IImageEncoder> encoder;
      ASSERT_EQ(factory_->CreateImageEncoderToFile(&CLSID_BmpEncoder, u"\\NAND\\thumb", encoder.put()), S_OK);
      Ref<IImageSink> sink;
      ASSERT_EQ(encoder->GetEncodeSink(sink.put()), S_OK);
      ASSERT_EQ(image->PushIntoSink(sink.get()), S_OK);
    }
    const std::string file = root.ReadFile("NAND/thumb");
    ASSERT_GT(file.size(), 54u);
    EXPECT_EQ(file.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<BYTE>(file[28]), GetPixelFormatSize(format));

    Ref<IImage> back;
    ASSERT_EQ(factory_->CreateImageFromFile(u"\\nand\\THUMB", back.put()), S_OK);
    Ref<IBitmapImage> decoded;
    ASSERT_EQ(factory_->CreateBitmapFromImage(back.get(), 0, 0, format, InterpolationHintDefault, decoded.put()), S_OK);
    EXPECT_EQ(Pixels(decoded.get()).pixels, Pixels(bitmap.get()).pixels);
  }

  Ref<IImage> missing;
  EXPECT_EQ(factory_->CreateImageFromFile(u"\\NAND\\nothing.bmp", missing.put()), HRESULT_FROM_WIN32(2));
  Ref<IImageEncoder> encoder;
  EXPECT_EQ(factory_->CreateImageEncoderToFile(&CLSID_JpegDecoder, u"\\NAND\\x", encoder.put()), REGDB_E_CLASSNOTREG);
}
