// The media layer: the music player, the photo facts it reads from a picture file's header,
// WAV files and the sounds played from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/kernel/clock.h"
#include "platform/kernel/wide.h"
#include "platform/media/photo_info.h"
#include "platform/media/player.h"
#include "platform/media/sound.h"
#include "platform/media/wav.h"
#include "tests/platform/media/capture.h"
#include "tests/platform/media/media_files.h"
#include "tests/support/temp_root.h"

namespace {

constexpr UINT kNotifyMessage = 0x464;
constexpr size_t kRate = 44100;

// The notifications the player posted, as (window, message).
std::mutex g_noticeLock;
std::condition_variable g_noticeChanged;
std::vector<std::pair<HWND, UINT>> g_notices;

void RecordNotice(HWND window, UINT message) {
  std::lock_guard guard(g_noticeLock);
  g_notices.emplace_back(window, message);
  g_noticeChanged.notify_all();
}

bool WaitForNotices(size_t count) {
  std::unique_lock guard(g_noticeLock);
  return g_noticeChanged.wait_for(guard, kGiveUp, [&] { return g_notices.size() >= count; });
}

void SetPosition(Cplayerc& player, std::int64_t ms) { player.SetTimPos(&ms); }

struct Kind {
  const char* name;
  const char* encoder;
  const char* muxer;
  const char16_t* devicePath;  // of the file "SDMMC/track.<name>", in other case
};

// A four-second SteppedTone track of each kind, on a clock ten times as fast.
class PlayerTest : public MediaTest, public ::testing::WithParamInterface<Kind> {
 protected:
  PlayerTest() : MediaTest(10.0) {}

  void SetUp() override {
    MediaTest::SetUp();
    if (!HasAudioEncoder(GetParam().encoder)) GTEST_SKIP() << "FFmpeg has no " << GetParam().encoder << " encoder";
    std::string host = (m_root.Path() / "SDMMC" / (std::string("track.") + GetParam().name)).string();
    ASSERT_EQ(EncodeAudioFile(host, GetParam().encoder, GetParam().muxer, 4.0, SteppedTone), "");
    SetPlayerNotifyHook(RecordNotice);
    m_player.SetNotify(m_window, kNotifyMessage);
    std::lock_guard guard(g_noticeLock);
    g_notices.clear();
    ASSERT_EQ(m_player.mp3LoadFile(GetParam().devicePath), 0);
  }
  void TearDown() override {
    SetPlayerNotifyHook(nullptr);
    MediaTest::TearDown();
  }

  // The loudness of 50 ms of what plays next, after 10 ms that may still be from before.
  double LoudnessOfWhatPlaysNext() {
    m_capture.Clear();
    EXPECT_TRUE(m_capture.WaitForFrames(kRate * 60 / 1000));
    return m_capture.Peak(kRate / 100, kRate / 20);
  }

  // Waits on the device clock until the player has played up to `ms`.
  bool WaitForPosition(std::int64_t ms) {
    auto giveUp = std::chrono::steady_clock::now() + kGiveUp;
    while (Position(m_player) < ms && std::chrono::steady_clock::now() < giveUp) Sleep(5);
    return Position(m_player) >= ms;
  }

  TempDeviceRoot m_root;
  AudioCapture m_capture;
  Cplayerc m_player;
  HWND m_window = reinterpret_cast<HWND>(&m_root);  // stands for the window the notification goes to
};

TEST_P(PlayerTest, PlaysToTheEndInRealTimeAndPostsTheEndEvent) {
  EXPECT_EQ(m_player.Getsts(), 1);
  std::uint64_t start = DeviceTimeMs();
  m_player.Play();
  EXPECT_EQ(m_player.Getsts(), 2);
  ASSERT_TRUE(WaitForNotices(1));
  std::uint64_t elapsed = DeviceTimeMs() - start;
  EXPECT_GE(elapsed, 3950u);  // never early; the upper bound leaves room for a busy machine
  EXPECT_LE(elapsed, 12000u);
  EXPECT_EQ(g_notices, (std::vector<std::pair<HWND, UINT>>{{m_window, kNotifyMessage}}));

  std::int32_t code = -1;
  EXPECT_TRUE(m_player.GetEvent(&code) && code == 0);
  EXPECT_EQ(m_player.GetEvent(&code), 0) << "the end event is taken once";

  // Still loaded, back at the start: playing again starts the track over.
  EXPECT_EQ(m_player.Getsts(), 1);
  EXPECT_EQ(Position(m_player), 0);
  m_player.Play();
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), 0.1, 0.03);
}

TEST_P(PlayerTest, PauseHoldsThePositionAndStopRewinds) {
  m_player.Play();
  ASSERT_TRUE(WaitForPosition(1000));
  m_player.Pause();
  m_player.Pause();  // paused already: nothing changes
  EXPECT_EQ(m_player.Getsts(), 3);
  std::int64_t paused = Position(m_player);
  ASSERT_LT(paused, 1400) << "the test needs the pause inside the 0.3 step";

  m_capture.Clear();
  Sleep(500);
  EXPECT_EQ(Position(m_player), paused);
  std::vector<std::int16_t> whilePaused = m_capture.Samples();
  EXPECT_FALSE(whilePaused.empty());
  EXPECT_EQ(std::count(whilePaused.begin(), whilePaused.end(), 0), static_cast<std::ptrdiff_t>(whilePaused.size()));

  m_player.Play();
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), 0.3, 0.03);
  EXPECT_GT(Position(m_player), paused);

  m_player.Stop();
  EXPECT_EQ(m_player.Getsts(), 1);
  EXPECT_EQ(Position(m_player), 0);
  m_player.Play();
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), 0.1, 0.03);
  std::int32_t code = -1;
  EXPECT_EQ(m_player.GetEvent(&code), 0) << "stopping is not the end of the track";

  m_player.mp3Release();
  EXPECT_EQ(m_player.Getsts(), 0);
  m_player.Play();
  EXPECT_EQ(m_player.Getsts(), 0);
}

TEST_P(PlayerTest, SetTimPosMovesWhereThePlayingGoesOnAndTheVolumeStepsByTwoDecibels) {
  SetPosition(m_player, 2250);  // before Play, as when resuming from a bookmark
  EXPECT_EQ(Position(m_player), 2250);
  m_player.Play();
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), SteppedAmplitude(2.25), 0.03);

  SetPosition(m_player, 750);  // while playing: at once
  EXPECT_GE(Position(m_player), 750);
  EXPECT_LT(Position(m_player), 1000);
  EXPECT_NEAR(LoudnessOfWhatPlaysNext(), SteppedAmplitude(0.75), 0.03);

  // While paused: where Play goes on, to within a few milliseconds, as the tone steps up
  // 50 ms after the new position.
  m_player.Pause();
  SetPosition(m_player, 3450);
  m_capture.Clear();
  m_player.Play();
  ASSERT_TRUE(m_capture.WaitForFrames(kRate / 10));
  EXPECT_NEAR(m_capture.Peak(kRate / 100, kRate * 3 / 100), 0.7, 0.05);
  EXPECT_NEAR(m_capture.Peak(kRate * 6 / 100, kRate * 4 / 100), 0.8, 0.05);

  // The volume follows two-decibel steps.
  SetPosition(m_player, 3250);  // the 0.7 step
  const double full = LoudnessOfWhatPlaysNext();
  EXPECT_NEAR(full, 0.7, 0.04);
  m_player.SetVolume(12);  // 24 dB down
  SetPosition(m_player, 3250);
  EXPECT_NEAR(LoudnessOfWhatPlaysNext() / full, std::pow(10.0, -24.0 / 20), 0.006);
  m_player.SetVolume(0);
  EXPECT_EQ(LoudnessOfWhatPlaysNext(), 0.0);
  m_player.SetVolume(99);
  EXPECT_EQ(m_player.GetVolume(), 24);

  SetPosition(m_player, 60000);  // past the end: the track ends at once
  ASSERT_TRUE(WaitForNotices(1));
  EXPECT_EQ(m_player.Getsts(), 1);
}

// As in the slideshow: the window thread toggles and changes the volume, the picture thread
// reads photo facts, and the track changes on the end event.
TEST_P(PlayerTest, SeveralThreadsAtOnce) {
  std::atomic<bool> done{false};
  std::thread window([&] {
    for (int level = 0; !done; level = (level + 1) % 25) {
      m_player.SetVolume(level);
      if (m_player.Getsts() == 2) m_player.Pause();
      m_player.Play();
      Position(m_player);
    }
  });
  std::thread pictures([&] {
    _tag_PHOTO_INFO info;
    while (!done) m_player.GetPhotoInfo(&info, u"\\SDMMC\\missing.jpg");
  });
  SetPosition(m_player, 3000);
  m_player.Play();
  ASSERT_TRUE(WaitForNotices(1));
  if (m_player.Getsts()) m_player.Stop();
  ASSERT_EQ(m_player.mp3LoadFile(GetParam().devicePath), 0);
  SetPosition(m_player, 3500);
  m_player.Play();
  ASSERT_TRUE(WaitForNotices(2));
  done = true;
  window.join();
  pictures.join();
  std::int32_t code = -1;
  EXPECT_TRUE(m_player.GetEvent(&code) && code == 0 && m_player.GetEvent(&code) && code == 0);
  EXPECT_EQ(m_player.GetEvent(&code), 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, PlayerTest,
                         ::testing::Values(Kind{"mp3", "libmp3lame", "mp3", u"\\SDMMC\\Track.MP3"},
                                           Kind{"wma", "wmav2", "asf", u"\\sdmmc\\track.wma"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlayerLoad, FilesThatDoNotPlayAreRefusedAndWithoutAHookTheEndIsPostedToTheWindow) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  TempDeviceRoot root;
  Cplayerc player;
  ASSERT_EQ(WriteSteppedTrack((root.Path() / "SDMMC" / "good.wma").string(), 0.5), "");
  root.WriteFile("SDMMC/noise.mp3", std::string(20000, '\x5A'));
  root.WriteFile("SDMMC/photo.mp3", "\xFF\xD8\xFF\xE0\x00\x10JFIF");
  root.WriteFile("SDMMC/cut.wma", root.ReadFile("SDMMC/good.wma").substr(0, 600));  // header only

  for (const char16_t* path : {u"\\SDMMC\\missing.mp3", u"\\SDMMC\\noise.mp3", u"\\SDMMC\\photo.mp3",
                               u"\\SDMMC\\cut.wma", u"\\SDMMC"}) {
    ASSERT_EQ(player.mp3LoadFile(u"\\SDMMC\\good.wma"), 0);
    EXPECT_NE(player.mp3LoadFile(path), 0);
    EXPECT_EQ(player.Getsts(), 0);
  }
  // With nothing loaded every call is harmless.
  SetPosition(player, 1000);
  player.Play();
  player.Stop();
  EXPECT_EQ(player.Getsts(), 0);
  EXPECT_EQ(Position(player), 0);

  // The window's thread receives the notification.
  HWND window = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 10, 10}, u"music", 0, nullptr);
  player.SetNotify(window, kNotifyMessage);
  ASSERT_EQ(player.mp3LoadFile(u"\\SDMMC\\good.wma"), 0);
  player.Play();
  MSG msg;
  while (GetMessage(&msg, nullptr, 0, 0) && msg.message != kNotifyMessage) DispatchMessage(&msg);
  EXPECT_EQ(msg.hwnd, window);
  std::int32_t code = -1;
  EXPECT_TRUE(player.GetEvent(&code) && code == 0);
  DestroyWindow(window);
}

std::string Be16(unsigned v) { return {static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }
std::string Be32(std::uint32_t v) { return Be16(v >> 16) + Be16(v & 0xFFFF); }
std::string Le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }
std::string Le32(std::uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string Segment(unsigned char marker, const std::string& body) {
  return std::string{'\xFF', static_cast<char>(marker)} + Be16(static_cast<unsigned>(body.size() + 2)) + body;
}

// The start of a JPEG file up to its frame header, with the tables a camera writes first.
std::string Jpeg(unsigned width, unsigned height, int components, unsigned char frameMarker = 0xC0) {
  std::string frame = std::string(1, 8) + Be16(height) + Be16(width) + std::string(1, static_cast<char>(components));
  for (int c = 0; c < components; ++c) frame += std::string{static_cast<char>(c + 1), 0x11, 0};
  return "\xFF\xD8" + Segment(0xE0, std::string("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14)) +
         Segment(0xE1, "Exif" + std::string(3000, '\0')) +  // a large EXIF block
         Segment(0xDB, std::string(65, '\x01')) + "\xFF\xFF" +   // a fill byte before the next marker
         Segment(0xC4, std::string(30, '\x02')) +                // a Huffman table, not a frame
         Segment(frameMarker, frame) + Segment(0xDA, std::string(10, '\0')) + "\x12\x34\xFF\xD9";
}

std::string Png(std::uint32_t width, std::uint32_t height, int bits, int colourType) {
  std::string ihdr = Be32(width) + Be32(height) + std::string{static_cast<char>(bits), static_cast<char>(colourType), 0, 0, 0};
  return std::string("\x89PNG\r\n\x1A\n", 8) + Be32(13) + "IHDR" + ihdr + Be32(0) + Be32(0) + "IEND" + Be32(0);
}

std::string Gif(unsigned width, unsigned height, unsigned char flags) {
  return "GIF89a" + Le16(width) + Le16(height) + std::string{static_cast<char>(flags), 0, 0} + std::string(48, '\0') + ";";
}

std::string Bmp(std::int32_t width, std::int32_t height, int bits) {
  std::string info = Le32(40) + Le32(static_cast<std::uint32_t>(width)) + Le32(static_cast<std::uint32_t>(height)) +
                     Le16(1) + Le16(static_cast<unsigned>(bits)) + std::string(24, '\0');
  return "BM" + Le32(54 + 16) + Le32(0) + Le32(54) + info + std::string(16, '\x7F');
}

std::string OldBmp(unsigned width, unsigned height, int bits) {
  return "BM" + Le32(26 + 6) + Le32(0) + Le32(26) + Le32(12) + Le16(width) + Le16(height) + Le16(1) +
         Le16(static_cast<unsigned>(bits)) + std::string(6, '\0');
}

struct Read {
  int result;
  std::string format;
  std::int32_t width, height, depth;
  bool operator==(const Read&) const = default;
};
void PrintTo(const Read& r, std::ostream* out) {
  *out << r.result << " " << r.format << " " << r.width << "x" << r.height << "x" << r.depth;
}

class PhotoInfoTest : public ::testing::Test {
 protected:
  Read Info(const std::string& name, const std::string& bytes) {
    m_root.WriteFile("SDMMC/" + name, bytes);
    return InfoOf(u"\\SDMMC\\" + FromUtf8(name));
  }
  Read InfoOf(const WString& devicePath) {
    // A record in a larger buffer, as callers give it, preset to garbage.
    unsigned char buffer[300];
    std::memset(buffer, 0xEE, sizeof buffer);
    auto* record = reinterpret_cast<_tag_PHOTO_INFO*>(buffer);
    int result = m_player.GetPhotoInfo(record, devicePath.c_str());
    for (size_t i = sizeof(_tag_PHOTO_INFO); i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], 0xEE) << "byte " << i;
    if (result == -1) return {result, "", 0, 0, 0};
    return {result, ToUtf8(record->Format), record->Width, record->Height, record->BitDepth};
  }

  TempDeviceRoot m_root;
  Cplayerc m_player;
};

TEST_F(PhotoInfoTest, ReadsEachFormatFromItsHeaderByDevicePathDamagedOrUnknownFilesAreNon) {
  EXPECT_EQ(Info("a.jpg", Jpeg(4000, 3000, 3)), (Read{0, "JPEG", 4000, 3000, 24}));
  EXPECT_EQ(Info("grey.JPE", Jpeg(640, 480, 1, 0xC2)), (Read{0, "JPEG", 640, 480, 8}));  // progressive
  EXPECT_EQ(Info("b.png", Png(1920, 1080, 8, 6)), (Read{0, "PNG", 1920, 1080, 32}));
  EXPECT_EQ(Info("c.png", Png(33, 17, 4, 3)), (Read{0, "PNG", 33, 17, 4}));              // palette
  EXPECT_EQ(Info("d.png", Png(5, 6, 16, 0)), (Read{0, "PNG", 5, 6, 16}));                // 16-bit grey
  EXPECT_EQ(Info("e.gif", Gif(320, 200, 0xF7)), (Read{0, "GIF", 320, 200, 8}));          // 256 colours
  EXPECT_EQ(Info("f.gif", Gif(64, 64, 0x80 | 0x01)), (Read{0, "GIF", 64, 64, 2}));
  EXPECT_EQ(Info("g.bmp", Bmp(800, -480, 24)), (Read{0, "BMP", 800, 480, 24}));          // rows top to bottom
  EXPECT_EQ(Info("h.bmp", Bmp(3, 2, 1)), (Read{0, "BMP", 3, 2, 1}));
  EXPECT_EQ(Info("i.bmp", OldBmp(100, 50, 8)), (Read{0, "BMP", 100, 50, 8}));
  // The content decides, not the name.
  EXPECT_EQ(Info("really-a-png.jpg", Png(7, 8, 8, 2)), (Read{0, "PNG", 7, 8, 24}));

  // Files are found by device path, in any case; what cannot be read at all gives -1.
  m_root.WriteFile("SDMMC/Holiday/Beach.JPG", Jpeg(1600, 1200, 3));
  EXPECT_EQ(InfoOf(u"\\sdmmc\\HOLIDAY\\beach.jpg"), (Read{0, "JPEG", 1600, 1200, 24}));
  for (const char16_t* path : {u"\\SDMMC\\missing.jpg", u"\\SDMMC", u"\\..\\outside.jpg"})  // missing, a folder, outside
    EXPECT_EQ(InfoOf(path).result, -1) << ToUtf8(path);
  _tag_PHOTO_INFO info;
  EXPECT_EQ(m_player.GetPhotoInfo(&info, nullptr), -1);
  EXPECT_EQ(ReadPhotoInfo("", &info), -1);

  std::string jpeg = Jpeg(4000, 3000, 3);
  std::string png = Png(100, 100, 8, 2);
  const std::pair<const char*, std::string> damaged[] = {
      {"cut-before-frame.jpg", jpeg.substr(0, 2000)},
      {"cut-in-frame.jpg", jpeg.substr(0, jpeg.find("\xFF\xC0") + 6)},
      {"zero-size.jpg", Jpeg(0, 3000, 3)},
      {"no-marker.jpg", "\xFF\xD8garbage"},
      {"cut.png", png.substr(0, 20)},
      {"bad-type.png", Png(100, 100, 8, 5)},
      {"zero.gif", Gif(0, 10, 0)},
      {"bad-header.bmp", "BM" + std::string(12, '\0') + Le32(20) + std::string(40, '\0')},
      {"odd-bits.bmp", Bmp(10, 10, 7)},
      {"text.jpg", "hello, world"},
      {"empty.png", ""},
  };
  for (const auto& [name, bytes] : damaged) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Info(name, bytes), (Read{0, "NON", 0, 0, 0}));
  }
}

constexpr const char16_t* kClick = u"\\NAND\\app\\Sound.wav";
constexpr DWORD kFlags = SND_FILENAME | SND_SYNC;

std::vector<std::int32_t> Ramp(size_t count) {
  std::vector<std::int32_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int>(i * 37 % 20000) - 10000;
  return samples;
}

using Samples = std::vector<std::int16_t>;

TEST(Wav, ReadsPcmOfEachWidthAndWhatACutFileHolds) {
  EXPECT_EQ(ParseWav(MakeWav(22050, 1, 16, {0, -1000, 32767, -32768}))->samples, (Samples{0, -1000, 32767, -32768}));
  auto pcm8 = ParseWav(MakeWav(8000, 2, 8, {0, 127, -128, 64}));  // stored unsigned
  EXPECT_EQ(pcm8->samples, (Samples{0, 127 * 256, -32768, 64 * 256}));
  EXPECT_EQ(pcm8->Frames(), 2u);
  EXPECT_EQ(ParseWav(MakeWav(48000, 1, 24, {0x123456, -0x123456}))->samples, (Samples{0x1234, -0x1235}));

  std::string wav = MakeWav(11025, 1, 16, {10, 20, 30, 40});
  wav.insert(36, std::string("LIST\3\0\0\0abc\0", 12));  // an odd-sized chunk, padded to even
  EXPECT_EQ(ParseWav(wav)->samples, (Samples{10, 20, 30, 40}));
  EXPECT_EQ(ParseWav(wav.substr(0, wav.size() - 3))->samples, (Samples{10, 20}));  // cut inside the third
  EXPECT_EQ(ParseWav(MakeWav(44100, 1, 16, std::vector<std::int32_t>(44101)))->DurationMs(), 1001u);

  std::string compressed = MakeWav(22050, 1, 16, {1, 2});
  compressed[20] = 2;  // ADPCM
  for (const std::string& bad : {std::string(), std::string("RIFF\4\0\0\0WAVE", 12), wav.substr(0, 30), compressed})
    EXPECT_FALSE(ParseWav(bad));
}

class PlaySoundTest : public MediaTest {
 protected:
  PlaySoundTest() : MediaTest(10.0) {}
  TempDeviceRoot m_root;
};

TEST_F(PlaySoundTest, TakesTheSoundsPlayTimeOnTheNullOutputAndOnAnSdlDeviceWhatCannotPlayReturnsAtOnce) {
  std::vector<std::int32_t> samples = Ramp(22050);  // one second at 22050 Hz
  m_root.WriteFile("NAND/app/Sound.wav", MakeWav(22050, 1, 16, samples));
  m_root.WriteFile("NAND/app/Bad.wav", "RIFF....WAVEnothing here");
  AudioCapture capture;
  std::uint64_t start = DeviceTimeMs();
  EXPECT_EQ(PlaySoundW(u"\\NAND\\app\\Missing.wav", nullptr, kFlags), FALSE);
  EXPECT_EQ(PlaySoundW(u"\\NAND\\app\\Bad.wav", nullptr, kFlags), FALSE);
  EXPECT_EQ(PlaySoundW(u"\\NAND\\app", nullptr, kFlags), FALSE);  // a folder
  EXPECT_EQ(PlaySoundW(kClick, nullptr, SND_ALIAS), FALSE);
  EXPECT_EQ(PlaySoundW(kClick, nullptr, SND_FILENAME | SND_ASYNC), FALSE);
  EXPECT_LT(DeviceTimeMs() - start, 500u);  // the good sound would take 1 s

  start = DeviceTimeMs();
  EXPECT_EQ(PlaySoundW(kClick, nullptr, kFlags), TRUE);
  std::uint64_t elapsed = DeviceTimeMs() - start;
  EXPECT_GE(elapsed, 1000u);
  EXPECT_LE(elapsed, 6000u);  // only that it does not go on far too long: a busy machine is slow

  Samples played = capture.Samples();
  ASSERT_GE(played.size(), samples.size());
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), played.begin()));
  EXPECT_EQ(std::count(played.begin() + static_cast<std::ptrdiff_t>(samples.size()), played.end(), 0),
            static_cast<std::ptrdiff_t>(played.size() - samples.size()))
      << "only silence after the sound";

  // SDL's disk driver stands in for a sound card: it plays in real time into a file.
  SetClockSpeed(1.0);  // a device plays at host speed
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", (m_root.Path() / "played.raw").c_str(), 1);
  const std::vector<std::int32_t> stereo = Ramp(2 * 13230);  // 0.3 s of stereo at 44100 Hz
  m_root.WriteFile("NAND/app/Sound.wav", MakeWav(44100, 2, 16, stereo));
  std::atomic<bool> sawDevice{false};
  SetAudioTap([&](const AudioOutput& output, const std::int16_t*, size_t) { sawDevice = sawDevice || !output.IsNull(); });

  start = DeviceTimeMs();
  EXPECT_EQ(PlaySoundW(kClick, nullptr, kFlags), TRUE);
  elapsed = DeviceTimeMs() - start;
  SetAudioTap({});
  EXPECT_TRUE(sawDevice);
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 2000u);
  // The driver writes silence whenever it finds nothing queued, also before the sound on a
  // busy machine: the sound must be in the file whole, wherever it starts.
  const std::string file = m_root.ReadFile("played.raw");
  ASSERT_GE(file.size(), stereo.size() * 2);
  Samples played16(file.size() / 2);
  std::memcpy(played16.data(), file.data(), played16.size() * 2);
  EXPECT_NE(std::search(played16.begin(), played16.end(), stereo.begin(), stereo.end()), played16.end());
}

}  // namespace
