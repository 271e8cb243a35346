// Pictures through the imaging service's decoders: JPEG, PNG, GIF and BMP files, damaged and
// too large ones; the BMP reader with run-length coded pictures, the header generations and
// pixel layouts Windows programs write, and files whose codes or headers lie; and the
// orientation tag read from EXIF blocks of either byte order, and found among a JPEG file's
// segments.
#include <cstdlib>

#include "platform/imaging/exif.h"
#include "tests/platform/imaging/bmp_files.h"
#include "tests/platform/imaging/pictures.h"

namespace {

class Decoding : public ImagingTest {};

// The first n bytes of a file.
Bytes Cut(const Bytes& file, size_t n) { return Bytes(file.begin(), file.begin() + long(n)); }

}  // namespace

TEST_F(Decoding, JpegGivesItsSizeFrameAndColoursGifCountsAndDecodesEveryFrame) {
  Picture blocks = Solid(32, 16, Rgb{200, 40, 40});
  for (int y = 0; y < 16; ++y)
    for (int x = 16; x < 32; ++x) blocks.at(x, y) = Rgb{30, 60, 220};
  const Bytes jpeg = MakeJpeg(blocks);
  Ref<IImageDecoder> decoder;
  ASSERT_EQ(OpenDecoder(jpeg, decoder.put()), S_OK);
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

  Picture got = DecodeOk(jpeg);
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
}

TEST_F(Decoding, PngOfEveryKindAndBmpOfEveryDepthAndRowOrderGiveTheirExactPixels) {
  const Picture colour = Pattern(9, 7);
  for (PngKind kind : {PngKind::Rgb, PngKind::Palette, PngKind::Rgb16, PngKind::Interlaced})
    EXPECT_EQ(DecodeOk(MakePng(colour, kind)).pixels, colour.pixels) << int(kind);
  Picture grey = Pattern(9, 7);
  for (Rgb& c : grey.pixels) c.g = c.b = c.r;
  EXPECT_EQ(DecodeOk(MakePng(grey, PngKind::Grey)).pixels, grey.pixels);

  // Over black: opaque, half and fully transparent.
  EXPECT_EQ(DecodeOk(MakePng(Solid(3, 1, Rgb{200, 100, 50}), PngKind::RgbAlpha, {255, 128, 0})).pixels,
            (std::vector<Rgb>{{200, 100, 50}, {100, 50, 25}, {0, 0, 0}}));

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
}

TEST_F(Decoding, BadInputFailsWithAResultAndDamagedFilesNeverCrash) {
  const Bytes jpeg = MakeJpeg(Pattern(64, 48));
  const Bytes png = MakePng(Pattern(64, 48), PngKind::Rgb);
  const Bytes gif = MakeGif(64, 48, {{1, 1, 1}});
  const Bytes bmp = MakeBmp(Pattern(64, 48), 24, false);

  Bytes png2 = png;
  png2[20] ^= 0x40;  // inside IHDR: its checksum no longer matches
  const std::string text = "not a picture at all";
  // Headers cut short or damaged fail to open; pixel data cut short fails to decode (BMP and
  // GIF check it at once).
  const std::pair<HRESULT, HRESULT> results[] = {
      {OpenResult({}), IMGERR_UNKNOWNFORMAT}, {OpenResult(Bytes(text.begin(), text.end())), IMGERR_UNKNOWNFORMAT},
      {OpenResult(Cut(jpeg, 20)), IMGERR_CORRUPT}, {OpenResult(Cut(png, 20)), IMGERR_CORRUPT},
      {OpenResult(Cut(gif, 8)), IMGERR_CORRUPT}, {OpenResult(Cut(bmp, 30)), IMGERR_CORRUPT},
      {DecodeResult(Cut(jpeg, jpeg.size() / 2)), IMGERR_CORRUPT}, {DecodeResult(Cut(png, png.size() / 2)), IMGERR_CORRUPT},
      {OpenResult(Cut(gif, gif.size() / 2)), IMGERR_CORRUPT}, {OpenResult(Cut(bmp, bmp.size() - 1)), IMGERR_CORRUPT},
      {OpenResult(png2), IMGERR_CORRUPT}};
  for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i].first, results[i].second) << "case " << i;

  // Every cut and a spread of damaged bytes, for each format: any result, but no crash,
  // no stray memory access and no leak. (Run-length coded BMP pictures: cut anywhere below,
  // their codes damaged by the BMP fuzz target.)
  const std::vector<Bytes> files = {MakeJpeg(Pattern(24, 16)), MakePng(Pattern(24, 16), PngKind::Palette),
                                    MakePng(Pattern(24, 16), PngKind::Interlaced), MakeGif(24, 16, {{1, 2, 3}, {4, 5, 6}}),
                                    MakeBmp(Pattern(24, 16), 8, true)};
  int failures = 0;
  for (const Bytes& file : files) {
    for (size_t n = 0; n < file.size(); n += 7) failures += FAILED(DecodeResult(Cut(file, n)));
    for (size_t at = 0; at < file.size(); at += 5) {
      Bytes damaged = file;
      damaged[at] ^= 0xA5;
      DecodeResult(damaged);
    }
  }
  EXPECT_GT(failures, 0);
}

namespace {

using bmpfile::Header;
using bmpfile::Mixed;
using bmpfile::Palette;
using bmpfile::Shape;
using Indices = std::vector<BYTE>;

class BmpReading : public ImagingTest {};

Rgb ColourOf(std::uint32_t c) { return Rgb{BYTE(c >> 16), BYTE(c >> 8), BYTE(c)}; }

// The picture that a palette and indices (rows top to bottom) stand for.
Picture Expected(const std::vector<std::uint32_t>& palette, const Indices& indices, int width) {
  Picture p{width, int(indices.size()) / width, {}};
  for (BYTE i : indices) p.pixels.push_back(ColourOf(palette[i]));
  return p;
}

Shape PaletteShape(int width, int height, int bits, std::uint32_t compression, std::vector<std::uint32_t> palette) {
  return Shape{width, height, bits, compression, Header::Info, std::move(palette), {}};
}

constexpr std::uint32_t kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

// The file of indices (top to bottom) coded as the shape's depth, 8 or 4 bits, asks.
Bytes Coded(const Shape& shape, const Indices& indices) {
  const int height = std::abs(shape.height);
  return bmpfile::File(shape, shape.bits == 8 ? bmpfile::Rle8(indices, shape.width, height)
                                              : bmpfile::Rle4(indices, shape.width, height));
}
const std::vector<std::uint32_t> kFour = {0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};  // white, red, green, blue

}  // namespace

TEST_F(BmpReading, RunLengthPicturesHeadersOfEveryGenerationAndTheirPixelLayouts) {
  struct Case {
    int width, height, bits;
  };
  for (const Case& c : {Case{13, 7, 8}, Case{600, 2, 8}, Case{1, 1, 8}, Case{13, 7, 4}, Case{600, 2, 4}, Case{2, 3, 4}}) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", " << c.bits << " bits");
    const Shape shape = PaletteShape(c.width, c.height, c.bits, c.bits == 8 ? kRle8 : kRle4, Palette(c.bits == 8 ? 40 : 16));
    const Indices indices = Mixed(c.width, c.height, int(shape.palette.size()));
    EXPECT_EQ(DecodeOk(Coded(shape, indices)).pixels, Expected(shape.palette, indices, c.width).pixels);
  }
  // Top-down: the first coded row is the top one. The V5 header is what image editors write.
  const Indices indices = Mixed(9, 4, 30);
  Indices flipped;
  for (int y = 3; y >= 0; --y) flipped.insert(flipped.end(), indices.begin() + 9 * y, indices.begin() + 9 * (y + 1));
  Shape shape = PaletteShape(9, -4, 8, kRle8, Palette(30));
  shape.header = Header::V5;
  EXPECT_EQ(DecodeOk(bmpfile::File(shape, bmpfile::Rle8(flipped, 9, 4))).pixels, Expected(shape.palette, indices, 9).pixels);

  // Headers of every generation, and their pixel layouts.
  const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, grey{132, 130, 132};
  const std::vector<std::uint32_t> rgb565 = {0xF800, 0x07E0, 0x001F, 0x8410};
  struct Layout {
    const char* what;
    Shape shape;
    std::vector<std::uint32_t> values;
    std::vector<Rgb> expected;
  };
  const Layout layouts[] = {
      // The core header: 16-bit sizes and 3-byte palette entries.
      {"core palette", {3, 2, 8, 0, Header::Core, {0xFF0000, 0x00FF00, 0x0000FF}, {}}, {0, 1, 2, 2, 1, 0},
       {red, green, blue, blue, green, red}},
      {"core 24 bits", {3, 1, 24, 0, Header::Core, {}, {}}, {0xFF0000, 0x00FF00, 0x0000FF}, {red, green, blue}},
      // 5-6-5 through bit fields: the masks after an info header, or inside a V4 or V5 header.
      {"565 info", {2, -2, 16, kBitFields, Header::Info, {}, {0xF800, 0x07E0, 0x001F, 0}}, rgb565, {red, green, blue, grey}},
      {"565 V4", {2, -2, 16, kBitFields, Header::V4, {}, {0xF800, 0x07E0, 0x001F, 0}}, rgb565, {red, green, blue, grey}},
      {"565 V5", {2, -2, 16, kBitFields, Header::V5, {}, {0xF800, 0x07E0, 0x001F, 0}}, rgb565, {red, green, blue, grey}},
      {"555 without bit fields", {2, 1, 16, 0, Header::Info, {}, {}}, {0x7C00, 0x03E0}, {red, green}},
      // 32 bits: channels in another order, 10-bit channels, masks with alpha after an info
      // header, and a V5 header's alpha mask on plain pixels (alpha is not used).
      {"reordered", {2, 1, 32, kBitFields, Header::V5, {}, {0x000000FF, 0x0000FF00, 0x00FF0000, 0}}, {0x0000FF, 0xFF0000},
       {red, blue}},
      {"10 bits", {2, 1, 32, kBitFields, Header::V4, {}, {0x3FF00000, 0x000FFC00, 0x000003FF, 0}}, {0x3FF00000, 0x20080200},
       {red, Rgb{128, 128, 128}}},
      {"alpha fields", {1, 1, 32, kAlphaBitFields, Header::Info, {}, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
       {0x8000FF00}, {green}},
      {"plain V5", {1, 1, 32, 0, Header::V5, {}, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}}, {0x000000FF}, {blue}},
  };
  for (const Layout& c : layouts)
    EXPECT_EQ(DecodeOk(bmpfile::File(c.shape, bmpfile::Rows(c.shape, c.values))).pixels, c.expected) << c.what;

  // Some writers leave out the last row's padding.
  Shape padded{3, 2, 24, 0, Header::Info, {}, {}};
  const Bytes file = bmpfile::File(padded, bmpfile::Rows(padded, {0xFF0000, 0xFF0000, 0xFF0000, 0x0000FF, 0x0000FF, 0x0000FF}));
  EXPECT_EQ(DecodeOk(Cut(file, file.size() - 3)).pixels, (std::vector<Rgb>{red, red, red, blue, blue, blue}));
  EXPECT_EQ(OpenResult(Cut(file, file.size() - 4)), IMGERR_CORRUPT);
}

TEST_F(BmpReading, CodesOutsideThePictureStopAtWhatIsValidAndLyingHeadersFailCleanly) {
  const std::vector<std::uint32_t> palette = {0xFFFFFF, 0xFF0000};
  struct Case {
    const char* what;
    Bytes codes;
    Indices expected;  // 4 x 3, top to bottom; pixels no code reaches keep index 0
    int bits = 8;
  };
  const Case cases[] = {
      // Bottom row: a run; a move one up (and none right); top row: three stored indices
      // and the padding.
      {"a move, an end of line and the end", {3, 1, 0, 2, 0, 1, 1, 1, 0, 0, 0, 3, 1, 0, 1, 0, 0, 1},
       {1, 0, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0}},
      {"a run of two indices taking turns, and a move", {3, 0x10, 0, 2, 0, 1, 1, 0x11, 0, 1},
       {0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 0}, 4},
      {"a run past the end of its row", {200, 1, 0, 0, 1, 1, 0, 1}, {0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1}},
      {"a stored run past the end of its row", {0, 6, 1, 1, 1, 1, 1, 1, 0, 0, 1, 1}, {0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1}},
      {"a move past the right edge", {0, 2, 250, 0, 3, 1, 0, 0, 1, 1}, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}},
      {"a move past the top", {2, 1, 0, 2, 0, 200, 9, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0}},
      {"more lines than the picture has", {0, 0, 0, 0, 0, 0, 0, 0, 4, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"a stored run cut short by the file's end", {0, 0, 0, 5, 1, 1}, {0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0}},
      {"a move cut short by the file's end", {1, 1, 0, 2, 1}, {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0}},
      {"no codes at all", {}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(DecodeOk(bmpfile::File(PaletteShape(4, 3, c.bits, c.bits == 8 ? kRle8 : kRle4, palette), c.codes)).pixels,
              Expected(palette, c.expected, 4).pixels);
  }

  // Cut anywhere, a coded picture shows each pixel right or as index 0.
  for (int bits : {8, 4}) {
    const Indices indices = Mixed(21, 5, 16);
    const Shape shape = PaletteShape(21, 5, bits, bits == 8 ? kRle8 : kRle4, Palette(16));
    const Bytes whole = Coded(shape, indices);
    const size_t codesAt = whole[10] | whole[11] << 8;  // the file header's offset of the pixels
    const Picture full = Expected(shape.palette, indices, 21);
    for (size_t n = codesAt; n < whole.size(); ++n) {
      const Picture got = DecodeOk(Cut(whole, n));
      ASSERT_EQ(got.pixels.size(), full.pixels.size());
      for (size_t i = 0; i < got.pixels.size(); ++i)
        ASSERT_TRUE(got.pixels[i] == full.pixels[i] || got.pixels[i] == ColourOf(shape.palette[0]))
            << bits << " bits cut at " << n << ", pixel " << i;
    }
  }

  const Shape eight = PaletteShape(4, 2, 8, 0, kFour);
  const Bytes good = bmpfile::File(eight, bmpfile::Rows(eight, {0, 1, 2, 3, 3, 2, 1, 0}));
  ASSERT_EQ(OpenResult(good), S_OK);
  auto with = [&](size_t at, std::initializer_list<BYTE> bytes, Bytes file) {
    std::copy(bytes.begin(), bytes.end(), file.begin() + long(at));
    return file;
  };
  // Offsets: 10 pixels, 14 header size, 18 width, 22 height, 28 bits, 30 compression, 46
  // colours used. A palette ends where the pixels start, whatever count the header gives.
  EXPECT_EQ(DecodeOk(with(46, {0, 1, 0, 0}, good)).pixels, DecodeOk(good).pixels);
  // 38: the resolution in pixels a metre, here 144 dots an inch; none given is 72.
  for (BYTE low : {0x25, 0x00}) {
    const BYTE high = low ? 0x16 : 0;
    Ref<IImageDecoder> decoder;
    ImageInfo info;
    ASSERT_EQ(OpenDecoder(with(38, {low, high, 0, 0, low, high, 0, 0}, good), decoder.put()), S_OK);
    ASSERT_EQ(decoder->GetImageInfo(&info), S_OK);
    EXPECT_NEAR(info.Xdpi, low ? 144.0 : 72.0, 0.1);
  }
  EXPECT_EQ(OpenResult(with(10, {40, 0, 0, 0}, good)), IMGERR_CORRUPT);  // pixels inside the header
  EXPECT_EQ(OpenResult(with(14, {20, 0, 0, 0}, good)), IMGERR_CORRUPT);  // no header has 20 bytes
  EXPECT_EQ(OpenResult(with(14, {0, 1, 0, 0}, good)), IMGERR_CORRUPT);  // a header longer than the file
  EXPECT_EQ(OpenResult(with(10, {0, 1, 0, 0}, good)), IMGERR_CORRUPT);  // pixels past the end
  EXPECT_EQ(OpenResult(with(22, {3, 0, 0, 0}, good)), IMGERR_CORRUPT);  // a row more than the file holds
  EXPECT_EQ(OpenResult(with(18, {0, 0, 0, 0}, good)), IMGERR_CORRUPT);  // no width
  EXPECT_EQ(OpenResult(with(18, {0xFF, 0xFF, 0xFF, 0xFF}, good)), IMGERR_CORRUPT);  // negative width
  EXPECT_EQ(OpenResult(with(18, {0x80, 0x84, 0x1E, 0}, good)), IMGERR_TOOLARGE);  // 2,000,000 wide
  EXPECT_EQ(OpenResult(with(22, {0, 0, 0, 0x80}, good)), IMGERR_TOOLARGE);  // the most negative height
  // Kinds that do not exist or are not read: run-length codes of the wrong depth, bit fields
  // of 24 bits, 2 bits a pixel, JPEG inside.
  EXPECT_EQ(OpenResult(with(30, {2}, good)), IMGERR_UNKNOWNFORMAT);
  EXPECT_EQ(OpenResult(with(28, {4, 0, 1}, good)), IMGERR_UNKNOWNFORMAT);
  EXPECT_EQ(OpenResult(with(28, {24, 0, 3}, good)), IMGERR_UNKNOWNFORMAT);
  EXPECT_EQ(OpenResult(with(28, {2}, good)), IMGERR_UNKNOWNFORMAT);
  EXPECT_EQ(OpenResult(with(30, {4}, good)), IMGERR_UNKNOWNFORMAT);
  // Bit fields whose masks are missing: after an info header cut short, or a header too
  // short to hold them.
  Shape fields{1, 1, 16, kBitFields, Header::Info, {}, {0xF800, 0x07E0, 0x001F, 0}};
  EXPECT_EQ(OpenResult(Cut(bmpfile::File(fields, {}), 60)), IMGERR_CORRUPT);
  EXPECT_EQ(OpenResult(with(14, {48}, bmpfile::File(fields, {0, 0, 0, 0}))), IMGERR_CORRUPT);
  // A core header cut inside its palette.
  Shape core = PaletteShape(1, 1, 8, 0, kFour);
  core.header = Header::Core;
  EXPECT_EQ(OpenResult(Cut(bmpfile::File(core, {0, 0, 0, 0}), 32)), IMGERR_CORRUPT);

  // A coded picture's header may claim any size the codes do not fill; it is expanded
  // whole, so one above the pixel limit is refused even for a thumbnail.
  Shape huge = PaletteShape(20000, 20000, 8, kRle8, kFour);
  Ref<IImage> image, thumbnail;
  ASSERT_EQ(OpenImage(bmpfile::File(huge, {3, 1, 0, 1}), image.put()), S_OK);
  EXPECT_EQ(image->GetThumbnail(50, 50, thumbnail.put()), IMGERR_TOOLARGE);
  // Below the limit, a thumbnail of a mostly empty coded picture is made.
  huge.width = huge.height = 4000;
  ASSERT_EQ(OpenImage(bmpfile::File(huge, {3, 1, 0, 1}), image.put()), S_OK);
  EXPECT_EQ(image->GetThumbnail(50, 50, thumbnail.put()), S_OK);
}

namespace {

// A big-endian block whose directory holds another tag, then the orientation as type/value.
FileBytes BigEndian(unsigned type, unsigned value) {
  FileBytes b = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 2};
  auto entry = [&](unsigned tag, unsigned t, unsigned v) {
    for (unsigned x : {tag >> 8, tag, t >> 8, t, 0u, 0u, 0u, 1u, v >> 24, v >> 16, v >> 8, v}) b.push_back(std::uint8_t(x));
  };
  entry(0x010F, 2, 0);  // the camera's maker, an ASCII string
  entry(0x0112, type, type == 3 ? value << 16 : value);
  return b;
}

// The bytes without their first `front` and last `back` ones.
FileBytes Trim(const FileBytes& bytes, size_t front, size_t back) {
  return FileBytes(bytes.begin() + long(front), bytes.end() - long(back));
}

FileBytes Segment(std::uint8_t marker, const FileBytes& payload) {
  FileBytes s = {0xFF, marker, std::uint8_t((payload.size() + 2) >> 8), std::uint8_t(payload.size() + 2)};
  s.insert(s.end(), payload.begin(), payload.end());
  return s;
}

TEST(ExifOrientation, ReadsOneValueOfEitherByteOrderFoundInTheFirstExifSegmentBeforeTheScan) {
  struct Case {
    FileBytes bytes;
    int tag;
  } cases[] = {
      {ExifBlock(6), 6},
      {Trim(ExifBlock(8), 6, 0), 8},  // without "Exif\0\0", as WebP keeps it
      {ExifBlock(0, FileBytes(40, 1)), 0},                           // a thumbnail and no tag
      {BigEndian(3, 5), 5},
      {BigEndian(4, 7), 7},
      {BigEndian(3, 0), 0},
      {BigEndian(3, 9), 0},
      {BigEndian(9, 3), 0},  // a signed long
      {Trim(ExifBlock(6), 0, 10), 0},  // cut inside the entry
      {{}, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(ExifOrientation(c.bytes.data(), c.bytes.size()), c.tag) << c.bytes.size();

  // In a JPEG file: the first EXIF segment before the scan.
  const FileBytes exif = ExifBlock(3);
  const FileBytes xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', '.'};
  auto file = [](std::initializer_list<FileBytes> segments) {
    FileBytes f = {0xFF, 0xD8};
    for (const FileBytes& s : segments) f.insert(f.end(), s.begin(), s.end());
    return f;
  };
  const Case files[] = {
      {file({Segment(0xE0, FileBytes(14, 'J')), Segment(0xE1, xmp), Segment(0xE1, exif)}), 3},
      {file({{0xFF, 0xFF}, Segment(0xE1, exif), Segment(0xE1, ExifBlock(6))}), 3},
      {file({Segment(0xDB, FileBytes(65, 0)), Segment(0xDA, FileBytes(8, 0)), Segment(0xE1, exif)}), 0},
      {Trim(file({Segment(0xE1, exif)}), 0, 3), 0},
      {file({{0xFF, 0xE1, 0x00, 0x01}}), 0},  // a length shorter than itself
      {file({FileBytes(200, 0xFF)}), 0},       // fill bytes to the end
      {FileBytes{0x89, 'P', 'N', 'G'}, 0},
  };
  for (const Case& c : files) EXPECT_EQ(JpegOrientation(ReadFromMemory(c.bytes.data(), c.bytes.size())), c.tag);
}

}  // namespace
