#include "slideshow/music_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/kernel/wide.h"
#include "tests/support/temp_root.h"

namespace {

// Every folder lists in reverse byte order, which no host gives by itself: the list must
// follow the enumeration.
std::vector<std::string> List() {
  SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.rbegin(), names.rend()); });
  std::vector<WString> list = {u"\\SDMMC\\left over"};
  BuildMusicList(list);
  SetFindOrderForTests({});
  std::vector<std::string> out;
  for (const WString& path : list) out.push_back(ToUtf8(path));
  return out;
}

TEST(MusicList, KeepsMp3AndWmaFilesInTheOrderTheFoldersAreEnumerated) {
  TempDeviceRoot root;
  for (const char* name : {"a.mp3", "B.Mp3", "c.mpeg", "song.wma", "notes.txt", "mp3", "xwMa", "Ä.MP3", ".dot.mp3",
                           ".hidden/d.mp3", "..also/e.mp3", "sub/f.wma", "sub/deeper/g.MP3", "sub/h.mp3", "zz/i.mp3",
                           "music.mp3/j.mp3", "x/mp3.jpg"})
    root.WriteFile(std::string("SDMMC/") + name, "");
  // A folder is scanned where it comes; only folders are skipped for a leading dot.
  EXPECT_EQ(List(), (std::vector<std::string>{"\\SDMMC\\Ä.MP3", "\\SDMMC\\zz\\i.mp3", "\\SDMMC\\xwMa",
                                              "\\SDMMC\\sub\\h.mp3", "\\SDMMC\\sub\\f.wma", "\\SDMMC\\sub\\deeper\\g.MP3",
                                              "\\SDMMC\\song.wma", "\\SDMMC\\music.mp3\\j.mp3", "\\SDMMC\\mp3",
                                              "\\SDMMC\\a.mp3", "\\SDMMC\\B.Mp3", "\\SDMMC\\.dot.mp3"}));
  SetCardTakenOut(true);
  EXPECT_TRUE(List().empty());
}

// "\SDMMC\" has 7 characters: paths of 247 are kept, of 248 left out, in any folder.
TEST(MusicList, PathsOf248CharactersOrMoreAreLeftOut) {
  TempDeviceRoot root;
  const std::string kept = std::string(236, 'k') + ".mp3", folder = std::string(233, 'f');
  for (const std::string& name : {kept, std::string(237, 'c') + ".mp3", folder + "/ab.mp3", folder + "/abc.mp3"})
    root.WriteFile("SDMMC/" + name, "");
  EXPECT_EQ(List(), (std::vector<std::string>{"\\SDMMC\\" + kept, "\\SDMMC\\" + folder + "\\ab.mp3"}));
}

}  // namespace
