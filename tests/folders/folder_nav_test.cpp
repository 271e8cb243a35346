#include "folders/folder_nav.h"

#include <gtest/gtest.h>

#include "tests/support/temp_root.h"

TEST(EnterFolder, MovesDownAndUpKeepingTheTrailingBackslash) {
  WString path(kCardFolder);
  EnterFolder(path, u"<b>");
  EXPECT_EQ(path, u"\\SDMMC\\b\\");
  EnterFolder(path, u"<Spring 2026>");
  EXPECT_EQ(path, u"\\SDMMC\\b\\Spring 2026\\");
  EnterFolder(path, u"<..>");
  EXPECT_EQ(path, u"\\SDMMC\\b\\");
  EnterFolder(path, u"<..>");
  EXPECT_EQ(path, u"\\SDMMC\\");
  // Photos and odd names leave the path alone.
  EnterFolder(path, u"\\SDMMC\\x.jpg");
  EnterFolder(path, u"");
  EXPECT_EQ(path, u"\\SDMMC\\");
}

TEST(FolderTitle, IsTheLastFolderNameOrABackslashAtTheTop) {
  EXPECT_EQ(FolderTitle(u"\\SDMMC\\Trips\\"), u"Trips");
  EXPECT_EQ(FolderTitle(u"\\SDMMC\\Trips\\Spring\\"), u"Spring");
  EXPECT_EQ(FolderTitle(u"\\SDMMC\\"), u"\\");
  EXPECT_EQ(FolderTitle(u"\\"), u"\\");
  // Too long to search: the title is empty.
  EXPECT_EQ(FolderTitle(u"\\SDMMC\\" + WString(260, u'a') + u"\\"), u"");
}

TEST(FindPhotoRange, SpansFromTheFirstPhotoToTheEnd) {
  TempDeviceRoot root;
  CPhotoList list;
  int first = -7, last = -7;
  EXPECT_FALSE(FindPhotoRange(list, first, last));
  EXPECT_EQ(last, -1);

  root.WriteFile("SDMMC/a/sub/keep", "");
  list.Fill(u"\\SDMMC\\a\\");
  EXPECT_FALSE(FindPhotoRange(list, first, last));  // only "<..>" and "<sub>"
  EXPECT_EQ(last, 1);

  root.WriteFile("SDMMC/a/x.jpg", "");
  root.WriteFile("SDMMC/a/y.png", "");
  list.Fill(u"\\SDMMC\\a\\");
  ASSERT_TRUE(FindPhotoRange(list, first, last));
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 3);
}
