#include "slideshow/music_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/kernel/wide.h"
#include "tests/support/temp_root.h"

namespace {

std::vector<std::string> Utf8(const std::vector<WString>& list) {
  std::vector<std::string> out;
  for (const WString& path : list) out.push_back(ToUtf8(path));
  return out;
}

// Every folder is listed in reverse name order, which no host gives by itself: the list
// must follow the enumeration.
class MusicListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.rbegin(), names.rend()); });
  }
  void TearDown() override { SetFindOrderForTests({}); }

  std::vector<std::string> List() {
    std::vector<WString> list = {u"\\SDMMC\\left over"};
    BuildMusicList(list);
    return Utf8(list);
  }

  TempDeviceRoot m_root;
};

TEST_F(MusicListTest, KeepsMp3AndWmaFilesInTheOrderTheFoldersAreEnumerated) {
  for (const char* name : {"a.mp3", "B.Mp3", "c.mpeg", "song.wma", "notes.txt", "mp3", "xwMa", "Ä.MP3",
                           ".hidden/d.mp3", "..also hidden/e.mp3", "sub/f.wma", "sub/deeper/g.MP3",
                           "sub/h.mp3", "zz/i.mp3", "music.mp3/j.mp3", "x/mp3.jpg"})
    m_root.WriteFile(std::string("SDMMC/") + name, "not looked at");
  std::filesystem::create_directories(m_root.Path() / "SDMMC" / "empty.wma");  // a folder

  // Reverse byte order: Ä, zz, xwMa, x, sub (h, f, deeper), song, notes, music.mp3, mp3 ...
  EXPECT_EQ(List(), (std::vector<std::string>{"\\SDMMC\\Ä.MP3", "\\SDMMC\\zz\\i.mp3", "\\SDMMC\\xwMa",
                                              "\\SDMMC\\sub\\h.mp3", "\\SDMMC\\sub\\f.wma",
                                              "\\SDMMC\\sub\\deeper\\g.MP3", "\\SDMMC\\song.wma",
                                              "\\SDMMC\\music.mp3\\j.mp3", "\\SDMMC\\mp3", "\\SDMMC\\a.mp3",
                                              "\\SDMMC\\B.Mp3"}));
}

// "\SDMMC\" is 7 characters: a name of 240 makes a path of 247, which is kept; 241 is not.
TEST_F(MusicListTest, PathsOf248CharactersOrMoreAreLeftOut) {
  const std::string kept = std::string(236, 'k') + ".mp3";
  const std::string cut = std::string(237, 'c') + ".mp3";
  m_root.WriteFile("SDMMC/" + kept, "");
  m_root.WriteFile("SDMMC/" + cut, "");
  // A folder path of 240 characters: a file name of 7 characters makes 248.
  const std::string folder = std::string(233, 'f');
  m_root.WriteFile("SDMMC/" + folder + "/ab.mp3", "");
  m_root.WriteFile("SDMMC/" + folder + "/abc.mp3", "");
  EXPECT_EQ(List(), (std::vector<std::string>{"\\SDMMC\\" + kept, "\\SDMMC\\" + folder + "\\ab.mp3"}));
}

TEST_F(MusicListTest, NoCardMeansNoMusic) {
  m_root.WriteFile("SDMMC/a.mp3", "");
  SetCardTakenOut(true);
  EXPECT_TRUE(List().empty());
  SetCardTakenOut(false);
  EXPECT_EQ(List(), std::vector<std::string>{"\\SDMMC\\a.mp3"});
  std::filesystem::remove_all(m_root.Path() / "SDMMC");
  EXPECT_TRUE(List().empty());
}

}  // namespace
