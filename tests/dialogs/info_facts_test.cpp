#include "dialogs/info_facts.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "platform/kernel/wide.h"
#include "res/resources.h"
#include "tests/support/temp_root.h"

namespace {

std::string Utf8(const WString& text) { return ToUtf8(text); }
bool Same(RECT a, RECT b) { return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom; }

// Sizes change unit exactly at each power of two; names lose the folder and only the last
// extension.
TEST(InfoFacts, SizeAndNameTexts) {
  const std::pair<DWORD, const char*> sizes[] = {{1023, "1023Bytes"},  {1024, "1KB"},   {1048575, "1023KB"},
                                                 {1048576, "1.00MB"},   {5 * 1048576 + 524288, "5.50MB"},
                                                 {1073741824, "1.00GB"}, {0xFFFFFFFF, "4.00GB"}};
  for (const auto& [size, text] : sizes) EXPECT_EQ(Utf8(SizeText(size)), text) << size;
  const std::pair<const char16_t*, const char*> names[] = {{u"\\SDMMC\\DCIM\\IMG_0001.JPG", "IMG_0001"},
                                                           {u"\\SDMMC\\a.b.jpg", "a.b"},
                                                           {u"IMG_0002.JPG", "IMG_0002"},  // no folder at all
                                                           {u"\\SDMMC\\trip.2024\\beach", "beach"}};  // a dot in the folder only
  for (const auto& [path, name] : names) EXPECT_EQ(Utf8(InfoFileName(path)), name);
}

TEST(InfoFacts, PreviewIsFittedCentredAndWidened) {
  EXPECT_TRUE(Same(PreviewRect(2048, 1536), RECT{18, 49, 419, 345}));  // the width decides: 395 x 296
  EXPECT_TRUE(Same(PreviewRect(1536, 2048), RECT{86, 25, 351, 369}));  // the height decides: 258 x 345
  EXPECT_TRUE(Same(PreviewRect(100, 50), RECT{18, 99, 419, 295}));     // small photos grow: 395 x 197
}

TEST(InfoFacts, LinesCarryTheirLabelsAndFormatsAndTheNameIsFitted) {
  InstallResources();
  InfoFacts facts;
  facts.path = u"\\SDMMC\\trip\\a.b.jpg";
  facts.format = u"JPEG";
  facts.file.size = 1048576;
  facts.file.created = SYSTEMTIME{2024, 3, 2, 5, 7, 8, 9, 0};
  facts.width = 640;
  facts.height = 480;
  facts.colourDepth = 24;
  const auto lines = InfoLines(nullptr, facts);
  EXPECT_EQ(Utf8(lines[0]), "檔 案 名 稱: a.b");
  EXPECT_EQ(Utf8(lines[1]), "檔 案 格 式: JPEG");
  EXPECT_EQ(Utf8(lines[2]), "檔 案 大 小: 1.00MB");
  EXPECT_EQ(Utf8(lines[3]), "日 期 時 間: 2024/03/05   07:08:09");
  EXPECT_EQ(Utf8(lines[4]), "像 素 大 小: 640 X 480");
  EXPECT_EQ(Utf8(lines[5]), "色 彩 數 目: 24bits");

  // A long name is cut close to the width and ends in dots.
  facts.path = u"\\SDMMC\\a_very_long_file_name_from_a_camera_that_never_ends_0001.jpg";
  const WString line = InfoLines(nullptr, facts)[0];
  ASSERT_GT(line.size(), 3u);
  EXPECT_EQ(Utf8(line.substr(line.size() - 3)), "...");
  HDC screen = GetDC(nullptr);
  SIZE kept{};
  GetTextExtentPoint32W(screen, line.c_str(), static_cast<int>(line.size() - 3), &kept);
  ReleaseDC(nullptr, screen);
  EXPECT_LT(kept.cx, kNameLineWidth);
  EXPECT_GT(kept.cx, kNameLineWidth / 2);
}

TEST(InfoFacts, FileFactsAreTheSizeAndTheCreationInLocalTime) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/a.jpg", std::string(1500, 'x'));
  setenv("TZ", "XST-5:30", 1);  // 5 h 30 min east of UTC
  tzset();
  const time_t before = time(nullptr);
  const FileFacts facts = ReadFileFacts(u"\\SDMMC\\a.jpg");
  unsetenv("TZ");
  tzset();
  EXPECT_EQ(facts.size, 1500u);
  const SYSTEMTIME& c = facts.created;
  tm fields{};
  fields.tm_year = c.wYear - 1900;
  fields.tm_mon = c.wMonth - 1;
  fields.tm_mday = c.wDay;
  fields.tm_hour = c.wHour;
  fields.tm_min = c.wMinute;
  fields.tm_sec = c.wSecond;
  const time_t shownUtc = timegm(&fields) - (5 * 3600 + 30 * 60);
  EXPECT_LE(std::abs(static_cast<long>(shownUtc - before)), 60L);

  // A file that cannot be opened shows zeros.
  InfoFacts missing;
  missing.path = u"\\SDMMC\\missing.jpg";
  missing.file = ReadFileFacts(missing.path.c_str());
  const auto lines = InfoLines(nullptr, missing);
  EXPECT_EQ(Utf8(lines[2]), "檔 案 大 小: 0Bytes");
  EXPECT_EQ(Utf8(lines[3]), "日 期 時 間: 00/00/00   00:00:00");
}

}  // namespace
