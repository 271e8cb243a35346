#include "decode/image_decoder.h"

#include "platform/device/framebuffer.h"
#include "tests/decode/decode_support.h"

namespace {

using PhotoDecoder = DecodeTest;
using Size = std::pair<UINT, UINT>;
Size SizeOf(const CImageDecoder& decoder) { return {decoder.m_ImageInfo.Width, decoder.m_ImageInfo.Height}; }

TEST_F(PhotoDecoder, OnlyTheTwoJpegSpellingsAnywhereInThePathGoToThePipeline) {
  CImageDecoder decoder;
  for (const WCHAR* path : {u"\\SDMMC\\photo\\a.JPG", u"\\SDMMC\\holiday.jpg\\b.bmp", u"\\SDMMC\\a.jpg"})
    EXPECT_TRUE(decoder.CheckJPGCodec(path));
  for (const WCHAR* path : {u"\\SDMMC\\photo\\a.Jpg", u"\\SDMMC\\photo\\a.jpeg", u"\\SDMMC\\photo\\a.gif",
                            u"\\SDMMC\\photo\\a.JPE", u"\\SDMMC\\photo\\a.jPG"})
    EXPECT_FALSE(decoder.CheckJPGCodec(path));
  // Other files open through the imaging service (the oriented photos' tests follow ".jpeg"
  // files there): a GIF with its frame count, and its first frame is decoded.
  WString gif = Put("anim.gif", MakeGif(4, 4, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}));
  EXPECT_EQ(decoder.Open(gif.c_str(), 0, 0), 3u);
  EXPECT_FALSE(decoder.IsJpgPath());
  ASSERT_NE(decoder.Decode(0), 0u);
  EXPECT_EQ(Pixels(decoder.BitmapImage()).at(2, 2), (Rgb{255, 0, 0}));
}

// The pipeline reduces a large photo; both sides differing from the caller's size make it
// prepare again, and only then is the header's size reported.
TEST_F(PhotoDecoder, JpegPathKeepsTheCallersSizeUnlessTheHeaderCorrectsIt) {
  CImageDecoder decoder;
  WString path = PutJpeg("big.JPG", 2592, 1944);
  const std::vector<std::string> prepared = {"Call CheckJPGCodec : It's JPG",
                                             "1. JPG SW PrepareImage->Width :2592, Height:1944",
                                             "\tJPG SW Scaling->Width :1450, Height:1088",
                                             "2. JPG SW Init2 Start->Width :1450, Height:1088"};
  EXPECT_EQ(decoder.Open(path.c_str(), 2592, 1944), 1u);
  EXPECT_EQ(log_.Lines(), prepared);
  EXPECT_EQ(decoder.m_ImageInfo.Width, 2592u);
  EXPECT_EQ(decoder.JpgSw()->Width(), 1450u);
  decoder.Close();

  log_.Clear();
  EXPECT_EQ(decoder.Open(path.c_str(), 2048, 1536), 1u);
  std::vector<std::string> again = prepared;
  again[1] = "1. JPG SW PrepareImage->Width :2048, Height:1536";
  again.insert(again.end(), {"Again PrepareImage because of incorrect MInfo info", "[RE]JPG SW Scaling->Width :1450, Height:1088",
                             "[RE]JPG SW Init2 Start->Width :1450, Height:1088", "[RE]:IsJPGInfoChanged (1450,1088)"});
  EXPECT_EQ(log_.Lines(), again);
  EXPECT_EQ(SizeOf(decoder), Size(1450, 1088));
  EXPECT_EQ(decoder.Decode(0), 1u);
  EXPECT_TRUE(decoder.Rotate(90));
  EXPECT_EQ(decoder.JpgSw()->Width(), 1088u);

  decoder.Close();
  EXPECT_FALSE(decoder.IsDecoded());
  EXPECT_TRUE(decoder.IsJpgPath());  // kept until the next Open
  EXPECT_EQ(decoder.JpgSw()->ByteSize(), 0u);
  *GetFrameBaseRegister() = 0x12345678;
  HDC screen = CreateScreenDC();
  RECT r{0, 0, 800, 480};
  EXPECT_EQ(decoder.Draw(screen, &r), 1);
  DeleteDC(screen);
  EXPECT_EQ(*GetFrameBaseRegister(), 0x12345678u);  // nothing drawn, no freeze
  *GetFrameBaseRegister() = kVisibleFramePhysical;
}

// The imaging path: a 6 x 4 PNG, exact pixels, turned by absolute angles.
TEST_F(PhotoDecoder, ImagingPathTurnsFromTheUnturnedBitmap) {
  const Picture picture = Pattern(6, 4);
  WString path = Put("p.png", MakePng(picture, PngKind::Rgb));
  CImageDecoder decoder;
  RECT box{0, 0, 6, 4};
  Canvas before(6, 4);
  EXPECT_EQ(decoder.Draw(before.dc, &box), 1);  // nothing to draw yet
  EXPECT_FALSE(decoder.Rotate(90));

  ASSERT_EQ(decoder.Open(path.c_str(), 0, 0), 1u);
  EXPECT_EQ(SizeOf(decoder), Size(6, 4));
  std::uintptr_t image = decoder.Decode(0);
  ASSERT_NE(image, 0u);
  EXPECT_EQ(image, reinterpret_cast<std::uintptr_t>(decoder.Image()));
  Canvas straight(6, 4);
  decoder.Draw(straight.dc, &box);
  const Pixels565 original = Shown(straight);
  EXPECT_EQ(original.at(5, 0), ToRgb565(RGB(picture.at(5, 0).r, picture.at(5, 0).g, picture.at(5, 0).b)));

  // Absolute angles: each turn starts from the unturned bitmap.
  for (auto [angle, expected] : {std::pair{90.0f, QuarterTurn(original, true)}, {90.0f, QuarterTurn(original, true)},
                                 {270.0f, QuarterTurn(original, false)}, {0.0f, original}}) {
    ASSERT_TRUE(decoder.Rotate(angle));
    Canvas turned(expected.width, expected.height);
    RECT r{0, 0, expected.width, expected.height};
    decoder.Draw(turned.dc, &r);
    EXPECT_EQ(Shown(turned), expected) << angle;
  }

  // A turn the bitmap refuses leaves nothing to draw until the next Decode.
  log_.Clear();
  EXPECT_FALSE(decoder.Rotate(45));
  EXPECT_TRUE(log_.Contains("Rotate failed from m_pBasicBitmapOps , hr: 0x80070057"));
  EXPECT_FALSE(decoder.IsDecoded());
  EXPECT_NE(decoder.Decode(0), 0u);
}

// Failed JPEGs leave nothing open; the imaging path's failures keep their states.
TEST_F(PhotoDecoder, FailuresLeaveNothingOpenOrKeepTheirStates) {
  CImageDecoder decoder;
  EXPECT_EQ(decoder.Open(u"\\SDMMC\\none.jpg", 640, 480), 0u);
  EXPECT_FALSE(decoder.IsJpgPath());
  EXPECT_EQ(SizeOf(decoder), Size(0, 0));

  Bytes full = MakeJpeg(Pattern(64, 48), 90, {}, false, true);
  WString cut = Put("cut.jpg", Bytes(full.begin(), full.begin() + long(full.size() / 2)));
  EXPECT_EQ(decoder.Open(cut.c_str(), 64, 48), 1u);
  EXPECT_EQ(decoder.Decode(0), 0u);
  EXPECT_TRUE(Logged("4. JPG SW Decoding End.(-1)"));  // cut in its scans: fails in the decode step
  EXPECT_FALSE(decoder.IsJpgPath());
  EXPECT_EQ(decoder.m_ImageInfo.Width, 0u);
  EXPECT_EQ(decoder.JpgSw()->ByteSize(), 0u);
  EXPECT_TRUE(decoder.JpgSw()->Rotate(90));  // nothing to turn
  EXPECT_EQ(decoder.JpgSw()->Angle(), 0.0f);
  EXPECT_FALSE(decoder.Rotate(90));  // now on the imaging path, with no picture
  EXPECT_TRUE(Logged("RoateImage InitValue failed. "));

  log_.Clear();
  EXPECT_EQ(decoder.Open(u"\\SDMMC\\none.png", 0, 0), 0u);
  // The wide messages carry no line ends of their own, except the stream's.
  EXPECT_EQ(log_.Text(), "CreateFile failed with GLE = 2CreateStreamOnFile failed, hr: 0x80000002\r\n");

  WString text = Put("text.bmp", Bytes(100, 'x'));
  log_.Clear();
  EXPECT_EQ(decoder.Open(text.c_str(), 0, 0), 0u);
  EXPECT_TRUE(log_.Contains("CreateImageDecoder failed, hr: 0x80040201"));
  EXPECT_EQ(decoder.Decode(0), 0u);

  // A damaged PNG opens (its header is whole) but does not decode; it stays opened.
  Bytes png = MakePng(Pattern(40, 40), PngKind::Rgb);
  WString damaged = Put("damaged.png", Bytes(png.begin(), png.begin() + long(png.size() / 2)));
  ASSERT_EQ(decoder.Open(damaged.c_str(), 0, 0), 1u);
  for (int time = 0; time < 2; ++time) {  // the decoder is still there and fails again the same way
    log_.Clear();
    EXPECT_EQ(decoder.Decode(0), 0u);
    EXPECT_TRUE(log_.Contains("Decoding failed, hr = 0x"));
  }

  // A header claiming more pixels than a bitmap may hold fails when the bitmap is made.
  Bytes big = MakeGif(4, 4, {{1, 2, 3}});
  big[6] = 0x20, big[7] = 0x4E, big[8] = 0x20, big[9] = 0x4E;  // a screen of 20000 x 20000
  WString huge = Put("huge.gif", big);
  ASSERT_EQ(decoder.Open(huge.c_str(), 0, 0), 1u);
  EXPECT_EQ(decoder.m_ImageInfo.Width, 20000u);
  log_.Clear();
  EXPECT_EQ(decoder.Decode(0), 0u);
  EXPECT_TRUE(log_.Contains("CreateNewBitmap failed, hr = 0x80040203"));
}

TEST_F(PhotoDecoder, WithoutAFactoryJpegPhotosStillWork) {
  for (auto [hr, name] : {std::pair<HRESULT, const char*>{REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
                          {CLASS_E_NOAGGREGATION, "CLASS_E_NOAGGREGATION"}, {E_OUTOFMEMORY, "unknown hr"}}) {
    SetCoCreateInstanceFailureForTests(hr);
    log_.Clear();
    CImageDecoder decoder;
    SetCoCreateInstanceFailureForTests(S_OK);
    char expected[80];
    std::snprintf(expected, sizeof expected, "CoCreateInstance failed, hr: 0x%08x (%s)", unsigned(hr), name);
    EXPECT_EQ(log_.Text(), expected);
    EXPECT_EQ(decoder.Factory(), nullptr);

    WString gif = Put("a.gif", MakeGif(4, 4, {{255, 0, 0}}));
    log_.Clear();
    EXPECT_EQ(decoder.Open(gif.c_str(), 4, 4), 0u);
    EXPECT_EQ(log_.Text(), "CreateImageDecoder failed, hr: 0x00000000");
    EXPECT_EQ(decoder.Decode(0), 0u);

    WString jpg = PutJpeg("a.jpg", 32, 16);
    EXPECT_EQ(decoder.Open(jpg.c_str(), 32, 16), 1u);
    EXPECT_EQ(decoder.Decode(0), 1u);
    EXPECT_TRUE(decoder.Rotate(180));
  }
}

TEST_F(PhotoDecoder, ACancelledDecodeFailsAndTheNextOneRuns) {
  CImageDecoder decoder;
  std::atomic<DWORD> cancel = 0;
  decoder.SetCancelFlag(&cancel);
  const WString jpeg = PutJpeg("a.jpg", 640, 480);
  const WString png = Put("b.png", MakePng(Pattern(640, 480), PngKind::Rgb));
  for (const DWORD cancelled : {1u, 0u}) {
    cancel = cancelled;
    for (const WString& path : {jpeg, png}) {
      decoder.Close();
      ASSERT_NE(decoder.Open(path.c_str(), 640, 480), 0u);
      EXPECT_EQ(decoder.Decode(0) != 0, !cancelled) << cancelled;
    }
    EXPECT_EQ(Logged("4. JPG SW Decoding End.(-1)"), cancelled != 0);
    log_.Clear();
  }
  decoder.SetCancelFlag(nullptr);
}

}  // namespace
