#include "thumbs/thumb_index.h"

#include <gtest/gtest.h>

#include "platform/kernel/debug.h"
#include "tests/support/temp_root.h"

namespace {

// UTF-16LE bytes of text, as the index file holds them.
std::string Utf16Le(WStringView text) {
  std::string bytes;
  for (WCHAR unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

const char* kMap = "NAND/_Thumbnails/map.txt";

std::vector<WString> Loaded(const TempDeviceRoot& root, const std::string& bytes, bool* ok = nullptr) {
  root.WriteFile(kMap, bytes);
  CThumbIndex index;
  bool loaded = index.Load();
  if (ok) *ok = loaded;
  return index.Entries();
}

}  // namespace

TEST(ThumbIndexLoad, OneEntryPerCarriageReturnLine) {
  TempDeviceRoot root;
  root.WriteFile(kMap, Utf16Le(u"\\SDMMC\\a.jpg\r\n\r\n\\SDMMC\\b.jpg\r\n"));
  CThumbIndex index;
  ASSERT_TRUE(index.Load());
  EXPECT_EQ(index.Entries(), (std::vector<WString>{u"\\SDMMC\\a.jpg", u"", u"\\SDMMC\\b.jpg"}));

  root.WriteFile("NAND/_Thumbnails/2", "BM");
  WString thumb;
  EXPECT_TRUE(index.Lookup(u"\\SDMMC\\b.jpg", thumb, false));
  EXPECT_EQ(thumb, u"nand\\_Thumbnails\\2");
}

TEST(ThumbIndexLoad, ParsingRules) {
  TempDeviceRoot root;
  // The last line needs its carriage return; without any there are no entries.
  EXPECT_EQ(Loaded(root, Utf16Le(u"a\r\nb")), (std::vector<WString>{u"a"}));
  bool ok = false;
  EXPECT_TRUE(Loaded(root, Utf16Le(u"no line end"), &ok).empty());
  EXPECT_TRUE(ok);
  // The unit after a carriage return is skipped whatever it is.
  EXPECT_EQ(Loaded(root, Utf16Le(u"a\rXb\r\n")), (std::vector<WString>{u"a", u"b"}));
  // A carriage return as the very last unit still ends its entry.
  EXPECT_EQ(Loaded(root, Utf16Le(u"a\r")), (std::vector<WString>{u"a"}));
  // A zero unit ends the content; an odd last byte is ignored.
  EXPECT_EQ(Loaded(root, Utf16Le(WString(u"a\r\n\0b\r\n", 7))), (std::vector<WString>{u"a"}));
  EXPECT_EQ(Loaded(root, Utf16Le(u"a\r\n") + "z"), (std::vector<WString>{u"a"}));
  // Non-ASCII paths survive.
  EXPECT_EQ(Loaded(root, Utf16Le(u"\\SDMMC\\Ålesund 写真.jpg\r\n")), (std::vector<WString>{u"\\SDMMC\\Ålesund 写真.jpg"}));
}

TEST(ThumbIndexLoad, MissingOrEmptyFileLeavesTheListAlone) {
  TempDeviceRoot root;
  CThumbIndex index;
  index.Add(u"kept");
  EXPECT_FALSE(index.Load());
  root.WriteFile(kMap, "");
  EXPECT_FALSE(index.Load());
  EXPECT_EQ(index.Entries(), (std::vector<WString>{u"kept"}));
}

TEST(ThumbIndexSave, WritesEveryLineByteForByteAndMakesTheFolder) {
  TempDeviceRoot root;
  CThumbIndex index;
  EXPECT_TRUE(index.Save());
  EXPECT_TRUE(root.Exists(kMap));
  EXPECT_EQ(root.ReadFile(kMap), "");

  index.Add(u"\\SDMMC\\x.jpg");
  index.Add(u"\\SDMMC\\Straße.jpg");
  EXPECT_TRUE(index.Save());
  EXPECT_EQ(root.ReadFile(kMap), Utf16Le(u"\\SDMMC\\x.jpg\r\n\\SDMMC\\Straße.jpg\r\n"));

  CThumbIndex reloaded;
  EXPECT_TRUE(reloaded.Load());
  EXPECT_EQ(reloaded.Entries(), index.Entries());
}

TEST(ThumbIndexSave, FailureIsReportedWithTheErrorCode) {
  TempDeviceRoot root;
  root.WriteFile("NAND/_Thumbnails/map.txt/blocker", "");  // a folder where the file should be
  CThumbIndex index;
  index.Add(u"a");
  DebugCapture log;
  EXPECT_FALSE(index.Save());
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0].rfind("Error code ", 0), 0u);
}

TEST(ThumbIndexLookup, AddIsExactAndLostFilesLoseTheirPosition) {
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

  EXPECT_TRUE(index.Save());
  std::string saved = root.ReadFile(kMap);
  EXPECT_NE(saved.find(Utf16Le(u"p4.jpg\r\n\r\n\\SDMMC\\P5.JPG\r\n\\SDMMC\\p5.jpg\r\n")), std::string::npos);
}
