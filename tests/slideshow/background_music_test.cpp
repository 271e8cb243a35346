#include "slideshow/background_music.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/kernel/debug.h"
#include "platform/media/player.h"
#include "platform/kernel/wide.h"
#include "tests/platform/media/capture.h"
#include "tests/platform/media/media_files.h"
#include "tests/support/temp_root.h"

namespace {

constexpr char kBookmark[] = "SDMMC/bmkPho.rom";

// The bookmark file's bytes, made here byte by byte: header (checksum, payload size, 8
// reserved bytes), then the payload (position, volume, UTF-16 path).
std::string BookmarkFile(std::int64_t position, std::int32_t volume, const std::u16string& path,
                         size_t payloadBytes = 528) {
  std::string payload(payloadBytes, '\0');
  std::memcpy(&payload[0], &position, 8);
  std::memcpy(&payload[8], &volume, 4);
  std::memcpy(&payload[12], path.data(), std::min(path.size() * 2, payloadBytes - 14));
  std::int32_t sum = 0;
  for (char c : payload) sum += static_cast<signed char>(c);
  std::string header(16, '\0');
  const auto size = static_cast<std::int32_t>(payloadBytes);
  std::memcpy(&header[0], &sum, 4);
  std::memcpy(&header[4], &size, 4);
  return header + payload;
}

struct Payload {
  std::int64_t position = -1;
  std::int32_t volume = -1;
  std::u16string path;
  bool restZero = true;  // every byte after the path's terminating 0
};

Payload ReadPayload(const std::string& file) {
  Payload p;
  EXPECT_EQ(file.size(), 16u + 528u);
  if (file.size() != 16 + 528) return p;
  std::int32_t size = 0;
  std::memcpy(&size, &file[4], 4);
  EXPECT_EQ(size, 528);
  const char* payload = file.data() + 16;
  std::memcpy(&p.position, payload, 8);
  std::memcpy(&p.volume, payload + 8, 4);
  size_t at = 12;
  for (; at + 1 < 528; at += 2) {
    char16_t unit;
    std::memcpy(&unit, payload + at, 2);
    if (unit == 0) break;
    p.path.push_back(unit);
  }
  for (size_t i = at; i < 528; ++i) p.restZero = p.restZero && payload[i] == 0;
  return p;
}

// A card with music in a known enumeration order (by name), the null audio output and a
// clock ten times as fast.
class BackgroundMusicTest : public MediaTest {
 protected:
  BackgroundMusicTest() : MediaTest(10.0) {}
  void SetUp() override {
    MediaTest::SetUp();
    SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.begin(), names.end()); });
  }
  void TearDown() override {
    SetFindOrderForTests({});
    MediaTest::TearDown();
  }

  void Track(const std::string& name, double seconds = 3.0) {
    ASSERT_EQ(EncodeAudioFile((m_root.Path() / "SDMMC" / name).string(), "wmav2", "asf", seconds, SteppedTone), "");
  }
  // Files that are no music: empty, a header without the sound, and text.
  void BadTracks(const std::string& prefix) {
    m_root.WriteFile("SDMMC/" + prefix + "1-empty.wma", "");
    Track(prefix + "2-cut.wma", 1.0);
    m_root.WriteFile("SDMMC/" + prefix + "2-cut.wma", m_root.ReadFile("SDMMC/" + prefix + "2-cut.wma").substr(0, 600));
    m_root.WriteFile("SDMMC/" + prefix + "3-text.mp3", "ID3 is how this begins, and nothing more");
  }
  std::int64_t Position() {
    std::int64_t position = -1;
    m_player.GetTimPos(&position);
    return position;
  }
  std::string Current(const CBackgroundMusic& music) {
    return ToUtf8(music.MusicList().at(static_cast<size_t>(music.MusicIndex())));
  }

  TempDeviceRoot m_root;
  Cplayerc m_player;
};

TEST_F(BackgroundMusicTest, ABookmarkThatCannotBeUsedStartsTheFirstTrackAtVolume12) {
  Track("a.wma");
  Track("b.wma");
  const std::string good = BookmarkFile(1500, 5, u"\\SDMMC\\b.wma");
  std::string corrupt = good;
  corrupt[16 + 300] ^= 0x10;
  const std::pair<const char*, std::string> cases[] = {
      {"missing", ""},
      {"empty", ""},
      {"short", good.substr(0, 40)},  // cut in the middle of the path
      {"corrupt", corrupt},
      {"foreign size", BookmarkFile(1500, 5, u"\\SDMMC\\b.wma", 32)},
      {"longer payload", BookmarkFile(1500, 5, u"\\SDMMC\\b.wma", 600)},
  };
  for (const auto& [name, bytes] : cases) {
    SCOPED_TRACE(name);
    std::filesystem::remove(m_root.Path() / kBookmark);
    if (std::string(name) != "missing") m_root.WriteFile(kBookmark, bytes);
    CBackgroundMusic music(m_player);
    EXPECT_EQ(music.RestoreAndStart(), 0);
    EXPECT_EQ(Current(music), "\\SDMMC\\a.wma");
    EXPECT_EQ(m_player.Getsts(), 2);
    EXPECT_EQ(music.VolumeLevel(), 12);
    m_player.mp3Release();
  }
}

TEST_F(BackgroundMusicTest, ABookmarkResumesItsTrackAtItsPositionWithItsVolume) {
  Track("a.wma");
  Track("b.wma");
  m_root.WriteFile(kBookmark, BookmarkFile(1500, 7, u"\\SDMMC\\b.wma"));
  CBackgroundMusic music(m_player);
  EXPECT_EQ(music.RestoreAndStart(), 0);
  EXPECT_EQ(Current(music), "\\SDMMC\\b.wma");
  EXPECT_EQ(m_player.Getsts(), 2);
  EXPECT_GE(Position(), 1500);
  EXPECT_EQ(music.VolumeLevel(), 7);

  // A volume no slideshow saves is brought into 0..24.
  for (auto [saved, taken] : {std::pair{99, 24}, std::pair{-3, 0}}) {
    m_root.WriteFile(kBookmark, BookmarkFile(0, saved, u"\\SDMMC\\a.wma"));
    CBackgroundMusic again(m_player);
    again.RestoreAndStart();
    EXPECT_EQ(again.VolumeLevel(), taken);
  }
}

TEST_F(BackgroundMusicTest, ABookmarkedTrackThatIsGoneLeavesTheSlideshowSilentWithItsVolume) {
  Track("a.wma");
  // Gone, and there in another case only: paths are compared exactly.
  for (const char16_t* path : {u"\\SDMMC\\gone.wma", u"\\SDMMC\\A.WMA", u""}) {
    m_root.WriteFile(kBookmark, BookmarkFile(1500, 3, path));
    CBackgroundMusic music(m_player);
    EXPECT_EQ(music.RestoreAndStart(), -1);
    EXPECT_EQ(m_player.Getsts(), 0);
    EXPECT_EQ(music.VolumeLevel(), 3);
  }
}

TEST_F(BackgroundMusicTest, TracksThatDoNotLoadAreSkippedAndTheBookmarkedPositionGoesToTheNextOne) {
  BadTracks("");
  Track("4-good.wma");
  {
    CBackgroundMusic music(m_player);
    EXPECT_EQ(music.RestoreAndStart(), 0);
    EXPECT_EQ(Current(music), "\\SDMMC\\4-good.wma");
    EXPECT_EQ(m_player.Getsts(), 2);
  }
  m_root.WriteFile(kBookmark, BookmarkFile(2000, 12, u"\\SDMMC\\2-cut.wma"));
  CBackgroundMusic music(m_player);
  EXPECT_EQ(music.RestoreAndStart(), 0);
  EXPECT_EQ(Current(music), "\\SDMMC\\4-good.wma");
  EXPECT_GE(Position(), 2000);
}

TEST_F(BackgroundMusicTest, WhenNoTrackLoadsThereIsNoMusicAndNothingHangs) {
  BadTracks("");
  CBackgroundMusic music(m_player);
  EXPECT_EQ(music.RestoreAndStart(), -1);
  EXPECT_EQ(m_player.Getsts(), 0);
  EXPECT_EQ(music.MusicIndex(), 2);  // the last one tried
  music.NextTrack();
  EXPECT_EQ(m_player.Getsts(), 0);
  EXPECT_EQ(music.LoadTrack(), -1);
  EXPECT_EQ(music.MusicIndex(), 1);  // from the last tried round to the one before it
}

TEST_F(BackgroundMusicTest, NextTrackSkipsWhatDoesNotLoadAndPlaysTheFirstAfterTheLast) {
  Track("a.wma");
  BadTracks("b");
  Track("c.wma");
  CBackgroundMusic music(m_player);
  ASSERT_EQ(music.RestoreAndStart(), 0);
  EXPECT_EQ(Current(music), "\\SDMMC\\a.wma");
  music.NextTrack();
  EXPECT_EQ(Current(music), "\\SDMMC\\c.wma");
  EXPECT_EQ(m_player.Getsts(), 2);
  EXPECT_EQ(Position(), 0) << "a new track starts at its start";
  music.NextTrack();
  EXPECT_EQ(Current(music), "\\SDMMC\\a.wma");
  EXPECT_EQ(m_player.Getsts(), 2);
}

// The way the slideshow's music thread runs it: each end of a track steps to the next. A
// track cut off in the middle ends early; the list goes on round.
TEST_F(BackgroundMusicTest, TheEndOfEachTrackLeadsToTheNextRoundTheList) {
  static std::mutex lock;
  static std::condition_variable ended;
  static int notices;
  notices = 0;
  SetPlayerNotifyHook([](HWND, UINT) {
    std::lock_guard guard(lock);
    ++notices;
    ended.notify_all();
  });
  Track("a.wma", 0.4);
  Track("b-half.wma", 2.0);
  m_root.WriteFile("SDMMC/b-half.wma", m_root.ReadFile("SDMMC/b-half.wma").substr(0, 9000));
  m_root.WriteFile("SDMMC/c-empty.mp3", "");
  Track("d.wma", 0.4);
  HWND window = reinterpret_cast<HWND>(1);  // the hook takes the notifications
  m_player.SetNotify(window, 0x464);

  CBackgroundMusic music(m_player);
  ASSERT_EQ(music.RestoreAndStart(), 0);
  std::vector<std::string> played = {Current(music)};
  int handled = 0;
  while (played.size() < 5) {
    std::unique_lock guard(lock);
    ASSERT_TRUE(ended.wait_for(guard, kGiveUp, [&] { return notices > handled; })) << "no end of track";
    ++handled;
    guard.unlock();
    for (std::int32_t code = -1; m_player.GetEvent(&code); code = -1)
      if (code == 0) {
        music.NextTrack();
        played.push_back(Current(music));
      }
  }
  SetPlayerNotifyHook(nullptr);
  m_player.mp3Release();
  EXPECT_EQ(played, (std::vector<std::string>{"\\SDMMC\\a.wma", "\\SDMMC\\b-half.wma", "\\SDMMC\\d.wma",
                                              "\\SDMMC\\a.wma", "\\SDMMC\\b-half.wma"}));
}

TEST_F(BackgroundMusicTest, SaveWritesTrackPositionAndVolumeToAHiddenFileTheNextStartResumes) {
  Track("a.wma");
  Track("b.wma");
  CBackgroundMusic music(m_player);
  ASSERT_EQ(music.RestoreAndStart(), 0);
  music.NextTrack();
  m_player.Pause();
  const std::int64_t at = 1234;
  m_player.SetTimPos(&at);
  const std::int64_t position = Position();
  music.VolumeLevel() = 17;
  music.Save();

  const Payload saved = ReadPayload(m_root.ReadFile(kBookmark));
  EXPECT_EQ(saved.position, position);
  EXPECT_EQ(saved.volume, 17);
  EXPECT_EQ(saved.path, u"\\SDMMC\\b.wma");
  EXPECT_TRUE(saved.restZero);
  EXPECT_NE(GetFileAttributesW(u"\\SDMMC\\bmkPho.rom") & FILE_ATTRIBUTE_HIDDEN, 0u);

  m_player.mp3Release();
  CBackgroundMusic next(m_player);
  EXPECT_EQ(next.RestoreAndStart(), 0);
  EXPECT_EQ(Current(next), "\\SDMMC\\b.wma");
  // The player keeps positions in sound frames: a millisecond may round away.
  EXPECT_GE(Position(), position - 1);
  EXPECT_EQ(next.VolumeLevel(), 17);
}

TEST_F(BackgroundMusicTest, WithAnEmptyListTheBookmarkKeepsOnlyTheVolume) {
  m_root.WriteFile(kBookmark, BookmarkFile(1500, 3, u"\\SDMMC\\gone.wma"));
  CBackgroundMusic music(m_player);
  EXPECT_EQ(music.RestoreAndStart(), -1);
  music.VolumeLevel() = 9;
  music.NextTrack();  // harmless
  music.Save();
  const Payload saved = ReadPayload(m_root.ReadFile(kBookmark));
  EXPECT_EQ(saved.position, 0);
  EXPECT_EQ(saved.volume, 9);
  EXPECT_EQ(saved.path, u"");
  EXPECT_TRUE(saved.restZero);
}

TEST_F(BackgroundMusicTest, NoCardOrACardThatCannotBeWrittenKeepsTheOldBookmark) {
  Track("a.wma");
  const std::string old = BookmarkFile(777, 4, u"\\SDMMC\\old.wma");
  const std::filesystem::path cardFolder = m_root.Path() / "SDMMC";
  const std::pair<const char*, std::function<void(bool)>> cases[] = {
      {"taken out", [](bool on) { SetCardTakenOut(on); }},
      {"write-protected", [](bool on) { SetCardWriteProtected(on); }},
      {"read-only folder",
       [&](bool on) {
         std::filesystem::permissions(cardFolder, on ? std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec
                                               : std::filesystem::perms::owner_all);
       }},
  };
  for (const auto& [name, setCard] : cases) {
    SCOPED_TRACE(name);
    m_root.WriteFile(kBookmark, old);
    CBackgroundMusic music(m_player);
    music.RestoreAndStart();
    music.VolumeLevel() = 20;
    setCard(true);
    DebugCapture capture;
    music.Save();
    setCard(false);
    EXPECT_EQ(m_root.ReadFile(kBookmark), old);
    EXPECT_FALSE(capture.Contains("CParmFileRW")) << "no write was tried";
    m_player.mp3Release();
  }
  // And with the card as it should be, the same save writes.
  CBackgroundMusic music(m_player);
  music.RestoreAndStart();
  music.Save();
  EXPECT_EQ(ReadPayload(m_root.ReadFile(kBookmark)).path, u"\\SDMMC\\a.wma");
}

}  // namespace
