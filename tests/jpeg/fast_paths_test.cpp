// The decoder's fast paths against the plain ones they must equal: the inverse DCTs on
// eight lanes against the plain passes, and the pixel writing a block row at a time against
// the writer called pixel by pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "tests/jpeg/jpeg_test_support.h"

namespace {

// Coefficient blocks of the kinds that take different paths: DC only, sparse, values that
// fit the narrow or the wide lanes, and values anywhere in 16 bits.
std::vector<std::vector<int16_t>> SampleBlocks() {
  std::mt19937 rng(7);
  std::vector<std::vector<int16_t>> blocks;
  const int limits[] = {0, 300, 2047, 2048, 8191, 8192, 32767};
  for (int limit : limits) {
    for (int n = 0; n < 300; ++n) {
      std::vector<int16_t> b(64, 0);
      std::uniform_int_distribution<int> value(-limit - 1, limit);
      int filled = n % 3 == 0 ? 64 : n % 3 == 1 ? 10 : 3;
      for (int i = 0; i < filled; ++i) b[size_t(rng() % 64)] = int16_t(value(rng));
      b[0] = int16_t(std::uniform_int_distribution<int>(-32768, 32767)(rng));
      blocks.push_back(b);
    }
  }
  return blocks;
}

TEST(JpegFastPaths, InverseDctsEqualThePlainPasses) {
  struct Pair {
    const char* name;
    void (*fast)(int16_t*, uint32_t);
    void (*plain)(int16_t*, uint32_t);
  };
  std::mt19937 rng(3);
  for (const Pair& f : {Pair{"full", IdctFull, IdctFullPlain}, Pair{"low", IdctLow, IdctLowPlain}}) {
    for (const std::vector<int16_t>& coefficients : SampleBlocks()) {
      const uint32_t rows = rng() % 2 ? 0xFFu : (rng() & 0xFFu) | 1u;
      int16_t fast[64], plain[64];
      std::memcpy(fast, coefficients.data(), sizeof fast);
      std::memcpy(plain, coefficients.data(), sizeof plain);
      f.fast(fast, rows);
      f.plain(plain, rows);
      for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8 && (rows >> r & 1); ++c)
          ASSERT_EQ(fast[8 * r + c], plain[8 * r + c]) << f.name << " row " << r << " column " << c;
    }
  }
}

// Strong colours in hard-edged patches with noise, so that the colour terms clamp.
Rgb Saturated(int w, int h) {
  Rgb pic{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  std::mt19937 rng(11);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int patch = (x / 13) * 7 + (y / 11) * 3;
      for (int c = 0; c < 3; ++c)
        pic.pixels[(size_t(y) * w + x) * 3 + size_t(c)] = uint8_t(((patch >> c) & 1 ? 245 : 10) + int(rng() % 11));
    }
  return pic;
}

// Any writer but PutPixelRGB565 itself is called pixel by pixel.
void WriteOnePixel(int c0, int c1, int c2, int index, int x, int y, int format) {
  PutPixelRGB565(c0, c1, c2, index, x, y, format);
}

TEST(JpegFastPaths, BlockRowsEqualTheWriterPixelByPixel) {
  std::vector<Layout> layouts(std::begin(kLayouts), std::end(kLayouts));
  layouts.insert(layouts.end(), std::begin(kQuarterLayouts), std::end(kQuarterLayouts));
  const Rgb pictures[] = {MakePicture(181, 133, Content::Detailed, 4), Saturated(181, 133)};
  for (const Rgb& pic : pictures) {
    for (bool progressive : {false, true}) {
      for (const Layout& l : layouts) {
        for (bool rgb : {false, true}) {
          if (rgb && l.gray) continue;
          EncodeOptions o = OptionsFor(l, progressive);
          o.quality = 95;
          o.rgb = rgb;
          const std::vector<uint8_t> jpeg = EncodeJpeg(pic, o);
          // Enlarged, one to one, slightly and strongly reduced (levels 0 and 1).
          const int boxes[][2] = {{400, 290}, {181, 133}, {150, 100}, {50, 40}};
          for (const auto& b : boxes) {
            CoreOutput fast = DecodeWithCore(jpeg, b[0], b[1], 0x5A5A);
            ASSERT_EQ(fast.result.status, 0);
            EXPECT_EQ(fast.result.info.ColorFormat, rgb ? 1u : 0u);
            EXPECT_TRUE(fast.surface == DecodeWithCore(jpeg, b[0], b[1], 0x5A5A, WriteOnePixel).surface)
                << l.name << (progressive ? " progressive" : " baseline") << (rgb ? " RGB" : "") << " box " << b[0]
                << "x" << b[1];
          }
        }
      }
    }
  }
}

}  // namespace
