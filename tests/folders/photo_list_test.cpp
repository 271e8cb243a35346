#include "folders/photo_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/kernel/wide.h"
#include "tests/support/temp_root.h"

namespace {

std::vector<WString> Names(const CPhotoList& list) {
  std::vector<WString> names;
  for (int i = 0; i < list.GetCount(); ++i) names.push_back(list.GetName(i));
  return names;
}

}  // namespace

TEST(PhotoFileName, ExtensionsAreComparedWithoutCase) {
  for (WStringView name : {u"photo.jpeg", u"PHOTO.JFIF", u"a.Jp", u"x.JPG", u"y.png", u"z.Gif", u"b.bmp", u"c.jpe",
                           u"two.dots.jpg", u"IMG_1.HEIC", u"d.heif", u"e.WebP"})
    EXPECT_TRUE(IsPhotoFileName(name)) << ToUtf8(name);
  for (WStringView name : {u"photo.", u"photo", u"photo.tif", u"jpg", u"photo.jpgx", u".", u"a.j", u"a.heics"})
    EXPECT_FALSE(IsPhotoFileName(name)) << ToUtf8(name);
}

TEST(PhotoListFill, ListsFoldersAndPhotosOnly) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/Trips/x.jpg", "");
  root.WriteFile("SDMMC/Trips/notes.txt", "");
  root.WriteFile("SDMMC/Trips/photo.", "");
  root.WriteFile("SDMMC/Trips/pics.jpg/inside.jpg", "");  // a folder with a photo's name
  root.WriteFile("SDMMC/Trips/.a/f", "");                 // dot + one character: not listed
  root.WriteFile("SDMMC/Trips/.abc/f", "");               // dot + three characters: listed

  CPhotoList list;
  list.Fill(u"\\SDMMC\\Trips\\");
  std::vector<WString> names = Names(list);
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0], u"<..>");
  std::vector<WString> folders(names.begin() + 1, names.begin() + 3);
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<WString>{u"<.abc>", u"<pics.jpg>"}));
  EXPECT_EQ(names[3], u"\\SDMMC\\Trips\\x.jpg");

  EXPECT_FALSE(list.IsPhoto(0));
  EXPECT_FALSE(list.NeedsThumb(1));
  EXPECT_TRUE(list.IsPhoto(3));
  EXPECT_TRUE(list.NeedsThumb(3));
  EXPECT_FALSE(list.HasThumb(3));
  list.GetEntry(3)->state = kThumbTried;
  EXPECT_TRUE(list.HasThumb(3));
  EXPECT_EQ(list.GetName(4), u"");
  EXPECT_EQ(list.GetName(-1), u"");
  EXPECT_EQ(list.GetEntry(4), nullptr);
}

TEST(PhotoListFill, UnlistableFoldersGiveAtMostTheParentEntry) {
  TempDeviceRoot root;
  CPhotoList list;
  root.WriteFile("SDMMC/x.jpg", "");
  list.Fill(u"\\SDMMC\\");
  EXPECT_EQ(Names(list), (std::vector<WString>{u"\\SDMMC\\x.jpg"}));
  list.Fill(u"\\SDMMC\\missing\\");
  EXPECT_EQ(Names(list), (std::vector<WString>{u"<..>"}));
  list.Fill(u"\\");
  EXPECT_EQ(list.GetCount(), 0);

  // 123 characters still fit the search buffer with "\*.*"; 124 do not.
  WString fits = u"\\SDMMC\\" + WString(115, u'a') + u"\\";
  ASSERT_EQ(fits.size(), 123u);
  root.WriteFile("SDMMC/" + std::string(115, 'a') + "/p.jpg", "");
  list.Fill(fits);
  EXPECT_EQ(list.GetCount(), 2);
  WString tooLong = u"\\SDMMC\\" + WString(116, u'b') + u"\\";
  root.WriteFile("SDMMC/" + std::string(116, 'b') + "/p.jpg", "");
  list.Fill(tooLong);
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(PhotoListFill, PhotoPathsKeepTheCaseOfTheHostNames) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/Trips/Straße Ålesund.JPG", "");
  CPhotoList list;
  list.Fill(u"\\sdmmc\\trips\\");  // the path as the user moved, the name as stored
  EXPECT_EQ(Names(list), (std::vector<WString>{u"<..>", u"\\sdmmc\\trips\\Straße Ålesund.JPG"}));
}

TEST(PhotoListFill, FoldersReverseTheFileSystemOrderAndPhotosKeepIt) {
  TempDeviceRoot root;
  for (const char* dir : {"A", "B", "C"}) root.WriteFile(std::string("SDMMC/Trips/") + dir + "/keep", "");
  root.WriteFile("SDMMC/Trips/x.jpg", "");
  root.WriteFile("SDMMC/Trips/y.PNG", "");
  // The file system returns: A, x.jpg, B, y.PNG, C.
  const std::vector<std::string> order = {"A", "x.jpg", "B", "y.PNG", "C"};
  SetFindOrderForTests([&](std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) {
      return std::find(order.begin(), order.end(), a) < std::find(order.begin(), order.end(), b);
    });
  });
  CPhotoList list;
  list.Fill(u"\\SDMMC\\Trips\\");
  SetFindOrderForTests(nullptr);
  EXPECT_EQ(Names(list), (std::vector<WString>{u"<..>", u"<C>", u"<B>", u"<A>", u"\\SDMMC\\Trips\\x.jpg",
                                               u"\\SDMMC\\Trips\\y.PNG"}));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(list.GetEntry(i)->state, kThumbNone);

  // At the top there is no parent entry, so folders go in from index 0.
  root.WriteFile("SDMMC/z.jpg", "");
  root.WriteFile("SDMMC/Other/keep", "");
  root.ListInNameOrder();
  list.Fill(u"\\SDMMC\\");
  EXPECT_EQ(Names(list), (std::vector<WString>{u"<Trips>", u"<Other>", u"\\SDMMC\\z.jpg"}));
}

namespace {

// A thumbnail that counts the references given back to it.
struct CountingImage : IImage {
  std::atomic<int> releases = 0;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return static_cast<ULONG>(++releases); }
  HRESULT GetPhysicalDimension(SIZE*) override { return E_NOTIMPL; }
  HRESULT GetImageInfo(ImageInfo*) override { return E_NOTIMPL; }
  HRESULT SetImageFlags(UINT) override { return E_NOTIMPL; }
  HRESULT Draw(HDC, const RECT*, const RECT*) override { return E_NOTIMPL; }
  HRESULT PushIntoSink(IImageSink*) override { return E_NOTIMPL; }
  HRESULT GetThumbnail(UINT, UINT, IImage**) override { return E_NOTIMPL; }
};

}  // namespace

TEST(PhotoListHold, ARefillWaitsForReadersAndOnlyThenReleasesTheOldThumbnails) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/a.jpg", "");
  root.WriteFile("SDMMC/Other/b.jpg", "");
  CPhotoList list;
  list.Fill(u"\\SDMMC\\");
  ASSERT_EQ(list.GetName(1), u"\\SDMMC\\a.jpg");
  CountingImage image;
  list.GetEntry(1)->thumb = &image;

  std::atomic<bool> started = false, filled = false;
  std::thread refill;
  {
    CPhotoList::Hold paint(list);
    refill = std::thread([&] {
      started = true;
      list.Fill(u"\\SDMMC\\Other\\");
      filled = true;
    });
    while (!started) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // time for the refill to reach the swap
    // Whatever the refill has done meanwhile, the reader still sees the old listing whole.
    EXPECT_FALSE(filled);
    EXPECT_EQ(list.GetName(1), u"\\SDMMC\\a.jpg");
    EXPECT_EQ(list.GetEntry(1)->thumb, &image);
    EXPECT_EQ(image.releases, 0);
  }
  refill.join();
  EXPECT_EQ(image.releases, 1);
  EXPECT_EQ(list.GetName(1), u"\\SDMMC\\Other\\b.jpg");
}
