// The three ways to a thumbnail, through the photo list's LoadThumb and MakeThumb as the
// thumbnail thread calls them, and what each way leaves on the NAND.
#include "thumbs/thumb_maker.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "folders/photo_list.h"
#include "platform/kernel/debug.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/temp_root.h"
#include "thumbs/thumb_index.h"

namespace {

// A photo of 320 x 240 with or without a thumbnail of its own inside.
Bytes Photo(bool innerThumb) {
  return MakeJpeg(Pattern(320, 240), 90, innerThumb ? ExifBlock(0, MakeJpeg(Pattern(80, 60))) : Bytes());
}

UINT ThumbWidth(IImage* image) {
  ImageInfo info;
  image->GetImageInfo(&info);
  return info.Width;
}

class ThumbWays : public ::testing::Test {
 protected:
  void SetUp() override { TheThumbIndex() = CThumbIndex(); }
  void TearDown() override { TheThumbIndex() = CThumbIndex(); }

  // Lists the folder and runs the thread's two calls for entry i.
  void Visit(int i) {
    m_List.Fill(u"\\SDMMC\\");
    m_List.LoadThumb(i);
    m_Loaded = m_List.GetEntry(i)->thumb != nullptr;
    m_List.MakeThumb(i);
  }
  std::filesystem::path Stored(int n) const { return m_Root.Path() / "NAND" / "_Thumbnails" / std::to_string(n); }
  const std::vector<WString>& Index() const { return TheThumbIndex().Entries(); }

  TempDeviceRoot m_Root;
  CPhotoList m_List;
  bool m_Loaded = false;
};

TEST_F(ThumbWays, AnInnerThumbnailIsShownAMadeOneIsStoredOnceAndFoundAgainAndABadPhotoSaysWhy) {
  m_Root.WriteFile("SDMMC/a.png", MakePng(Pattern(90, 30), PngKind::Rgb));
  m_Root.WriteFile("SDMMC/b.jpg", Photo(false));
  m_Root.WriteFile("SDMMC/camera.jpg", Photo(true));
  m_Root.ListInNameOrder();
  DebugCapture log;

  // The photo's own thumbnail is loaded; nothing is made or written.
  Visit(2);
  EXPECT_TRUE(m_Loaded);
  ASSERT_NE(m_List.GetEntry(2)->thumb, nullptr);
  EXPECT_EQ(m_List.GetEntry(2)->state, kThumbTried);
  EXPECT_EQ(ThumbWidth(m_List.GetEntry(2)->thumb), 50u);
  EXPECT_FALSE(m_Root.Exists("NAND/_Thumbnails"));

  // First visit: loading finds nothing, making stores the picture under the next position.
  Visit(1);
  EXPECT_FALSE(m_Loaded);
  ASSERT_NE(m_List.GetEntry(1)->thumb, nullptr);
  EXPECT_EQ(m_List.GetEntry(1)->state, kThumbTried);
  EXPECT_EQ(Index(), (std::vector<WString>{u"\\SDMMC\\b.jpg"}));
  // Zone 1 (no inner thumbnail, the opening of the photo) is not printed.
  EXPECT_FALSE(log.Contains("GetThumbnail failed"));
  EXPECT_FALSE(log.Contains("Opening"));

  // Second visit: the stored file is loaded; nothing is made or written.
  auto written = std::filesystem::last_write_time(Stored(0));
  Visit(1);
  EXPECT_TRUE(m_Loaded);
  EXPECT_EQ(ThumbWidth(m_List.GetEntry(1)->thumb), 50u);
  EXPECT_EQ(Index().size(), 1u);
  EXPECT_EQ(std::filesystem::last_write_time(Stored(0)), written);

  // Another photo takes the next number.
  Visit(0);
  EXPECT_EQ(Index(), (std::vector<WString>{u"\\SDMMC\\b.jpg", u"\\SDMMC\\a.png"}));
  EXPECT_TRUE(std::filesystem::exists(Stored(1)));

  // A corrupt photo ends without a thumbnail, says why and stores nothing.
  m_Root.WriteFile("SDMMC/d.jpg", "this is not a picture at all");
  log.Clear();
  Visit(3);
  EXPECT_EQ(m_List.GetEntry(3)->thumb, nullptr);
  EXPECT_EQ(m_List.GetEntry(3)->state, kThumbNone);
  EXPECT_TRUE(log.Contains("CreateImageDecoder failed, hr: 0x80040201"));
  EXPECT_TRUE(log.Contains("CreateImageFromFile failed, hr: 0x80040201"));
  EXPECT_EQ(Index().size(), 2u);

  // A photo that went away between listing and loading: the stream loading says so.
  m_Root.WriteFile("SDMMC/e.jpg", Photo(false));
  m_List.Fill(u"\\SDMMC\\");
  std::filesystem::remove(m_Root.Path() / "SDMMC" / "e.jpg");
  ASSERT_EQ(m_List.GetName(4), u"\\SDMMC\\e.jpg");
  log.Clear();
  m_List.LoadThumb(4);
  EXPECT_EQ(log.Text(), "CreateFile failed with GLE = 2CreateStreamOnFile failed, hr: 0x80000002");
  EXPECT_EQ(m_List.GetEntry(4)->state, kThumbTried);
}

// The BMP encoder is found by its exact MIME type; folder entries are never looked up as files
// (files of their names would give thumbnails); without a factory every way fails quietly
// after one message.
TEST(ThumbFactory, TheEncoderByItsExactTypeNoFolderAsAFileAndWithoutAFactoryOneMessage) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/a.jpg", Photo(true));
  CLSID clsid{};
  {
    CPhotoList list;
    EXPECT_TRUE(list.GetCodecCLSID(&clsid, u"image/bmp"));
    EXPECT_EQ(clsid, CLSID_BmpEncoder);
    EXPECT_FALSE(list.GetCodecCLSID(&clsid, u"image/BMP"));
    EXPECT_FALSE(list.GetCodecCLSID(&clsid, u"image/jpeg"));
    root.WriteFile("<..>", Photo(true));
    root.WriteFile("<Trips>", Photo(false));
    DebugCapture log;
    EXPECT_EQ(GetThumbWithoutDecoding(list.ThumbFactory(), u"<..>"), nullptr);
    EXPECT_EQ(GetThumbWithoutDecoding(list.ThumbFactory(), u"<Trips>"), nullptr);
    EXPECT_EQ(MakeThumbFromWholePhoto(list.ThumbFactory(), u"<Trips>"), nullptr);
    EXPECT_EQ(log.Text(), "");
  }
  SetCoCreateInstanceFailureForTests(E_FAIL);
  DebugCapture log;
  CPhotoList list;
  SetCoCreateInstanceFailureForTests(S_OK);
  EXPECT_EQ(log.Text(), "CoCreateInstance failed, hr: 0x80004005");
  list.Fill(u"\\SDMMC\\");
  list.LoadThumb(0);
  list.MakeThumb(0);
  EXPECT_EQ(list.GetEntry(0)->thumb, nullptr);
  EXPECT_EQ(list.GetEntry(0)->state, kThumbNone);
  EXPECT_FALSE(list.GetCodecCLSID(&clsid, u"image/bmp"));
}

}  // namespace
