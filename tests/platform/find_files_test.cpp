#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "platform/wide.h"
#include "tests/support/temp_root.h"

namespace {

struct Found {
  std::string name;
  bool folder;
  bool operator==(const Found&) const = default;
};

std::vector<Found> Search(LPCWSTR pattern) {
  std::vector<Found> found;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    found.push_back({ToUtf8(data.cFileName), (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(search, &data));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(search));
  return found;
}

void SortedOrder() {
  SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.begin(), names.end()); });
}

}  // namespace

TEST(FindFiles, ListsFilesAndFoldersButNotDots) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/b.jpg", "12345");
  root.WriteFile("SDMMC/A/x", "");
  root.WriteFile("SDMMC/noext", "");
  SortedOrder();
  EXPECT_EQ(Search(u"\\SDMMC\\*.*"), (std::vector<Found>{{"A", true}, {"b.jpg", false}, {"noext", false}}));
  EXPECT_EQ(Search(u"\\sdmmc\\*.JPG"), (std::vector<Found>{{"b.jpg", false}}));
  EXPECT_EQ(Search(u"\\SDMMC\\B.JPG"), (std::vector<Found>{{"b.jpg", false}}));
  EXPECT_EQ(Search(u"\\SDMMC\\?.jpg"), (std::vector<Found>{{"b.jpg", false}}));
  EXPECT_EQ(Search(u"\\SDMMC\\A\\"), (std::vector<Found>{{"A", true}}));
  SetFindOrderForTests(nullptr);

  WIN32_FIND_DATAW data;
  EXPECT_EQ(FindFirstFileW(u"\\SDMMC\\missing\\*.*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(FindFirstFileW(u"\\SDMMC\\none.jpg", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(FindFiles, LinksAreFollowedOnlyInsideTheRoot) {
  TempDeviceRoot root;
  TempDeviceRoot outside;
  SetDeviceRoot(root.Path().string());
  const auto card = root.Path() / "SDMMC";
  root.WriteFile("SDMMC/real/p.jpg", "");
  std::filesystem::create_directory_symlink(card / "real", card / "alias");  // inside: a folder
  std::filesystem::create_directory_symlink(card, card / "real" / "loop");    // a loop back up
  std::filesystem::create_directory_symlink(outside.Path(), card / "away");   // outside: not listed
  std::filesystem::create_symlink(card / "gone.jpg", card / "dangling.jpg");  // broken: not listed
  SortedOrder();
  EXPECT_EQ(Search(u"\\SDMMC\\*.*"), (std::vector<Found>{{"alias", true}, {"real", true}}));
  EXPECT_EQ(Search(u"\\SDMMC\\real\\loop\\real\\*.*"), (std::vector<Found>{{"loop", true}, {"p.jpg", false}}));
  SetFindOrderForTests(nullptr);
}

TEST(FindFiles, OddNamesSurvive) {
  TempDeviceRoot root;
  root.WriteFile("SDMMC/日本 写真.jpg", "");
  root.WriteFile("SDMMC/with;semi,colon [1].jpg", "");
  root.WriteFile("SDMMC/" + std::string(250, 'n') + ".jpg", "");
  SortedOrder();
  std::vector<Found> found = Search(u"\\SDMMC\\*.*");
  SetFindOrderForTests(nullptr);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].name, std::string(250, 'n') + ".jpg");
  EXPECT_EQ(found[1].name, "with;semi,colon [1].jpg");
  EXPECT_EQ(found[2].name, "日本 写真.jpg");
}
