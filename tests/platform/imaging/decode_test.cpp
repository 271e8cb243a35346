#include "tests/platform/imaging/bmp_files.h"
#include "tests/platform/imaging/pictures.h"

namespace {

class Decoding : public ImagingTest {};

}  // namespace

TEST_F(Decoding, JpegGivesItsSizeFrameAndColoursGifCountsAndDecodesEveryFrame) {
  Picture blocks = Solid(32, 16, Rgb{200, 40, 40});
  for (int y = 0; y < 16; ++y)
    for (int x = 16; x < 32; ++x) blocks.at(x, y) = Rgb{30, 60, 220};
  Ref<IImageDecoder> decoder;
  ASSERT_EQ(OpenDecoder(MakeJpeg(blocks), decoder.put()), S_OK);
  ImageInfo info;
  ASSERT_EQ(decoder->GetImageInfo(&info), S_OK);
  EXPECT_EQ(info.RawDataFormat, ImageFormatJPEG);
  EXPECT_EQ((std::pair{info.Width, info.Height}), (std::pair{32u, 16u}));
  UINT dimensions = 0, frames = 0;
  GUID dimension;
  EXPECT_EQ(decoder->GetFrameDimensionsCount(&dimensions), S_OK);
  EXPECT_EQ(dimensions, 1u);
  ASSERT_EQ(decoder->GetFrameDimensionsList(&dimension, 1), S_OK);
  EXPECT_EQ(decoder->GetFrameCount(&dimension, &frames), S_OK);
  EXPECT_EQ(frames, 1u);
  EXPECT_EQ(decoder->SelectActiveFrame(&dimension, 1), E_INVALIDARG);

  Picture got = DecodeOk(MakeJpeg(blocks));
  EXPECT_TRUE(Near(got.at(4, 8), blocks.at(4, 8), 6)) << got.at(4, 8);
  EXPECT_TRUE(Near(got.at(28, 8), blocks.at(28, 8), 6)) << got.at(28, 8);
  Picture grey = DecodeOk(MakeJpeg(Solid(8, 8, Rgb{90, 90, 90}), 95, {}, true));
  EXPECT_TRUE(Near(grey.at(3, 3), Rgb{90, 90, 90}, 2)) << grey.at(3, 3);

  const std::vector<Rgb> colours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}};
  const Bytes gif = MakeGif(6, 4, colours);
  ASSERT_EQ(OpenDecoder(gif, decoder.put()), S_OK);
  ASSERT_EQ(decoder->GetFrameDimensionsList(&dimension, 1), S_OK);
  EXPECT_EQ(dimension, FrameDimensionTime);
  ASSERT_EQ(decoder->GetFrameCount(&dimension, &frames), S_OK);
  EXPECT_EQ(frames, 5u);
  EXPECT_EQ(decoder->GetFrameCount(&FrameDimensionPage, &frames), E_INVALIDARG);
  for (UINT i = 0; i < 5; ++i) EXPECT_EQ(DecodeOk(gif, i).at(5, 3), colours[i]) << "frame " << i;

  ASSERT_EQ(OpenDecoder(MakeGif(2, 2, {{1, 2, 3}}), decoder.put()), S_OK);
  ASSERT_EQ(decoder->GetFrameCount(&dimension, &frames), S_OK);
  EXPECT_EQ(frames, 1u);
}

TEST_F(Decoding, PngOfEveryKindAndBmpOfEveryDepthAndRowOrderGiveTheirExactPixels) {
  const Picture colour = Pattern(9, 7);
  for (PngKind kind : {PngKind::Rgb, PngKind::Palette, PngKind::Rgb16, PngKind::Interlaced})
    EXPECT_EQ(DecodeOk(MakePng(colour, kind)).pixels, colour.pixels) << int(kind);
  Picture grey = Pattern(9, 7);
  for (Rgb& c : grey.pixels) c.g = c.b = c.r;
  EXPECT_EQ(DecodeOk(MakePng(grey, PngKind::Grey)).pixels, grey.pixels);

  Picture got = DecodeOk(MakePng(Solid(3, 1, Rgb{200, 100, 50}), PngKind::RgbAlpha, {255, 128, 0}));
  ASSERT_EQ(got.width, 3);
  EXPECT_EQ(got.at(0, 0), (Rgb{200, 100, 50}));
  EXPECT_TRUE(Near(got.at(1, 0), Rgb{100, 50, 25}, 1)) << got.at(1, 0);
  EXPECT_EQ(got.at(2, 0), (Rgb{0, 0, 0}));

  // BMP of every depth, rows bottom-up and top-down.
  Picture two = Solid(11, 3, Rgb{250, 250, 250});  // 11 pixels: bits cross bytes and rows are padded
  for (int x = 0; x < 11; x += 3) two.at(x, 1) = Rgb{0, 0, 80};
  const Picture sixteen = Pattern(5, 3);  // 15 colours
  const Picture many = Pattern(7, 5);
  for (bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    for (auto [picture, bits] : {std::pair<const Picture*, int>{&two, 1}, {&sixteen, 4}, {&many, 8}, {&many, 24}, {&many, 32}})
      EXPECT_EQ(DecodeOk(MakeBmp(*picture, bits, topDown)).pixels, picture->pixels) << bits << " bits";
    Picture fifteen = DecodeOk(MakeBmp(many, 16, topDown));
    ASSERT_EQ(fifteen.pixels.size(), many.pixels.size());
    for (size_t i = 0; i < many.pixels.size(); ++i) {
      EXPECT_EQ(fifteen.pixels[i].r >> 3, many.pixels[i].r >> 3);
      EXPECT_EQ(fifteen.pixels[i].b >> 3, many.pixels[i].b >> 3);
    }
  }
}

TEST_F(Decoding, TallPicturesDecodeInBandsThoseAboveThePixelLimitAreRefusedBeforeDecoding) {
  Ref<IImageDecoder> decoder;
  ASSERT_EQ(OpenDecoder(MakeBmp(Solid(2, 600, Rgb{1, 2, 3}), 24, false), decoder.put()), S_OK);
  Ref<IBitmapImage> bitmap;
  ASSERT_EQ(factory_->CreateNewBitmap(2, 600, PixelFormat16bppRGB565, bitmap.put()), S_OK);
  Ref<IImageSink> sink;
  ASSERT_EQ(bitmap->QueryInterface(IID_IImageSink, sink.put_void()), S_OK);
  ASSERT_EQ(decoder->BeginDecode(sink.get(), nullptr), S_OK);
  EXPECT_EQ(decoder->BeginDecode(sink.get(), nullptr), E_UNEXPECTED);  // one decode at a time
  int calls = 1;
  HRESULT hr;
  while ((hr = decoder->Decode()) == E_PENDING) ++calls;
  EXPECT_EQ(hr, S_OK);
  EXPECT_GT(calls, 1);
  EXPECT_EQ(decoder->EndDecode(hr), S_OK);

  // Ending before the last row tells the sink, and the caller, that the picture is unfinished.
  ASSERT_EQ(decoder->BeginDecode(sink.get(), nullptr), S_OK);
  EXPECT_EQ(decoder->Decode(), E_PENDING);
  EXPECT_EQ(decoder->EndDecode(S_OK), E_ABORT);

  // A JPEG whose frame header claims 20000 x 20000: the size reads, a full-size bitmap or
  // decode is refused.
  auto huge = [](Bytes jpeg) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
      if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
        jpeg[i + 5] = 0x4E, jpeg[i + 6] = 0x20;  // height
        jpeg[i + 7] = 0x4E, jpeg[i + 8] = 0x20;  // width
        break;
      }
    }
    return jpeg;
  };
  ASSERT_EQ(OpenDecoder(huge(MakeJpeg(Pattern(16, 16))), decoder.put()), S_OK);
  ImageInfo info;
  ASSERT_EQ(decoder->GetImageInfo(&info), S_OK);
  EXPECT_EQ(info.Width, 20000u);
  EXPECT_EQ(factory_->CreateNewBitmap(info.Width, info.Height, info.PixelFormat, bitmap.put()), IMGERR_TOOLARGE);
  ASSERT_EQ(factory_->CreateNewBitmap(1, 1, PixelFormat24bppRGB, bitmap.put()), S_OK);
  ASSERT_EQ(bitmap->QueryInterface(IID_IImageSink, sink.put_void()), S_OK);
  EXPECT_EQ(decoder->BeginDecode(sink.get(), nullptr), IMGERR_TOOLARGE);

  // A thumbnail decodes at an eighth, but a progressive file would need all its
  // coefficients at once: refused, not allocated.
  Ref<IImage> image, thumbnail;
  ASSERT_EQ(OpenImage(huge(MakeJpeg(Pattern(16, 16), 90, {}, false, true)), image.put()), S_OK);
  EXPECT_EQ(image->GetThumbnail(50, 50, thumbnail.put()), IMGERR_CORRUPT);

  Bytes gif = MakeGif(4, 4, {{1, 2, 3}});
  gif[6] = 0x20, gif[7] = 0x4E, gif[8] = 0x20, gif[9] = 0x4E;  // screen of 20000 x 20000
  EXPECT_EQ(DecodeResult(gif), IMGERR_TOOLARGE);
}

TEST_F(Decoding, BadInputFailsWithAResultAndDamagedFilesNeverCrash) {
  const Bytes jpeg = MakeJpeg(Pattern(64, 48));
  const Bytes png = MakePng(Pattern(64, 48), PngKind::Rgb);
  const Bytes gif = MakeGif(64, 48, {{1, 1, 1}});
  const Bytes bmp = MakeBmp(Pattern(64, 48), 24, false);
  auto cut = [](const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<long>(n)); };

  Bytes png2 = png;
  png2[20] ^= 0x40;  // inside IHDR: its checksum no longer matches
  const std::string text = "not a picture at all";
  // Headers cut short or damaged fail to open; pixel data cut short fails to decode (BMP and
  // GIF check it at once).
  const std::pair<HRESULT, HRESULT> results[] = {
      {OpenResult({}), IMGERR_UNKNOWNFORMAT}, {OpenResult(Bytes(text.begin(), text.end())), IMGERR_UNKNOWNFORMAT},
      {OpenResult(cut(jpeg, 20)), IMGERR_CORRUPT}, {OpenResult(cut(png, 20)), IMGERR_CORRUPT},
      {OpenResult(cut(gif, 8)), IMGERR_CORRUPT}, {OpenResult(cut(bmp, 30)), IMGERR_CORRUPT},
      {DecodeResult(cut(jpeg, jpeg.size() / 2)), IMGERR_CORRUPT}, {DecodeResult(cut(png, png.size() / 2)), IMGERR_CORRUPT},
      {OpenResult(cut(gif, gif.size() / 2)), IMGERR_CORRUPT}, {OpenResult(cut(bmp, bmp.size() - 1)), IMGERR_CORRUPT},
      {OpenResult(png2), IMGERR_CORRUPT}};
  for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i].first, results[i].second) << "case " << i;

  // Every cut and a spread of damaged bytes, for each format: any result, but no crash,
  // no stray memory access and no leak.
  std::vector<BYTE> indices(24 * 16);
  for (size_t i = 0; i < indices.size(); ++i) indices[i] = BYTE(i / 5 % 16);
  bmpfile::Shape rle{24, 16, 8, 1, bmpfile::Header::V5, std::vector<std::uint32_t>(16, 0x808080), {}};
  const Bytes rle8 = bmpfile::File(rle, bmpfile::Rle8(indices, 24, 16));
  rle.bits = 4, rle.compression = 2;
  const Bytes rle4 = bmpfile::File(rle, bmpfile::Rle4(indices, 24, 16));
  const std::vector<Bytes> files = {MakeJpeg(Pattern(24, 16)), MakePng(Pattern(24, 16), PngKind::Palette),
                                    MakePng(Pattern(24, 16), PngKind::Interlaced), MakeGif(24, 16, {{1, 2, 3}, {4, 5, 6}}),
                                    MakeBmp(Pattern(24, 16), 8, true), rle8, rle4};
  int failures = 0;
  for (const Bytes& file : files) {
    for (size_t n = 0; n < file.size(); n += 7) failures += FAILED(DecodeResult(Bytes(file.begin(), file.begin() + static_cast<long>(n))));
    for (size_t at = 0; at < file.size(); at += 5) {
      Bytes damaged = file;
      damaged[at] ^= 0xA5;
      DecodeResult(damaged);
    }
  }
  EXPECT_GT(failures, 0);
}

