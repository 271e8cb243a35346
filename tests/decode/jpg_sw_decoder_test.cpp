#include "decode/jpg_sw_decoder.h"

#include <cstdlib>
#include <tuple>
#include <utility>

#include "platform/device/framebuffer.h"
#include "tests/decode/decode_support.h"

namespace {

using Pipeline = DecodeTest;

struct SizeCase {
  DWORD w, h, expectW, expectH;
};

TEST(JpgSwSize, ReducesOnlyAboveTheBitmapLimitKeepingProportions) {
  const SizeCase cases[] = {
      {2592, 1944, 1450, 1088}, {1944, 2592, 816, 1088}, {3000, 3000, 1088, 1088}, {1000, 3000, 362, 1088},
      {1921, 1089, 1920, 1088}, {1920, 1088, 1920, 1088}, {4000, 500, 4000, 500},   {801, 481, 801, 481},
      {6000, 4000, 1632, 1088}, {4000, 6000, 725, 1088},
  };
  for (const SizeCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    DWORD w = 0, h = 0;
    EXPECT_EQ(ChooseJpgSwSize(c.w, c.h, &w, &h), c.expectW != c.w || c.expectH != c.h);  // whether it reduced
    EXPECT_EQ((std::pair{w, h}), (std::pair{c.expectW, c.expectH}));
  }
}

// Odd sides are made even; one side differing from the caller's size repeats nothing. (The
// photo decoder's tests follow a repeated preparation.)
TEST_F(Pipeline, OddSidesAreMadeEvenAndSidewaysPhotosAreStoodUpAtTheirSize) {
  WString odd = PutJpeg("odd.jpg", 801, 400);
  CJpgSwDecoder jpg;
  ASSERT_TRUE(jpg.PrepareImage(odd.c_str(), 801, 481));
  DWORD w = 1, h = 1, size = 0;
  EXPECT_FALSE(jpg.IsJPGInfoChanged(&w, &h));
  EXPECT_EQ(w, 1u);
  EXPECT_EQ((std::pair{jpg.Width(), jpg.Height()}), (std::pair{800u, 480u}));
  EXPECT_EQ(jpg.Decode(&size), jpg.Pixels());
  EXPECT_EQ(size, 800u * 480 * 2);
  EXPECT_TRUE(jpg.EndDecode());
  EXPECT_EQ(log_.Lines(), (std::vector<std::string>{"1. JPG SW PrepareImage->Width :801, Height:481",
                                                    "2. JPG SW Init2 Start->Width :800, Height:480",
                                                    "3. JPG SW Decoding Start.", "4. JPG SW Decoding End.(0)",
                                                    "5. JPG SW EndDecode"}));
  jpg.Release();

  // The same photo stored sideways with the tag 6 is decoded as large as it, then stood up.
  WString sideways = Put("sideways.jpg", MakeJpeg(Pattern(1944, 2592), 90, ExifBlock(6)));
  ASSERT_TRUE(jpg.PrepareImage(sideways.c_str(), 2048, 1536));
  ASSERT_TRUE(jpg.IsJPGInfoChanged(&w, &h));
  EXPECT_EQ((std::pair{w, h}), (std::pair{1450u, 1088u}));
  EXPECT_NE(jpg.Decode(&size), nullptr);
  EXPECT_EQ((std::pair{jpg.Width(), jpg.Height()}), (std::pair{1450u, 1088u}));
}

// Fails the allocation numbered g_failAt (1 the first after FailAllocation), counting every
// allocation, while it lives.
int g_allocations = 0;
int g_failAt = 0;
struct FailAllocation {
  explicit FailAllocation(int n) {
    g_allocations = 0;
    g_failAt = n;
    SetJpgSwAllocatorForTests([](std::size_t bytes) { return ++g_allocations == g_failAt ? nullptr : std::malloc(bytes); });
  }
  ~FailAllocation() { SetJpgSwAllocatorForTests(nullptr); }
};

class TurnTest : public DecodeTest {
 protected:
  // A decoded, shown 12 x 6 picture; its pixels as decoded.
  void SetUp() override {
    DecodeTest::SetUp();
    WString path = PutJpeg("turn.jpg", 12, 6);
    ASSERT_TRUE(jpg_.PrepareImage(path.c_str(), 12, 6));
    DWORD size = 0;
    ASSERT_NE(jpg_.Decode(&size), nullptr);
    jpg_.EndDecode();
    original_ = Now();
  }
  Pixels565 Now() const {
    return {int(jpg_.Width()), int(jpg_.Height()), std::vector<WORD>(jpg_.Pixels(), jpg_.Pixels() + jpg_.Width() * jpg_.Height())};
  }

  CJpgSwDecoder jpg_;
  Pixels565 original_;
};

// Drawn on the screen, the picture is stretched while the display is frozen. Each request
// turns the current picture: a step counter-clockwise or clockwise, nothing for the angle it
// has, a half turn for any other angle. A turn without its buffer leaves the picture as it was.
TEST_F(TurnTest, DrawnFrozenAndEachRequestTurnsTheCurrentPictureTheWayTheTableSays) {
  WORD* visible = GetVisibleFrame();
  for (size_t i = 0; i < kFrameBytes / 2; ++i) visible[i] = WORD(i * 7);
  std::fill(GetShadowFrame(), GetShadowFrame() + kFrameBytes / 2, WORD(0));
  *GetFrameBaseRegister() = 0x12345678;
  HDC screen = CreateScreenDC();
  RECT area{100, 50, 124, 62};
  EXPECT_TRUE(jpg_.Draw(screen, &area));
  DeleteDC(screen);
  EXPECT_EQ(*GetFrameBaseRegister(), kVisibleFramePhysical);
  EXPECT_EQ(GetShadowFrame()[1], 7);
  EXPECT_EQ(GetShadowFrame()[kFrameBytes / 2 - 1], WORD((kFrameBytes / 2 - 1) * 7));
  // Stretched to twice its size: the top-left photo pixel covers 2 x 2 screen pixels.
  EXPECT_EQ(visible[50 * 800 + 101], original_.at(0, 0));
  EXPECT_EQ(visible[61 * 800 + 123], original_.at(11, 5));

  {
    FailAllocation fail(1);
    EXPECT_FALSE(jpg_.Rotate(90));
    EXPECT_TRUE(log_.Contains("Rotate buffer memory Allocation fail : "));
    EXPECT_EQ(jpg_.Angle(), 0.0f);
    EXPECT_EQ(Now(), original_);
  }
  const Pixels565 ccw = QuarterTurn(original_, true), cw = QuarterTurn(original_, false), half = QuarterTurn(ccw, true);
  const std::pair<float, const Pixels565*> steps[] = {{90, &ccw}, {180, &half}, {270, &cw},  {0, &original_},
                                                      {270, &cw}, {270, &cw},   {90, &ccw},  {0, &original_},
                                                      {180, &half}, {45, &original_}};
  for (auto [angle, expected] : steps) {
    const float before = jpg_.Angle();
    log_.Clear();
    ASSERT_TRUE(jpg_.Rotate(angle));
    EXPECT_EQ(Now(), *expected) << before << " to " << angle;
    // What a stretch of the whole bitmap at its own size shows.
    Canvas canvas(expected->width, expected->height);
    RECT r{0, 0, expected->width, expected->height};
    EXPECT_TRUE(jpg_.Draw(canvas.dc, &r));
    EXPECT_EQ(Shown(canvas), *expected) << before << " to " << angle;
    EXPECT_EQ(jpg_.Angle(), angle);
    EXPECT_EQ(log_.Lines().empty(), angle == before);
  }
  EXPECT_TRUE(Logged("####SW ROTATE Angle : 45.000000, rotateAngle : 180.000000"));
}

TEST_F(Pipeline, EachBufferOfThePreparationTheFileAndTheCoreFailEmpty) {
  WString path = PutJpeg("a.jpg", 64, 48);
  CJpgSwDecoder jpg;
  DWORD size = 7, w, h;
  // The resize buffer, the work buffer, and the second resize buffer of a repeated
  // preparation (no size change is reported afterwards).
  for (auto [allocation, callerSide, message] : {std::tuple{1, 64, "[lcd_resize_buf]Not Support!"},
                                                 {2, 64, "[out_callback.Calc_Buf]Not Support!"},
                                                 {2, 10, "[RE][lcd_resize_buf]Not Support!"}}) {
    FailAllocation fail(allocation);
    log_.Clear();
    EXPECT_FALSE(jpg.PrepareImage(path.c_str(), DWORD(callerSide), DWORD(callerSide * 3 / 4)));
    EXPECT_TRUE(Logged(message));
    EXPECT_TRUE(jpg.ByteSize() == 0 && jpg.Pixels() == nullptr);
    EXPECT_FALSE(jpg.IsJPGInfoChanged(&w, &h));
    EXPECT_EQ(jpg.Decode(&size), nullptr);
    EXPECT_EQ(size, 0u);
  }
  // Without failures the same object prepares again.
  EXPECT_TRUE(jpg.PrepareImage(path.c_str(), 64, 48));

  // Failures of the file and of the core end empty too.
  log_.Clear();
  EXPECT_FALSE(jpg.PrepareImage(u"\\SDMMC\\missing.jpg", 10, 10));
  EXPECT_EQ(log_.Text(), "fopen Fail");

  WString text = Put("text.jpg", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
  EXPECT_FALSE(jpg.PrepareImage(text.c_str(), 10, 10));
  EXPECT_TRUE(Logged("[TCCXXX_JPEGDEC_Init2]Not Support!"));
  EXPECT_EQ(jpg.ByteSize(), 0u);

  // A long panorama within the byte limit is not reduced, and its bitmap is made whole.
  WString wide = PutJpeg("wide.jpg", 20000, 8);
  EXPECT_TRUE(jpg.PrepareImage(wide.c_str(), 20000, 8));
  EXPECT_FALSE(log_.Contains("Memory Allocation fail : "));
  EXPECT_EQ(jpg.ByteSize(), 20000u * 8 * 2);
}

}  // namespace
