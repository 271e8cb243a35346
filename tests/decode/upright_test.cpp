// Photos stored sideways or mirrored, as phones store them, reach the screens upright: the
// photo's record, the decoder the view, the slideshow and the facts draw through, and the
// main page's thumbnails (the one inside the photo and the one made from the whole photo).
#include <algorithm>
#include <cstdlib>
#include <cstring>

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
    EXPECT_EQ((std::pair{w, h}), (std::pair{info.Width, info.Height})) << name;
    Canvas canvas(w, h);
    RECT all{0, 0, w, h};
    decoder.Draw(canvas.dc, &all);
    return FromScreen(Shown(canvas));
  }

  Picture Thumbnail(IImage* thumb) {
    Ref<IBitmapImage> bitmap;
    const bool made = thumb && SUCCEEDED(thumb->QueryInterface(IID_IBitmapImage, bitmap.put_void()));
    if (thumb) thumb->Release();
    EXPECT_TRUE(made) << "no thumbnail";
    return made ? Pixels(bitmap.get()) : Blocks(1);
  }
};

// Every orientation tag of a JPEG (through the JPEG pipeline as ".jpg", the imaging service as
// ".jpeg"), a HEIC (turned by its properties whatever the option, as the format stores the
// picture, with a thumbnail of its own) and a WebP (by its EXIF chunk): viewed and both
// thumbnails upright, or as stored when turning is off, as the device always showed them.
TEST_F(Upright, EveryOrientedPhotoStandsUprightOnEveryRoad) {
  const Picture upright = Blocks(16), small = Blocks(8), stored = StoredFor(upright, 6);
  struct Case {
    std::string name;
    int tag;
    Bytes file;
    bool heif;
  };
  std::vector<Case> cases;
  for (int tag = 1; tag <= 8; ++tag)
    for (const char* name : {"p.jpg", "p.jpeg"})
      cases.push_back({name, tag, MakeJpeg(StoredFor(upright, tag), 95, ExifBlock(tag, MakeJpeg(StoredFor(small, tag), 95))), false});
  const auto* rgb = reinterpret_cast<const std::uint8_t*>(stored.pixels.data());
  cases.push_back({"IMG_0001.HEIC", 6, EncodeHeic(rgb, stored.width, stored.height, 6, 48), true});
  ASSERT_FALSE(cases.back().file.empty()) << "libheif has no HEVC encoder";
  cases.push_back({"web.webp", 6, EncodeWebp(rgb, stored.width, stored.height, true, 6), false});
  for (bool autoRotate : {true, false}) {
    SetAutoRotate(autoRotate);
    for (const Case& c : cases) {
      const std::string what = c.name + " tagged " + std::to_string(c.tag) + (autoRotate ? "" : ", not turned");
      const WString path = Put(c.name, c.file);
      EXPECT_EQ(Record(c.name).BitDepth, 24) << what;
      const Picture shown = autoRotate || c.heif ? upright : StoredFor(upright, c.tag);
      ExpectLike(shown, Viewed(c.name, path), what + ", viewed");
      ExpectLike(shown, Thumbnail(MakeThumbFromWholePhoto(factory_.get(), path)), what + ", made thumbnail");
      IImage* inner = GetThumbWithoutDecoding(factory_.get(), path);
      EXPECT_EQ(inner != nullptr, c.name != "web.webp") << what;
      if (inner) ExpectLike(shown, Thumbnail(inner), what + ", inner thumbnail");
    }
  }
  EXPECT_EQ(WString(Record("IMG_0001.HEIC").Format), u"HEIC");
  EXPECT_EQ(WString(Record("web.webp").Format), u"WEBP");
  // Of an animation, the first frame.
  const Picture first = Blocks(8), second{32, 24, std::vector<Rgb>(32 * 24, Rgb{16, 224, 32})};
  const WString path = Put("spin.webp", EncodeAnimatedWebp({&first.pixels[0].r, &second.pixels[0].r}, 32, 24));
  ExpectLike(upright, Viewed("spin.webp", path), "an animation");
}

// ---- HEIC grids, put together box by box ----

void Be(Bytes& out, size_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(BYTE(value >> (8 * i)));
}
size_t Be32(const Bytes& in, size_t at) { return size_t{in[at]} << 24 | size_t{in[at + 1]} << 16 | size_t{in[at + 2]} << 8 | in[at + 3]; }

// A box of its parts; a full box when versionAndFlags is not negative.
Bytes Box(const char* type, std::initializer_list<Bytes> parts, long long versionAndFlags = -1) {
  Bytes payload, out;
  if (versionAndFlags >= 0) Be(payload, size_t(versionAndFlags), 4);
  for (const Bytes& part : parts) payload.insert(payload.end(), part.begin(), part.end());
  Be(out, 8 + payload.size(), 4);
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

Bytes FindBox(const Bytes& file, const char* type) {
  for (size_t i = 4; i + 4 <= file.size(); ++i)
    if (std::memcmp(&file[i], type, 4) == 0 && Be32(file, i - 4) >= 8 && i - 4 + Be32(file, i - 4) <= file.size())
      return Bytes(file.begin() + long(i - 4), file.begin() + long(i - 4 + Be32(file, i - 4)));
  return {};
}

void Append(Bytes& to, const Bytes& part) { to.insert(to.end(), part.begin(), part.end()); }

// A grid of `columns` copies of the one image of tileHeic (EncodeHeic makes one for sides
// that are multiples of 64), of which only the first `present` exist: its size property says
// what the tiles make, its description width x height.
Bytes HeicGrid(const Bytes& tileHeic, int columns, int present, unsigned width, unsigned height) {
  // libheif writes one location of 4-byte offset, length and base offset.
  const Bytes hvcC = FindBox(tileHeic, "hvcC"), ispe = FindBox(tileHeic, "ispe"), iloc = FindBox(tileHeic, "iloc");
  if (hvcC.empty() || ispe.size() != 20 || iloc.size() != 34 || iloc[12] != 0x44) return {};
  const size_t start = Be32(iloc, 20) + Be32(iloc, 26), length = Be32(iloc, 30);
  if (start + length > tileHeic.size()) return {};
  const Bytes tile(tileHeic.begin() + long(start), tileHeic.begin() + long(start + length));
  Bytes grid = {0, 1, 0, BYTE(columns - 1)}, size;  // one row, 32-bit sizes
  Be(grid, width, 4), Be(grid, height, 4);
  Be(size, Be32(ispe, 12) * size_t(columns), 4), Be(size, Be32(ispe, 16), 4);
  auto infe = [](size_t id, const char* type, bool hidden) {
    Bytes fields;
    Be(fields, id, 2), Be(fields, 0, 2), fields.insert(fields.end(), type, type + 5);  // its NUL: no name
    return Box("infe", {fields}, 2 << 24 | (hidden ? 1 : 0));
  };
  // Item 1 is the grid (its property 3, its size), items 2 on the tiles (1 coding, 2 size);
  // the grid's description is in the meta box's own data, each tile the same bytes in mdat.
  Bytes items, references = {0, 1}, associations, locations = {0x44, 0};
  Be(items, 1 + size_t(present), 2), Be(references, size_t(columns), 2), Be(associations, 1 + size_t(present), 4);
  Be(locations, 1 + size_t(present), 2);
  Append(items, infe(1, "grid", false));
  Append(associations, {0, 1, 1, 3});
  Append(locations, {0, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0}), Be(locations, grid.size(), 4);
  for (int k = 0; k < columns; ++k) Be(references, 2 + size_t(k), 2);
  for (int k = 0; k < present; ++k) {
    Append(items, infe(2 + size_t(k), "hvc1", true));
    Be(associations, 2 + size_t(k), 2), Append(associations, {2, 0x81, 2});
    Be(locations, 2 + size_t(k), 2), Append(locations, {0, 0, 0, 0, 0, 1, 0, 0, 0, 0}), Be(locations, tile.size(), 4);
  }
  auto file = [&](size_t tileAt) {
    for (int k = 0; k < present; ++k)
      for (int b = 0; b < 4; ++b) locations[28 + 16 * size_t(k) + size_t(b)] = BYTE(tileAt >> (24 - 8 * b));
    Bytes out = Box("ftyp", {{'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1'}});
    Append(out, Box("meta", {Box("hdlr", {{0, 0, 0, 0, 'p', 'i', 'c', 't'}, Bytes(13, 0)}, 0), Box("pitm", {{0, 1}}, 0),
                             Box("iloc", {locations}, 1 << 24), Box("iinf", {items}, 0),
                             Box("iref", {Box("dimg", {references})}, 0),
                             Box("iprp", {Box("ipco", {hvcC, ispe, Box("ispe", {size}, 0)}), Box("ipma", {associations}, 0)}),
                             Box("idat", {grid})},
                    0));
    return out;
  };
  Bytes out = file(file(0).size() + 8);
  Append(out, Box("mdat", {tile}));
  return out;
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
      {"grid.heic", HeicGrid(tile, 2, 2, 128, 64), 128, 64},
      {"grid with a tile missing.heic", HeicGrid(tile, 2, 1, 128, 64), 0, 0},
      {"grid larger than its picture.heic", HeicGrid(tile, 2, 2, 60000, 60000), 0, 0},
      {"cut.heic", Bytes(heic.begin(), heic.begin() + long(heic.size() * 3 / 4)), 0, 0},
      {"cut.webp", Bytes(webp.begin(), webp.begin() + long(webp.size() / 2)), 0, 0},
      {"canvas of 16384 x 16384.webp", lyingCanvas, 0, 0},
  };
  for (const Case& c : cases) {
    const WString path = Put(c.name, c.file);
    _tag_PHOTO_INFO info = Record(c.name);
    CImageDecoder decoder;
    if (decoder.Open(path.c_str(), UINT(info.Width), UINT(info.Height))) decoder.Decode(0);
    EXPECT_EQ((decoder.IsDecoded() ? std::pair{decoder.m_ImageInfo.Width, decoder.m_ImageInfo.Height} : std::pair{0u, 0u}),
              (std::pair{c.width, c.height})) << c.name;
    IImage* thumb = MakeThumbFromWholePhoto(factory_.get(), path);
    EXPECT_EQ(thumb != nullptr, c.width != 0) << c.name;
    if (thumb) thumb->Release();
  }
}

}  // namespace
