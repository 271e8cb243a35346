// Photos stored sideways or mirrored, as phones store them, reach the screens upright: the
// photo's record, the decoder the view, the slideshow and the facts draw through, and the
// main page's thumbnails (the one inside the photo and the one made from the whole photo).
#include <algorithm>
#include <cstdlib>

#include "decode/image_decoder.h"
#include "platform/imaging/orientation.h"
#include "platform/media/photo_info.h"
#include "tests/decode/decode_support.h"
#include "thumbs/thumb_maker.h"

namespace {

// Solid blocks of side x side pixels, 4 across and 3 down, each its own colour: every block
// tells where it went, and JPEG and HEVC keep a solid block's middle nearly exact.
Picture Blocks(int side) {
  Picture p{4 * side, 3 * side, std::vector<Rgb>(size_t(12) * side * side)};
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const int bx = x / side, by = y / side;
      p.at(x, y) = Rgb{BYTE(30 + 70 * bx), BYTE(40 + 90 * by), BYTE(bx % 2 ? 220 : 60)};
    }
  return p;
}

Picture FromScreen(const Pixels565& s) {
  Picture p{s.width, s.height, {}};
  for (WORD v : s.p) p.pixels.push_back(Rgb{BYTE((v >> 11) << 3), BYTE(((v >> 5) & 63) << 2), BYTE((v & 31) << 3)});
  return p;
}

// The middle of each 16 x 16 block of the reference, found at the same place of a picture
// of any size, has the block's colour (give or take what coding and 565 change).
void ExpectLike(const Picture& reference, const Picture& shown, const std::string& what) {
  ASSERT_EQ(reference.width > reference.height, shown.width > shown.height) << what;
  for (int y = 8; y < reference.height; y += 16)
    for (int x = 8; x < reference.width; x += 16) {
      const Rgb want = reference.at(x, y), got = shown.at(x * shown.width / reference.width, y * shown.height / reference.height);
      EXPECT_TRUE(std::abs(want.r - got.r) < 24 && std::abs(want.g - got.g) < 24 && std::abs(want.b - got.b) < 24)
          << what << " at " << x << "," << y << ": " << got << " for " << want;
    }
}

class Upright : public DecodeTest {
 protected:
  void TearDown() override {
    SetAutoRotate(true);
    DecodeTest::TearDown();
  }

  _tag_PHOTO_INFO Record(const std::string& name) {
    _tag_PHOTO_INFO info{};
    EXPECT_EQ(ReadPhotoInfo((root_.Path() / "SDMMC" / name).string(), &info), 0);
    return info;
  }

  // What the screens show of the photo: opened with its record's size as they do, decoded
  // and drawn whole at the size the decoder gives.
  Picture Viewed(const std::string& name, const WString& path) {
    const _tag_PHOTO_INFO info = Record(name);
    CImageDecoder decoder;
    EXPECT_NE(decoder.Open(path.c_str(), UINT(info.Width), UINT(info.Height)), 0u) << name;
    EXPECT_NE(decoder.Decode(0), 0u) << name;
    const int w = int(decoder.m_ImageInfo.Width), h = int(decoder.m_ImageInfo.Height);
    EXPECT_EQ(w, info.Width) << name;
    EXPECT_EQ(h, info.Height) << name;
    Canvas canvas(w, h);
    RECT all{0, 0, w, h};
    decoder.Draw(canvas.dc(), &all);
    return FromScreen(canvas.Read());
  }

  Picture Thumbnail(IImage* thumb) {
    Ref<IBitmapImage> bitmap;
    if (!thumb || FAILED(thumb->QueryInterface(IID_IBitmapImage, bitmap.put_void()))) {
      if (thumb) thumb->Release();
      ADD_FAILURE() << "no thumbnail";
      return Blocks(1);
    }
    thumb->Release();
    return Pixels(bitmap.get());
  }
};

TEST_F(Upright, EveryOrientationTagShowsTheUprightPictureOnEveryRoad) {
  const Picture upright = Blocks(16), small = Blocks(8);
  for (int tag = 1; tag <= 8; ++tag) {
    const Bytes file = MakeJpeg(StoredFor(upright, tag), 95, ExifBlock(tag, MakeJpeg(StoredFor(small, tag), 95)));
    // The JPEG pipeline takes ".jpg", the imaging service ".jpeg".
    for (const std::string name : {"p.jpg", "p.jpeg"}) {
      const std::string what = name + " tagged " + std::to_string(tag);
      const WString path = Put(name, file);
      ExpectLike(upright, Viewed(name, path), what + ", viewed");
      ExpectLike(upright, Thumbnail(GetThumbWithoutDecoding(factory_.get(), path)), what + ", inner thumbnail");
      ExpectLike(upright, Thumbnail(MakeThumbFromWholePhoto(factory_.get(), path)), what + ", made thumbnail");
    }
  }
  // Without turning, a photo is shown as it is stored, as the device always showed it.
  SetAutoRotate(false);
  const WString path = Put("p.jpg", MakeJpeg(StoredFor(upright, 6), 95, ExifBlock(6)));
  ExpectLike(StoredFor(upright, 6), Viewed("p.jpg", path), "not turned");
  ExpectLike(StoredFor(upright, 6), Thumbnail(MakeThumbFromWholePhoto(factory_.get(), path)), "not turned");
}

// A HEIC stands as its turn and mirror properties say (whatever the option: they are how
// the format stores the picture), with the thumbnail it keeps; a WebP by its EXIF chunk.
TEST_F(Upright, HeicAndWebpStandUprightWithTheirFacts) {
  const Picture upright = Blocks(16), stored = StoredFor(upright, 6);
  const auto* rgb = reinterpret_cast<const std::uint8_t*>(stored.pixels.data());
  const Bytes heic = EncodeHeic(rgb, stored.width, stored.height, 6, 48);
  ASSERT_FALSE(heic.empty()) << "libheif has no HEVC encoder";
  struct Case {
    std::string name;
    Bytes file;
    const char16_t* format;
    bool heif;  // turned whatever the option, with a thumbnail of its own
  } cases[] = {{"IMG_0001.HEIC", heic, u"HEIC", true},
               {"web.webp", EncodeWebp(rgb, stored.width, stored.height, true, 6), u"WEBP", false}};
  for (bool autoRotate : {true, false}) {
    SetAutoRotate(autoRotate);
    for (const Case& c : cases) {
      const WString path = Put(c.name, c.file);
      const _tag_PHOTO_INFO info = Record(c.name);
      EXPECT_EQ(WString(info.Format), c.format);
      EXPECT_EQ(info.BitDepth, 24);
      const Picture& shown = autoRotate || c.heif ? upright : stored;
      ExpectLike(shown, Viewed(c.name, path), c.name + ", viewed");
      ExpectLike(shown, Thumbnail(MakeThumbFromWholePhoto(factory_.get(), path)), c.name + ", made thumbnail");
      IImage* inner = GetThumbWithoutDecoding(factory_.get(), path);
      EXPECT_EQ(inner != nullptr, c.heif) << c.name;
      if (inner) ExpectLike(shown, Thumbnail(inner), c.name + ", inner thumbnail");
    }
  }
}

TEST_F(Upright, AnAnimatedWebpShowsItsFirstFrame) {
  const WString path = Put("spin.webp", EncodeAnimatedWebp(32, 16, {0xE01020, 0x10E020}));
  const Picture shown = Viewed("spin.webp", path);
  EXPECT_EQ(shown.width, 32);
  EXPECT_EQ(shown.at(20, 10), (Rgb{224, 16, 32}));
}

Bytes Patched(Bytes file, const std::string& find, const Bytes& with, size_t skip = 0) {
  auto at = std::search(file.begin(), file.end(), find.begin(), find.end());
  EXPECT_NE(at, file.end()) << find;
  if (at != file.end()) std::copy(with.begin(), with.end(), at + long(skip));
  return file;
}

// Bad tags and bad files give the photo unturned or the question mark (nothing to draw),
// never a picture larger than the limits; a grid whose tiles are all there is shown whole.
TEST_F(Upright, BadInputIsShownUnturnedOrNotAtAll) {
  const Picture stored = StoredFor(Blocks(16), 6);
  const Bytes jpeg = MakeJpeg(stored, 95);
  auto tagged = [&](const Bytes& exif) { return MakeJpeg(stored, 95, exif); };
  const Bytes exif = ExifBlock(6);
  const auto* rgb = reinterpret_cast<const std::uint8_t*>(stored.pixels.data());
  const Bytes heic = EncodeHeic(rgb, stored.width, stored.height, 1, 0);
  const Picture square = Pattern(64, 64);
  const Bytes tile = EncodeHeic(reinterpret_cast<const std::uint8_t*>(square.pixels.data()), 64, 64, 1, 0);
  const Bytes webp = EncodeWebp(rgb, stored.width, stored.height, false, 0);
  Bytes lyingCanvas = Patched(EncodeWebp(rgb, stored.width, stored.height, false, 1), "VP8X", {0xFF, 0x3F, 0, 0xFF, 0x3F, 0}, 12);
  const UINT w = UINT(stored.width), h = UINT(stored.height);
  struct Case {
    std::string name;
    Bytes file;
    UINT width, height;  // as shown; 0 for the question mark
  } cases[] = {
      {"tag 9.jpg", tagged(ExifBlock(9)), w, h},
      {"tag 65535.jpeg", tagged(ExifBlock(0xFFFF)), w, h},
      {"directory past the end.jpg", tagged(Patched(exif, "II*", {0xF0, 0xFF, 0xFF, 0x7F}, 4)), w, h},
      {"entries past the end.jpeg", tagged(Patched(exif, "II*", {0xFF, 0xFF}, 8)), w, h},
      {"tag of three values.jpg", tagged(Patched(exif, "II*", {3}, 14)), w, h},
      {"not a TIFF block.jpg", tagged(Patched(exif, "II*", {'X', 'X'})), w, h},
      {"cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + long(jpeg.size() / 2)), 0, 0},
      {"no image.heic", Patched(heic, "pitm", {0x77, 0x77}, 8), 0, 0},
      {"grid without tiles.heic", Patched(heic, "hvc1", {'g', 'r', 'i', 'd'}), 0, 0},
      {"grid.heic", EncodeHeicGrid(tile, 2, 2, 128, 64), 128, 64},
      {"grid with a tile missing.heic", EncodeHeicGrid(tile, 2, 1, 128, 64), 0, 0},
      {"grid larger than its picture.heic", EncodeHeicGrid(tile, 2, 2, 60000, 60000), 0, 0},
      {"cut.heic", Bytes(heic.begin(), heic.begin() + long(heic.size() * 3 / 4)), 0, 0},
      {"cut.webp", Bytes(webp.begin(), webp.begin() + long(webp.size() / 2)), 0, 0},
      {"canvas of 16384 x 16384.webp", lyingCanvas, 0, 0},
  };
  for (const Case& c : cases) {
    const WString path = Put(c.name, c.file);
    _tag_PHOTO_INFO info = Record(c.name);
    CImageDecoder decoder;
    if (decoder.Open(path.c_str(), UINT(info.Width), UINT(info.Height))) decoder.Decode(0);
    EXPECT_EQ(decoder.IsDecoded() != 0, c.width != 0) << c.name;
    if (decoder.IsDecoded()) {
      EXPECT_EQ(decoder.m_ImageInfo.Width, c.width) << c.name;
      EXPECT_EQ(decoder.m_ImageInfo.Height, c.height) << c.name;
    }
    IImage* thumb = MakeThumbFromWholePhoto(factory_.get(), path);
    EXPECT_EQ(thumb != nullptr, c.width != 0) << c.name;
    if (thumb) thumb->Release();
  }
}

}  // namespace
