// The core against libjpeg on generated photos: every sampling layout, baseline and
// progressive, at each reduction level.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/jpeg/jpeg_test_support.h"

namespace {

struct Layout {
  const char* name;
  bool gray;
  int h1, v1;
};
const Layout kLayouts[] = {{"444", false, 1, 1}, {"422", false, 2, 1}, {"440", false, 1, 2},
                           {"420", false, 2, 2}, {"gray", true, 1, 1}};

struct Box {
  int w, h;
};

TEST(JpegConformance, Measure) {
  for (Content content : {Content::Smooth, Content::Detailed}) {
    Rgb pic = MakePicture(203, 157, content, 3);
    for (bool progressive : {false, true}) {
      for (const Layout& l : kLayouts) {
        EncodeOptions o;
        o.progressive = progressive;
        o.gray = l.gray;
        o.h1 = l.h1;
        o.v1 = l.v1;
        std::vector<uint8_t> jpeg = EncodeJpeg(pic, o);
        Rgb full = ReferenceDecode(jpeg, 1), eighth = ReferenceDecode(jpeg, 8);
        for (Box b : {Box{400, 300}, Box{150, 120}, Box{60, 40}, Box{24, 18}}) {
          CoreOutput core = DecodeWithCore(jpeg, b.w, b.h);
          ASSERT_EQ(core.result.status, 0);
          Placement p = PlacementOf(pic.width, pic.height, b.w, b.h);
          double psnr = p.level == 2 ? PsnrAgainst(core, b.w, p, eighth, 8) : PsnrAgainst(core, b.w, p, full, 1);
          std::printf("%s %s %s box %dx%d level %d psnr %.2f\n", content == Content::Smooth ? "smooth" : "detailed",
                      progressive ? "prog" : "base", l.name, b.w, b.h, p.level, psnr);
        }
      }
    }
  }
}

}  // namespace
