#include "platform/player.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "platform/clock.h"
#include "platform/wide.h"
#include "tests/media/capture.h"
#include "tests/media/media_files.h"
#include "tests/support/temp_root.h"

namespace {

constexpr UINT kNotifyMessage = 0x464;
constexpr double kTrackSeconds = 4.0;
constexpr size_t kRate = 44100;

// The player's notifications, as a window would receive them.
struct Notices {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<std::pair<void*, UINT>> posts;
} g_notices;

void RecordNotice(void* window, UINT message) {
  std::lock_guard guard(g_notices.lock);
  g_notices.posts.emplace_back(window, message);
  g_notices.changed.notify_all();
}

bool WaitForNotices(size_t count) {
  std::unique_lock guard(g_notices.lock);
  return g_notices.changed.wait_for(guard, kGiveUp, [&] { return g_notices.posts.size() >= count; });
}

std::int64_t Position(Cplayerc& player) {
  std::int64_t position = -1;
  player.GetTimPos(&position);
  return position;
}

// Waits on the device clock until the player has played up to `ms`.
bool WaitForPosition(Cplayerc& player, std::int64_t ms) {
  auto giveUp = std::chrono::steady_clock::now() + kGiveUp;
  while (Position(player) < ms) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    Sleep(5);
  }
  return true;
}

struct Kind {
  const char* name;
  const char* encoder;
  const char* muxer;
  const char16_t* devicePath;
};

class PlayerTest : public MediaTest, public ::testing::WithParamInterface<Kind> {
 protected:
  PlayerTest() : MediaTest(10.0) {}

  void SetUp() override {
    MediaTest::SetUp();
    if (!HasAudioEncoder(GetParam().encoder)) GTEST_SKIP() << "FFmpeg has no " << GetParam().encoder << " encoder";
    std::string error = EncodeAudioFile((m_root.Path() / "SDMMC" / (std::string("track.") + GetParam().name)).string(),
                                        GetParam().encoder, GetParam().muxer, kTrackSeconds, SteppedTone);
    ASSERT_EQ(error, "");
    SetPlayerNotifyHook(RecordNotice);
    m_player.SetNotify(&m_window, kNotifyMessage);
    std::lock_guard guard(g_notices.lock);
    g_notices.posts.clear();
  }
  void TearDown() override {
    SetPlayerNotifyHook(nullptr);
    MediaTest::TearDown();
  }

  void Load() { ASSERT_EQ(m_player.mp3LoadFile(GetParam().devicePath), 0); }

  // The loudness of 50 ms of what plays next, after 10 ms that may still be from before.
  double LoudnessOfWhatPlaysNext() {
    m_capture.Clear();
    EXPECT_TRUE(m_capture.WaitForFrames(kRate * 60 / 1000));
    return m_capture.Peak(kRate / 100, kRate / 20);
  }

  TempDeviceRoot m_root;
  AudioCapture m_capture;
  Cplayerc m_player;
  int m_window = 0;  // stands for the window the notification goes to
};

TEST_P(PlayerTest, PlaysToTheEndInRealTimeAndPostsTheEndEvent) {
  Load();
  EXPECT_EQ(m_player.Getsts(), 1);
  std::uint64_t start = DeviceTimeMs();
  m_player.Play();
  EXPECT_EQ(m_player.Getsts(), 2);

  ASSERT_TRUE(WaitForNotices(1));
  std::uint64_t elapsed = DeviceTimeMs() - start;
  // Never early; the upper bound leaves room for a busy machine.
  EXPECT_GE(elapsed, 3950u);
  EXPECT_LE(elapsed, 4800u);
  {
    std::lock_guard guard(g_notices.lock);
    ASSERT_EQ(g_notices.posts.size(), 1u);
    EXPECT_EQ(g_notices.posts[0].first, &m_window);
    EXPECT_EQ(g_notices.posts[0].second, kNotifyMessage);
  }
  std::int32_t code = -1;
  EXPECT_NE(m_player.GetEvent(&code), 0);
  EXPECT_EQ(code, 0);
  code = -1;
  EXPECT_EQ(m_player.GetEvent(&code), 0);
  EXPECT_EQ(code, -1);

  // Still loaded, back at the start: playing again starts the track over.
  EXPECT_EQ(m_player.Getsts(), 1);
  EXPECT_EQ(Position(m_player), 0);
  m_player.Play();
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), 0.1, 0.03);
}

TEST_P(PlayerTest, PauseHoldsThePositionAndPlayGoesOnFromIt) {
  Load();
  m_player.Play();
  ASSERT_TRUE(WaitForPosition(m_player, 1000));
  m_player.Pause();
  EXPECT_EQ(m_player.Getsts(), 3);
  std::int64_t paused = Position(m_player);
  ASSERT_LT(paused, 1400) << "the test needs the pause inside the second 0.3 step";

  m_capture.Clear();
  Sleep(500);
  EXPECT_EQ(Position(m_player), paused);
  std::vector<std::int16_t> whilePaused = m_capture.Samples();
  EXPECT_FALSE(whilePaused.empty());
  EXPECT_TRUE(std::all_of(whilePaused.begin(), whilePaused.end(), [](std::int16_t s) { return s == 0; }));

  m_player.Play();
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), 0.3, 0.03);
  EXPECT_GT(Position(m_player), paused);
}

TEST_P(PlayerTest, SetTimPosMovesWhereThePlayingGoesOn) {
  Load();
  // Before Play, as when resuming from a bookmark.
  std::int64_t at = 2250;
  m_player.SetTimPos(&at);
  EXPECT_EQ(Position(m_player), 2250);
  m_player.Play();
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), SteppedAmplitude(2.25), 0.03);
  EXPECT_GE(Position(m_player), 2250);

  // While playing: at once.
  at = 750;
  m_player.SetTimPos(&at);
  std::int64_t moved = Position(m_player);
  EXPECT_GE(moved, 750);
  EXPECT_LT(moved, 1000);
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), SteppedAmplitude(0.75), 0.03);

  // While paused: where Play goes on, to within a few milliseconds: the tone steps up
  // 50 ms after the new position.
  m_player.Pause();
  at = 3450;
  m_player.SetTimPos(&at);
  m_capture.Clear();
  m_player.Play();
  ASSERT_TRUE(m_capture.WaitForFrames(kRate / 10));
  EXPECT_NEAR(m_capture.Peak(kRate / 100, kRate * 3 / 100), 0.7, 0.05);
  EXPECT_NEAR(m_capture.Peak(kRate * 6 / 100, kRate * 4 / 100), 0.8, 0.05);

  // Past the end: the track ends as soon as it plays.
  at = 60000;
  m_player.SetTimPos(&at);
  ASSERT_TRUE(WaitForNotices(1));
  EXPECT_EQ(m_player.Getsts(), 1);
}

TEST_P(PlayerTest, StopRewindsAndKeepsTheFileLoaded) {
  Load();
  m_player.Play();
  ASSERT_TRUE(WaitForPosition(m_player, 600));
  m_player.Stop();
  EXPECT_EQ(m_player.Getsts(), 1);
  EXPECT_EQ(Position(m_player), 0);
  std::int32_t code = -1;
  EXPECT_EQ(m_player.GetEvent(&code), 0) << "stopping is not the end of the track";
  m_player.Play();
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), 0.1, 0.03);

  m_player.mp3Release();
  EXPECT_EQ(m_player.Getsts(), 0);
  m_player.Play();
  EXPECT_EQ(m_player.Getsts(), 0);
}

TEST_P(PlayerTest, VolumeFollowsTwoDecibelSteps) {
  Load();
  std::int64_t at = 3250;  // the 0.7 step
  m_player.SetTimPos(&at);
  m_player.Play();
  double full = LoudnessOfWhatPlaysNext();
  EXPECT_NEAR(full, 0.7, 0.04);

  m_player.SetVolume(12);  // 24 dB down
  m_player.SetTimPos(&at);
  EXPECT_NEAR(LoudnessOfWhatPlaysNext() / full, std::pow(10.0, -24.0 / 20), 0.006);

  m_player.SetVolume(0);
  m_player.SetTimPos(&at);
  EXPECT_EQ(LoudnessOfWhatPlaysNext(), 0.0);

  m_player.SetVolume(99);
  EXPECT_EQ(m_player.GetVolume(), 24);
  m_player.SetVolume(-1);
  EXPECT_EQ(m_player.GetVolume(), 0);
}

// The slideshow's music thread changes tracks on the end event while the window thread asks
// the state and the picture thread reads photo facts.
TEST_P(PlayerTest, SeveralThreadsAtOnce) {
  Load();
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int level = 0; !done; level = (level + 1) % 25) {
      m_player.SetVolume(level);
      if (m_player.Getsts() == 2) {
        m_player.Pause();
        m_player.Play();
      }
    }
  });
  threads.emplace_back([&] {
    _tag_PHOTO_INFO info;
    while (!done) {
      Position(m_player);
      m_player.GetPhotoInfo(&info, u"\\SDMMC\\missing.jpg");
    }
  });
  threads.emplace_back([&] {
    std::int64_t at = 3000;
    for (int i = 0; i < 200 && !done; ++i) m_player.SetTimPos(&at);
  });
  m_player.Play();
  // Two tracks, the second loaded on the first one's end event.
  ASSERT_TRUE(WaitForNotices(1));
  if (m_player.Getsts()) m_player.Stop();
  ASSERT_EQ(m_player.mp3LoadFile(GetParam().devicePath), 0);
  std::int64_t at = 3500;
  m_player.SetTimPos(&at);
  m_player.Play();
  ASSERT_TRUE(WaitForNotices(2));
  done = true;
  for (auto& thread : threads) thread.join();

  std::int32_t code = -1;
  int events = 0;
  while (m_player.GetEvent(&code)) {
    EXPECT_EQ(code, 0);
    ++events;
  }
  EXPECT_EQ(events, 2);
}

INSTANTIATE_TEST_SUITE_P(Formats, PlayerTest,
                         ::testing::Values(Kind{"mp3", "libmp3lame", "mp3", u"\\SDMMC\\Track.MP3"},
                                           Kind{"wma", "wmav2", "asf", u"\\SDMMC\\track.wma"}),
                         [](const auto& info) { return std::string(info.param.name); });

class PlayerLoadTest : public MediaTest {
 protected:
  TempDeviceRoot m_root;
  Cplayerc m_player;
};

TEST_F(PlayerLoadTest, FilesThatDoNotPlayAreRefusedAndLeaveNothingLoaded) {
  m_root.WriteFile("SDMMC/noise.mp3", std::string(20000, '\x5A'));
  m_root.WriteFile("SDMMC/empty.wma", "");
  m_root.WriteFile("SDMMC/photo.mp3", "\xFF\xD8\xFF\xE0\x00\x10JFIF");
  ASSERT_EQ(EncodeAudioFile((m_root.Path() / "SDMMC" / "good.wma").string(), "wmav2", "asf", 0.5, SteppedTone), "");
  // A track cut off after its header.
  std::string good = m_root.ReadFile("SDMMC/good.wma");
  m_root.WriteFile("SDMMC/cut.wma", good.substr(0, 600));

  for (const char16_t* path : {u"\\SDMMC\\missing.mp3", u"\\SDMMC\\noise.mp3", u"\\SDMMC\\empty.wma",
                               u"\\SDMMC\\photo.mp3", u"\\SDMMC\\cut.wma", u"\\SDMMC", u"\\..\\etc\\passwd"}) {
    ASSERT_EQ(m_player.mp3LoadFile(u"\\SDMMC\\good.wma"), 0);
    EXPECT_NE(m_player.mp3LoadFile(path), 0) << ToUtf8(path);
    EXPECT_EQ(m_player.Getsts(), 0) << ToUtf8(path);
  }

  // With nothing loaded every call is harmless.
  std::int64_t at = 1000;
  m_player.SetTimPos(&at);
  m_player.Play();
  m_player.Pause();
  m_player.Stop();
  EXPECT_EQ(m_player.Getsts(), 0);
  EXPECT_EQ(Position(m_player), 0);
}

}  // namespace
