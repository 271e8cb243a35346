#include "thumbs/thumb_index.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/kernel/debug.h"
#include "tests/support/temp_root.h"

namespace {

// UTF-16LE bytes of text, as the index file holds them.
std::string Utf16Le(WStringView text) {
  std::string bytes;
  for (WCHAR unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

const char* kMap = "NAND/_Thumbnails/map.txt";
const char* kStamps = "NAND/_Thumbnails/stamps.txt";

}  // namespace

TEST(ThumbIndexFile, LoadKeepsEachCarriageReturnLineAndSaveWritesThemBackByteForByte) {
  TempDeviceRoot root;
  struct Case {
    std::string bytes;
    std::vector<WString> entries;
  };
  const Case cases[] = {
      {Utf16Le(u"\\SDMMC\\a.jpg\r\n\r\n\\SDMMC\\b.jpg\r\n"), {u"\\SDMMC\\a.jpg", u"", u"\\SDMMC\\b.jpg"}},
      {Utf16Le(u"a\r\nb"), {u"a"}},            // the last line needs its carriage return
      {Utf16Le(u"no line end"), {}},           // without any there are no entries
      {Utf16Le(u"a\rXb\r\n"), {u"a", u"b"}},   // the unit after a carriage return is skipped
      {Utf16Le(u"a\r"), {u"a"}},               // a carriage return as the very last unit
      {Utf16Le(WString(u"a\r\n\0b\r\n", 7)), {u"a"}},  // a zero unit ends the content
      {Utf16Le(u"a\r\n") + "z", {u"a"}},       // an odd last byte is ignored
      {Utf16Le(u"\\SDMMC\\Ålesund 写真.jpg\r\n"), {u"\\SDMMC\\Ålesund 写真.jpg"}},
  };
  for (const Case& c : cases) {
    root.WriteFile(kMap, c.bytes);
    CThumbIndex index;
    EXPECT_TRUE(index.Load());
    EXPECT_EQ(index.Entries(), c.entries) << c.bytes;
  }

  // Missing or empty: false, and the list stays as it was.
  std::filesystem::remove_all(root.Path() / "NAND" / "_Thumbnails");
  CThumbIndex index;
  index.Add(u"kept");
  EXPECT_FALSE(index.Load());
  root.WriteFile(kMap, "");
  EXPECT_FALSE(index.Load());
  EXPECT_EQ(index.Entries(), std::vector<WString>{u"kept"});

  // Saving makes the folder; an empty list is an empty file.
  std::filesystem::remove_all(root.Path() / "NAND" / "_Thumbnails");
  EXPECT_TRUE(CThumbIndex().Save());
  EXPECT_TRUE(root.Exists(kMap));
  EXPECT_EQ(root.ReadFile(kMap), "");
  index.Add(u"\\SDMMC\\Straße.jpg");
  EXPECT_TRUE(index.Save());
  EXPECT_EQ(root.ReadFile(kMap), Utf16Le(u"kept\r\n\\SDMMC\\Straße.jpg\r\n"));
}

TEST(ThumbIndexFile, AFailedSaveSaysSoAndLeavesMapTxtAsItWas) {
  TempDeviceRoot root;
  CThumbIndex index;
  index.Add(u"a");
  for (const char* blocked : {kStamps, kMap}) {  // a folder where the file should be
    SCOPED_TRACE(blocked);
    std::filesystem::remove_all(root.Path() / "NAND" / "_Thumbnails");
    root.WriteFile(kMap, Utf16Le(u"old\r\n"));
    root.WriteFile(kStamps, "\r\n");
    std::filesystem::remove(root.Path() / blocked);
    root.WriteFile(std::string(blocked) + "/blocker", "");
    DebugCapture log;
    EXPECT_FALSE(index.Save());
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].rfind("Error code ", 0), 0u);
    if (blocked == kStamps) {
      EXPECT_EQ(root.ReadFile(kMap), Utf16Le(u"old\r\n"));  // written only after them
    }
  }
}

TEST(ThumbIndexLookup, AddIsExactAndLostOrEmptyFilesLoseTheirPosition) {
  TempDeviceRoot root;
  CThumbIndex index;
  for (int i = 0; i < 6; ++i) index.Add(u"\\SDMMC\\p" + WString(1, static_cast<WCHAR>(u'0' + i)) + u".jpg");
  index.Add(u"\\SDMMC\\p5.jpg");  // already there
  index.Add(u"\\SDMMC\\P5.JPG");  // differs in case: a new entry
  ASSERT_EQ(index.Entries().size(), 7u);

  WString thumb = u"untouched";
  EXPECT_FALSE(index.Lookup(u"\\SDMMC\\none.jpg", thumb, true));
  EXPECT_EQ(thumb, u"untouched");
  EXPECT_TRUE(index.Lookup(u"\\SDMMC\\p5.jpg", thumb, true));
  EXPECT_EQ(thumb, u"nand\\_Thumbnails\\5");

  // File 5 is not there: the entry is emptied, and the photo comes back at the end.
  EXPECT_FALSE(index.Lookup(u"\\SDMMC\\p5.jpg", thumb, false));
  EXPECT_EQ(thumb, u"nand\\_Thumbnails\\5");
  EXPECT_EQ(index.Entries()[5], u"");
  index.Add(u"\\SDMMC\\p5.jpg");
  EXPECT_TRUE(index.Lookup(u"\\SDMMC\\p5.jpg", thumb, true));
  EXPECT_EQ(thumb, u"nand\\_Thumbnails\\7");
  // An empty file is no thumbnail either.
  root.WriteFile("SDMMC/p4.jpg", "photo");
  root.WriteFile("NAND/_Thumbnails/4", "");
  EXPECT_FALSE(index.Lookup(u"\\SDMMC\\p4.jpg", thumb, false));
  EXPECT_EQ(index.Entries()[4], u"");

  EXPECT_TRUE(index.Save());
  std::string saved = root.ReadFile(kMap);
  EXPECT_NE(saved.find(Utf16Le(u"p3.jpg\r\n\r\n\r\n\\SDMMC\\P5.JPG\r\n\\SDMMC\\p5.jpg\r\n")), std::string::npos);
}
