// The imaging service's objects: COM creation, bitmaps and their views, streams, turns,
// drawing, thumbnails and the BMP encoder.
#include <cstring>

#include "platform/kernel/lasterror.h"
#include "tests/platform/gdi/canvas.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/temp_root.h"

namespace {

HRESULT CreateFactory(IImagingFactory** factory, LPUNKNOWN outer = nullptr, REFIID iid = IID_IImagingFactory) {
  return CoCreateInstance(CLSID_ImagingFactory, outer, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(factory));
}

class ComObjects : public ImagingTest {};

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
  Canvas screen(6, 6);  // the screen's 565 pixels
  const HDC dc = screen.dc;
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

TEST(Com, CreationNeedsInitialisationAndFailsTheWayTheCallerAsked) {
  Ref<IImagingFactory> factory;
  EXPECT_EQ(CreateFactory(factory.put()), CO_E_NOTINITIALIZED);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);  // nested: needs its own end
  CoUninitialize();

  EXPECT_EQ(CreateFactory(factory.put(), reinterpret_cast<LPUNKNOWN>(&factory)), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(CreateFactory(factory.put(), nullptr, IID_IImage), E_NOINTERFACE);
  EXPECT_EQ(factory.get(), nullptr);
  Ref<IUnknown> other;
  EXPECT_EQ(CoCreateInstance(IID_IImage, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, other.put_void()),
            REGDB_E_CLASSNOTREG);

  for (HRESULT forced : {REGDB_E_CLASSNOTREG, CLASS_E_NOAGGREGATION}) {
    SetCoCreateInstanceFailureForTests(forced);
    EXPECT_EQ(CreateFactory(factory.put()), forced);
    EXPECT_EQ(factory.get(), nullptr);
  }
  SetCoCreateInstanceFailureForTests(S_OK);
  EXPECT_EQ(CreateFactory(factory.put()), S_OK);
  ASSERT_TRUE(factory);
  factory.reset();
  CoUninitialize();
}

TEST_F(ComObjects, ViewsOfOneBitmapShareOneCountCodecsComeInOneBlockAndStreamsOwnABlockWhenAsked) {
  Ref<IBitmapImage> bitmap;
  ASSERT_EQ(factory_->CreateNewBitmap(3, 2, PixelFormat16bppRGB565, bitmap.put()), S_OK);
  Ref<IImage> image;
  Ref<IImageSink> sink;
  Ref<IBasicBitmapOps> ops;
  Ref<IUnknown> identity;
  ASSERT_EQ(bitmap->QueryInterface(IID_IImage, image.put_void()), S_OK);
  ASSERT_EQ(image->QueryInterface(IID_IImageSink, sink.put_void()), S_OK);
  ASSERT_EQ(sink->QueryInterface(IID_IBasicBitmapOps, ops.put_void()), S_OK);
  ASSERT_EQ(ops->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(bitmap.get()));
  Ref<IImageDecoder> none;
  EXPECT_EQ(image->QueryInterface(IID_IImageDecoder, none.put_void()), E_NOINTERFACE);
  EXPECT_EQ(none.get(), nullptr);
  // The bitmap, its three other views and identity: five references on one count.
  EXPECT_EQ(bitmap->AddRef(), 6u);
  EXPECT_EQ(bitmap->Release(), 5u);

  for (bool encoders : {true, false}) {
    UINT count = 0;
    ImageCodecInfo* codecs = nullptr;
    ASSERT_EQ(encoders ? factory_->GetInstalledEncoders(&count, &codecs) : factory_->GetInstalledDecoders(&count, &codecs),
              S_OK);
    std::u16string mimes;
    for (UINT i = 0; i < count; ++i) mimes += std::u16string(codecs[i].MimeType) + u" ";
    EXPECT_EQ(mimes, encoders ? u"image/bmp " : u"image/jpeg image/png image/gif image/bmp image/webp image/heif ");
    EXPECT_TRUE(!encoders || (codecs[0].Clsid == CLSID_BmpEncoder && codecs[0].FormatID == ImageFormatBMP));
    CoTaskMemFree(codecs);
  }

  // A stream owns its memory block only when asked.
  HLOCAL block = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 4);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(LocalSize(block), 4u);
  std::memcpy(block, "abcd", 4);
  {
    Ref<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, stream.put()), S_OK);
    char got[8] = {};
    ULONG read = 0;
    EXPECT_EQ(stream->Read(got, 8, &read), S_FALSE);
    EXPECT_EQ(read, 4u);
    EXPECT_STREQ(got, "abcd");
    // A caller's block cannot grow under it.
    EXPECT_EQ(stream->Write("e", 1, nullptr), STG_E_MEDIUMFULL);
  }
  EXPECT_EQ(LocalFree(block), nullptr);  // still the caller's, and freed now
  EXPECT_EQ(LocalFree(block), block);    // a second free is refused
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  block = LocalAlloc(LMEM_MOVEABLE, 2);
  std::memcpy(block, "xy", 2);
  Ref<IStream> owned;
  ASSERT_EQ(CreateStreamOnHGlobal(block, TRUE, owned.put()), S_OK);
  ASSERT_EQ(owned->Seek(LARGE_INTEGER{0}, STREAM_SEEK_END, nullptr), S_OK);
  EXPECT_EQ(owned->Write("z!", 2, nullptr), S_OK);
  STATSTG stat;
  ASSERT_EQ(owned->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 4u);
  ULARGE_INTEGER at;
  EXPECT_EQ(owned->Seek(LARGE_INTEGER{-3}, STREAM_SEEK_CUR, &at), S_OK);
  EXPECT_EQ(at.QuadPart, 1u);
  EXPECT_EQ(owned->Seek(LARGE_INTEGER{-2}, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
  char got[4];
  EXPECT_EQ(owned->Read(got, 3, nullptr), S_OK);
  EXPECT_EQ(std::string(got, 3), "yz!");
  owned.reset();  // frees the (grown) block: the leak checker would see it otherwise
}

