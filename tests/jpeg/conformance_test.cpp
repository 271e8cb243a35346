// The core against libjpeg on generated photos: every sampling layout, baseline and
// progressive, each reduction level, and the files other encoders produce. (Header variants
// that leave the coefficients as they are must give the same box: the exact values' tests.)
//
// The reference is libjpeg's accurate decode with replicating upsampling, sampled at the
// core's source coordinates (level 2: libjpeg's 1/8 decode, one pixel per block). Both
// sides are compared as RGB565. The thresholds sit about 1 dB under what was measured:
//   level 0, colour 37.4-37.6 dB, grey 42.2-42.7 dB (the 8-bit AAN constants and RGB565
//     steps that a one-unit difference crosses);
//   level 1 (3 x 3 frequencies only), smooth colour 37.4, grey 42.6; detailed colour
//     23.4-24.1, grey 25.3;
//   level 2 (block DC), colour 37.4-37.7 and grey 41.6 dB except 4:2:0, where libjpeg's
//     1/8 decode keeps a 2 x 2 chroma transform: smooth 33.5, detailed 25.3 dB.
#include <gtest/gtest.h>

#include <string>

#include "tests/jpeg/jpeg_test_support.h"

namespace {

double Threshold(int level, Content content, const Layout& l) {
  bool smooth = content == Content::Smooth;
  switch (level) {
    case 0:
      return l.gray ? 41.0 : 36.5;
    case 1:
      return smooth ? (l.gray ? 41.5 : 36.5) : (l.gray ? 24.3 : 22.5);
    default:
      if (l.gray) return 40.5;
      if (l.h1 == 2 && l.v1 == 2) return smooth ? 32.5 : 24.3;
      return 36.5;
  }
}

double Compare(const std::vector<uint8_t>& jpeg, int w, int h, int tw, int th, int* level = nullptr) {
  CoreOutput core = DecodeWithCore(jpeg, tw, th);
  EXPECT_EQ(core.result.status, 0);
  Placement p = PlacementOf(w, h, tw, th);
  EXPECT_EQ(core.result.level, p.level);
  if (level) *level = p.level;
  if (p.level == 2) return PsnrAgainst(core, tw, p, ReferenceDecode(jpeg, 8), 8);
  return PsnrAgainst(core, tw, p, ReferenceDecode(jpeg, 1), 1);
}

struct Kind {
  Layout layout;
  bool progressive;
  std::vector<ScanScript> scans = {};
  bool withoutTables = false;
};

std::vector<Kind> Kinds() {
  std::vector<Kind> kinds;
  for (bool progressive : {false, true})
    for (const Layout& l : kLayouts) kinds.push_back({l, progressive});
  // Files other encoders write, each of which the core once refused: grey pictures that
  // declare sampling factors, 4:1:1 and 1:4, progressive files whose DC scans hold one
  // component each, motion-JPEG frames without Huffman tables.
  kinds.push_back({{"grey 2x2", true, 2, 2}, false});
  kinds.push_back({{"grey 1x2", true, 1, 2}, true});
  kinds.push_back({kQuarterLayouts[0], false});
  kinds.push_back({kQuarterLayouts[1], true});
  kinds.push_back({kLayouts[3], true, DcScansApart()});
  kinds.push_back({kQuarterLayouts[0], true, DcScansApart()});
  kinds.push_back({kLayouts[1], false, {}, true});
  kinds.push_back({kLayouts[4], false, {}, true});
  return kinds;
}

TEST(JpegConformance, LayoutsCodingsAndLevels) {
  for (Content content : {Content::Smooth, Content::Detailed}) {
    Rgb pic = MakePicture(203, 157, content, 3);
    for (const Kind& k : Kinds()) {
      EncodeOptions o = OptionsFor(k.layout, k.progressive);
      o.scans = k.scans;
      std::vector<uint8_t> jpeg = EncodeJpeg(pic, o);
      if (k.withoutTables) jpeg = WithoutHuffmanTables(jpeg);
      // Enlarged, slightly reduced, 3 to 8 times smaller, more than 8 times smaller.
      for (auto [tw, th] : {std::pair{400, 300}, {150, 120}, {60, 40}, {24, 18}}) {
        int level;
        double psnr = Compare(jpeg, pic.width, pic.height, tw, th, &level);
        EXPECT_GE(psnr, Threshold(level, content, k.layout))
            << (content == Content::Smooth ? "smooth " : "detailed ") << (k.progressive ? "progressive " : "baseline ")
            << k.layout.name << (k.scans.empty() ? "" : ", DC scans apart")
            << (k.withoutTables ? ", no Huffman tables" : "") << ", box " << tw << "x" << th;
      }
    }
  }
}

TEST(JpegConformance, OddSizesFromOnePixel) {
  const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {15, 17}, {17, 15}, {33, 7}, {127, 65}};
  for (const auto& sz : sizes) {
    Rgb pic = MakePicture(sz[0], sz[1], Content::Detailed, 5);
    for (bool progressive : {false, true}) {
      for (const Layout& l : kLayouts) {
        std::vector<uint8_t> jpeg = EncodeJpeg(pic, OptionsFor(l, progressive));
        // A box a little larger than the picture keeps level 0 for every size. Few pixels
        // make the measure coarser: measured from 35.7 (colour) and 40.0 dB (grey).
        int tw = sz[0] + 3, th = sz[1] + 2;
        EXPECT_GE(Compare(jpeg, sz[0], sz[1], tw, th), l.gray ? 39.0 : 34.7)
            << sz[0] << "x" << sz[1] << " " << l.name << (progressive ? " progressive" : "");
      }
    }
  }
}

}  // namespace
