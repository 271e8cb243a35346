#include "slideshow/background_music.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/kernel/debug.h"
#include "platform/kernel/wide.h"
#include "platform/media/player.h"
#include "slideshow/music_list.h"
#include "store/parm_file.h"
#include "tests/platform/media/capture.h"
#include "tests/platform/media/media_files.h"
#include "tests/support/temp_root.h"

namespace {

constexpr char kBookmark[] = "SDMMC/bmkPho.rom";

// A bookmark file made here byte by byte: checksum, payload size, 8 reserved bytes, then the
// position, the volume and the UTF-16 path.
std::string BookmarkFile(std::int64_t position, std::int32_t volume, const std::u16string& path) {
  std::string payload(528, '\0');
  std::memcpy(&payload[0], &position, 8);
  std::memcpy(&payload[8], &volume, 4);
  std::memcpy(&payload[12], path.data(), std::min(path.size() * 2, payload.size() - 14));
  const std::int32_t sum = ParmChecksum(payload.data(), 528), count = 528;
  std::string header(16, '\0');
  std::memcpy(&header[0], &sum, 4);
  std::memcpy(&header[4], &count, 4);
  return header + payload;
}

// A card whose folders list in name order, the null audio output, a clock ten times as fast.
class BackgroundMusicTest : public MediaTest {
 protected:
  BackgroundMusicTest() : MediaTest(10.0) {}
  void SetUp() override {
    MediaTest::SetUp();
    m_root.ListInNameOrder();
  }
  void Track(const std::string& name, double seconds = 3.0, size_t keep = std::string::npos) {
    ASSERT_EQ(WriteSteppedTrack((m_root.Path() / "SDMMC" / name).string(), seconds, keep), "");
  }
  static std::string Current(const CBackgroundMusic& music) {
    return ToUtf8(music.MusicList().at(static_cast<size_t>(music.MusicIndex())));
  }

  TempDeviceRoot m_root;
  Cplayerc m_player;
};

// A bookmark that cannot be used starts the first track at volume 12; a good one resumes its
// track at its position and volume; one whose track is gone, or there in another case only
// (paths compare exactly), leaves the music off and keeps its volume; a volume no slideshow
// saves is brought into 0..24.
TEST_F(BackgroundMusicTest, EachBookmarkStartsWhatItCan) {
  Track("a.wma");
  Track("b.wma");
  const std::string good = BookmarkFile(1500, 7, u"\\SDMMC\\b.wma");
  std::string corrupt = good;
  corrupt[16 + 300] ^= 0x10;
  const char *a = "\\SDMMC\\a.wma", *b = "\\SDMMC\\b.wma";
  const struct {
    std::string bytes;
    const char* track;  // what plays; nothing when null
    int volume;
  } cases[] = {{"missing", a, 12},
               {corrupt, a, 12},  // refused as the store's tests refuse a short or cut file too
               {good, b, 7},
               {BookmarkFile(1500, 3, u"\\SDMMC\\gone.wma"), nullptr, 3},
               {BookmarkFile(1500, 3, u"\\SDMMC\\A.WMA"), nullptr, 3},
               {BookmarkFile(0, 99, u"\\SDMMC\\a.wma"), a, 24}};
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    m_player.mp3Release();
    std::filesystem::remove(m_root.Path() / kBookmark);
    if (c.bytes != "missing") m_root.WriteFile(kBookmark, c.bytes);
    CBackgroundMusic music(m_player);
    EXPECT_EQ(music.RestoreAndStart(), c.track ? 0 : -1);
    EXPECT_EQ(m_player.Getsts(), c.track ? 2 : 0);
    if (c.track) { EXPECT_EQ(Current(music), c.track); }
    if (c.bytes == good) {
      EXPECT_GE(Position(m_player), 1500);
    }
    EXPECT_EQ(music.VolumeLevel(), c.volume);
  }
}

TEST_F(BackgroundMusicTest, TracksThatDoNotLoadAreSkippedRoundTheList) {
  Track("a.wma", 2.0, 9000);  // cut off in the middle: it loads, and plays what it has
  m_root.WriteFile("SDMMC/b1-empty.wma", "");  // files that are no music: empty, a header without sound, text
  Track("b2-cut.wma", 1.0, 600);
  m_root.WriteFile("SDMMC/b3-text.mp3", "ID3 is how this begins, and nothing more");
  Track("c.wma");
  // The bookmarked track does not load: the next that does gets the position.
  m_root.WriteFile(kBookmark, BookmarkFile(2000, 12, u"\\SDMMC\\b2-cut.wma"));
  CBackgroundMusic music(m_player);
  EXPECT_EQ(music.RestoreAndStart(), 0);
  EXPECT_EQ(Current(music), "\\SDMMC\\c.wma");
  EXPECT_GE(Position(m_player), 2000);
  // The next track goes round the list, past those that do not load. (The slideshow's tests
  // follow the player's end of a track to the next.)
  for (const char* next : {"\\SDMMC\\a.wma", "\\SDMMC\\c.wma"}) {
    music.NextTrack();
    EXPECT_EQ(Current(music), next);
  }

  // Nothing loads: no music, nothing hangs, the index on the last tried.
  for (const char* gone : {"SDMMC/a.wma", "SDMMC/c.wma", kBookmark}) std::filesystem::remove(m_root.Path() / gone);
  CBackgroundMusic none(m_player);
  EXPECT_EQ(none.RestoreAndStart(), -1);
  EXPECT_EQ(none.MusicIndex(), 2);
  none.NextTrack();
  EXPECT_EQ(m_player.Getsts(), 0);
}

TEST_F(BackgroundMusicTest, SaveWritesAHiddenBookmarkOfTrackPositionAndVolumeOnlyToACardItCanWrite) {
  Track("a.wma");
  Track("b.wma");
  CBackgroundMusic music(m_player);
  ASSERT_EQ(music.RestoreAndStart(), 0);
  music.NextTrack();
  m_player.Pause();
  const std::int64_t at = 1234;
  m_player.SetTimPos(&at);
  const std::int64_t position = Position(m_player);
  music.VolumeLevel() = 17;
  music.Save();
  EXPECT_EQ(m_root.ReadFile(kBookmark), BookmarkFile(position, 17, u"\\SDMMC\\b.wma"));
  EXPECT_NE(GetFileAttributesW(u"\\SDMMC\\bmkPho.rom") & FILE_ATTRIBUTE_HIDDEN, 0u);

  // No card, or a card that cannot be written, keeps that bookmark: no write is tried.
  const std::string saved = m_root.ReadFile(kBookmark);
  const std::filesystem::path folder = m_root.Path() / "SDMMC";
  using std::filesystem::perms;
  const std::function<void(bool)> cards[] = {
      [](bool on) { SetCardTakenOut(on); }, [](bool on) { SetCardWriteProtected(on); },
      [&](bool on) { std::filesystem::permissions(folder, on ? perms::owner_read | perms::owner_exec : perms::owner_all); }};
  music.VolumeLevel() = 3;
  for (const auto& card : cards) {
    card(true);
    DebugCapture capture;
    music.Save();
    card(false);
    EXPECT_EQ(m_root.ReadFile(kBookmark), saved);
    EXPECT_FALSE(capture.Contains("CParmFileRW")) << "no write was tried";
  }

  // Without music the bookmark keeps the volume only.
  for (const char* gone : {"SDMMC/a.wma", "SDMMC/b.wma"}) std::filesystem::remove(m_root.Path() / gone);
  CBackgroundMusic empty(m_player);
  EXPECT_EQ(empty.RestoreAndStart(), -1);
  empty.VolumeLevel() = 9;
  empty.Save();
  EXPECT_EQ(m_root.ReadFile(kBookmark), BookmarkFile(0, 9, u""));
}

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

// "\SDMMC\" has 7 characters: paths of 247 are kept, of 248 left out, in any folder.
TEST(MusicList, KeepsMp3AndWmaFilesInTheOrderTheFoldersAreEnumeratedWithPathsUnder248Characters) {
  TempDeviceRoot root;
  const std::string kept = std::string(236, 'k') + ".mp3", folder = std::string(233, 'f');
  const std::string names[] = {"a.mp3", "B.Mp3", "c.mpeg", "song.wma", "notes.txt", "mp3", "xwMa", "Ä.MP3",
                               ".dot.mp3", ".hidden/d.mp3", "..also/e.mp3", "sub/f.wma", "sub/deeper/g.MP3",
                               "sub/h.mp3", "zz/i.mp3", "music.mp3/j.mp3", "x/mp3.jpg", kept,
                               std::string(237, 'c') + ".mp3", folder + "/ab.mp3", folder + "/abc.mp3"};
  for (const std::string& name : names) root.WriteFile("SDMMC/" + name, "");
  // A folder is scanned where it comes; only folders are skipped for a leading dot.
  EXPECT_EQ(List(), (std::vector<std::string>{"\\SDMMC\\Ä.MP3", "\\SDMMC\\zz\\i.mp3", "\\SDMMC\\xwMa",
                                              "\\SDMMC\\sub\\h.mp3", "\\SDMMC\\sub\\f.wma", "\\SDMMC\\sub\\deeper\\g.MP3",
                                              "\\SDMMC\\song.wma", "\\SDMMC\\music.mp3\\j.mp3", "\\SDMMC\\mp3",
                                              "\\SDMMC\\" + kept, "\\SDMMC\\" + folder + "\\ab.mp3",
                                              "\\SDMMC\\a.mp3", "\\SDMMC\\B.Mp3", "\\SDMMC\\.dot.mp3"}));
  SetCardTakenOut(true);
  EXPECT_TRUE(List().empty());
}

}  // namespace
