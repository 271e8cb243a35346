#include "folders/photo_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "folders/folder_nav.h"
#include "platform/kernel/wide.h"
#include "tests/support/stub_image.h"
#include "tests/support/temp_root.h"

namespace {

std::vector<WString> Names(const CPhotoList& list) {
  std::vector<WString> names;
  for (int i = 0; i < list.GetCount(); ++i) names.push_back(list.GetName(i));
  return names;
}

TEST(PhotoFileName, ExtensionsAreComparedWithoutCase) {
  for (WStringView name : {u"photo.jpeg", u"PHOTO.JFIF", u"a.Jp", u"x.JPG", u"y.png", u"z.Gif", u"b.bmp", u"c.jpe",
                           u"two.dots.jpg", u"IMG_1.HEIC", u"d.heif", u"e.WebP"})
    EXPECT_TRUE(IsPhotoFileName(name)) << ToUtf8(name);
  for (WStringView name : {u"photo.", u"photo", u"photo.tif", u"jpg", u"photo.jpgx", u".", u"a.j", u"a.heics"})
    EXPECT_FALSE(IsPhotoFileName(name)) << ToUtf8(name);
}

// A folder with a photo's name is a folder; of the folders with a leading dot, one of a
// single character more is not listed, one of three is.
TEST(PhotoListFill, ListsFoldersAndPhotosOnlyAndUnlistableFoldersGiveAtMostTheParentEntry) {
  TempDeviceRoot root;
  root.ListInNameOrder();
  for (const char* name : {"x.jpg", "notes.txt", "photo.", "pics.jpg/inside.jpg", ".a/f", ".abc/f"})
    root.WriteFile(std::string("SDMMC/Trips/") + name, "");
  CPhotoList list;
  list.Fill(u"\\SDMMC\\Trips\\");
  EXPECT_EQ(Names(list), (std::vector<WString>{u"<..>", u"<pics.jpg>", u"<.abc>", u"\\SDMMC\\Trips\\x.jpg"}));
  EXPECT_TRUE(!list.IsPhoto(0) && !list.NeedsThumb(1));
  EXPECT_TRUE(list.IsPhoto(3) && list.NeedsThumb(3) && !list.HasThumb(3));
  list.GetEntry(3)->state = kThumbTried;
  EXPECT_TRUE(list.HasThumb(3));
  EXPECT_TRUE(list.GetName(4).empty() && list.GetName(-1).empty() && list.GetEntry(4) == nullptr);

  // Folders that cannot be listed give at most the parent entry.
  list.Fill(u"\\SDMMC\\missing\\");
  EXPECT_EQ(Names(list), (std::vector<WString>{u"<..>"}));
  int first = -7, last = -7;  // the photos span from the first to the end of the list
  EXPECT_FALSE(FindPhotoRange(list, first, last));
  EXPECT_EQ(last, 0);
  list.Fill(u"\\");
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_FALSE(FindPhotoRange(list, first, last));
  EXPECT_EQ(last, -1);

  // 123 characters still fit the search buffer with "\*.*"; 124 do not.
  for (size_t length : {115, 116}) {
    root.WriteFile("SDMMC/" + std::string(length, 'a') + "/p.jpg", "");
    list.Fill(u"\\SDMMC\\" + WString(length, u'a') + u"\\");
    EXPECT_EQ(list.GetCount(), length == 115 ? 2 : 0) << length;
  }

  // A photo's path is the path as the user moved, with the name as stored.
  root.WriteFile("SDMMC/Nord/Straße Ålesund.JPG", "");
  list.Fill(u"\\sdmmc\\nord\\");
  EXPECT_EQ(Names(list), (std::vector<WString>{u"<..>", u"\\sdmmc\\nord\\Straße Ålesund.JPG"}));
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
  int first = -1, last = -1;
  EXPECT_TRUE(FindPhotoRange(list, first, last));
  EXPECT_EQ(std::pair(first, last), std::pair(4, 5));

  // At the top there is no parent entry, so folders go in from index 0.
  root.WriteFile("SDMMC/z.jpg", "");
  root.WriteFile("SDMMC/Other/keep", "");
  root.ListInNameOrder();
  list.Fill(u"\\SDMMC\\");
  EXPECT_EQ(Names(list), (std::vector<WString>{u"<Trips>", u"<Other>", u"\\SDMMC\\z.jpg"}));
}

// A thumbnail that counts the references given back to it.
struct CountingImage : StubImage {
  std::atomic<int> releases = 0;
  ULONG Release() override { return static_cast<ULONG>(++releases); }
};

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

// Moving keeps the trailing backslash; photos and odd names leave the path alone. The title
// is the last folder's name, a backslash at the top, empty for a path too long to search.
TEST(FolderNav, EnterFolderMovesDownAndUpAndTheTitleIsTheLastName) {
  const struct {
    const char16_t *entry, *path, *title;
  } steps[] = {{u"<b>", u"\\SDMMC\\b\\", u"b"},
               {u"<Spring 2026>", u"\\SDMMC\\b\\Spring 2026\\", u"Spring 2026"},
               {u"<..>", u"\\SDMMC\\b\\", u"b"},
               {u"<..>", u"\\SDMMC\\", u"\\"},
               {u"\\SDMMC\\x.jpg", u"\\SDMMC\\", u"\\"},
               {u"", u"\\SDMMC\\", u"\\"}};
  WString path(kCardFolder);
  for (const auto& step : steps) {
    EnterFolder(path, step.entry);
    EXPECT_EQ(path, step.path) << ToUtf8(step.entry);
    EXPECT_EQ(FolderTitle(path), step.title) << ToUtf8(path);
  }
  EXPECT_EQ(FolderTitle(u"\\"), u"\\");
  EXPECT_EQ(FolderTitle(u"\\SDMMC\\" + WString(260, u'a') + u"\\"), u"");
}

}  // namespace
