#include "platform/sound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/clock.h"
#include "platform/wav.h"
#include "tests/media/capture.h"
#include "tests/media/media_files.h"
#include "tests/support/temp_root.h"

namespace {

constexpr const char16_t* kClick = u"\\NAND\\app\\Sound.wav";
constexpr DWORD kFlags = SND_FILENAME | SND_SYNC;

std::vector<std::int32_t> Ramp(size_t count, int step, int limit) {
  std::vector<std::int32_t> samples(count);
  for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int>(i) * step % limit - limit / 2;
  return samples;
}

TEST(Wav, ReadsEverySampleFormatAsSixteenBits) {
  auto pcm16 = ParseWav(MakeWav(22050, 1, 16, {0, 1000, -1000, 32767, -32768}));
  ASSERT_TRUE(pcm16);
  EXPECT_EQ(pcm16->rate, 22050);
  EXPECT_EQ(pcm16->channels, 1);
  EXPECT_EQ(pcm16->samples, (std::vector<std::int16_t>{0, 1000, -1000, 32767, -32768}));

  auto pcm8 = ParseWav(MakeWav(8000, 2, 8, {0, 127, -128, 64}));  // stored unsigned
  ASSERT_TRUE(pcm8);
  EXPECT_EQ(pcm8->Frames(), 2u);
  EXPECT_EQ(pcm8->samples, (std::vector<std::int16_t>{0, 127 * 256, -32768, 64 * 256}));

  auto pcm24 = ParseWav(MakeWav(48000, 1, 24, {0x123456, -0x123456}));
  ASSERT_TRUE(pcm24);
  EXPECT_EQ(pcm24->samples, (std::vector<std::int16_t>{0x1234, -0x1235}));

  // 32-bit float in the extensible layout.
  std::string floatWav = MakeWav(44100, 1, 32, {0, 0});
  auto put16 = [&](size_t at, std::uint16_t v) {
    floatWav[at] = static_cast<char>(v & 0xFF);
    floatWav[at + 1] = static_cast<char>(v >> 8);
  };
  put16(20, 3);
  float values[2] = {0.5f, -2.0f};
  std::memcpy(&floatWav[44], values, sizeof values);
  auto flt = ParseWav(floatWav);
  ASSERT_TRUE(flt);
  EXPECT_EQ(flt->samples, (std::vector<std::int16_t>{16383, -32767}));
}

TEST(Wav, SkipsOtherChunksAndTakesWhatACutFileHolds) {
  std::string wav = MakeWav(11025, 1, 16, {10, 20, 30, 40});
  // An odd-sized chunk before the data is padded to an even length.
  wav.insert(36, std::string("LIST\x03\x00\x00\x00" "abc\x00", 12));
  auto withList = ParseWav(wav);
  ASSERT_TRUE(withList);
  EXPECT_EQ(withList->samples, (std::vector<std::int16_t>{10, 20, 30, 40}));

  // Cut in the middle of the third sample.
  auto cut = ParseWav(wav.substr(0, wav.size() - 3));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->samples, (std::vector<std::int16_t>{10, 20}));

  EXPECT_EQ(ParseWav(MakeWav(44100, 1, 16, std::vector<std::int32_t>(44101))).value().DurationMs(), 1001u);
}

TEST(Wav, RefusesWhatItCannotPlay) {
  std::string good = MakeWav(22050, 1, 16, {1, 2});
  EXPECT_FALSE(ParseWav(""));
  EXPECT_FALSE(ParseWav(std::string("RIFF\x04\x00\x00\x00WAVE", 12)));  // no chunks
  EXPECT_FALSE(ParseWav(good.substr(0, 30)));                  // cut inside the format
  std::string compressed = good;
  compressed[20] = 2;  // ADPCM
  EXPECT_FALSE(ParseWav(compressed));
  std::string noFormat = good;
  noFormat.replace(12, 4, "junk");
  EXPECT_FALSE(ParseWav(noFormat));
  std::string noChannels = good;
  noChannels[22] = 0;
  EXPECT_FALSE(ParseWav(noChannels));
  EXPECT_FALSE(ParseWav(std::string("RIFX") + good.substr(4)));
}

class PlaySoundTest : public MediaTest {
 protected:
  PlaySoundTest() : MediaTest(10.0) {}
  TempDeviceRoot m_root;
};

TEST_F(PlaySoundTest, TakesTheSoundsPlayTimeAndPlaysItsSamples) {
  std::vector<std::int32_t> samples = Ramp(22050, 37, 20000);  // one second at 22050 Hz
  m_root.WriteFile("NAND/app/Sound.wav", MakeWav(22050, 1, 16, samples));
  AudioCapture capture;

  std::uint64_t start = DeviceTimeMs();
  EXPECT_EQ(PlaySoundW(kClick, nullptr, kFlags), TRUE);
  std::uint64_t elapsed = DeviceTimeMs() - start;
  EXPECT_GE(elapsed, 1000u);
  EXPECT_LE(elapsed, 1400u);  // room for a busy machine

  std::vector<std::int16_t> played = capture.Samples();
  ASSERT_GE(played.size(), samples.size());
  for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(played[i], samples[i]) << i;
  // Only silence after the sound.
  EXPECT_TRUE(std::all_of(played.begin() + static_cast<std::ptrdiff_t>(samples.size()), played.end(),
                          [](std::int16_t s) { return s == 0; }));
}

TEST_F(PlaySoundTest, SoundsFromTwoThreadsPlayAtTheSameTime) {
  m_root.WriteFile("NAND/app/Sound.wav", MakeWav(8000, 2, 8, std::vector<std::int32_t>(2 * 8000)));  // 1 s
  std::uint64_t start = DeviceTimeMs();
  std::thread other([] { EXPECT_EQ(PlaySoundW(kClick, nullptr, kFlags), TRUE); });
  EXPECT_EQ(PlaySoundW(kClick, nullptr, kFlags), TRUE);
  other.join();
  std::uint64_t elapsed = DeviceTimeMs() - start;
  EXPECT_GE(elapsed, 1000u);
  EXPECT_LT(elapsed, 1900u);  // one after the other would take 2 s
}

TEST_F(PlaySoundTest, MissingOrUnplayableSoundsReturnAtOnce) {
  m_root.WriteFile("NAND/app/Bad.wav", "RIFF....WAVEnothing here");
  m_root.WriteFile("NAND/app/Sound.wav", MakeWav(22050, 1, 16, std::vector<std::int32_t>(22050)));
  std::filesystem::create_directories(m_root.Path() / "NAND" / "app" / "Folder.wav");

  std::uint64_t start = DeviceTimeMs();
  EXPECT_EQ(PlaySoundW(u"\\NAND\\app\\Missing.wav", nullptr, kFlags), FALSE);
  EXPECT_EQ(PlaySoundW(u"\\NAND\\app\\Bad.wav", nullptr, kFlags), FALSE);
  EXPECT_EQ(PlaySoundW(u"\\NAND\\app\\Folder.wav", nullptr, kFlags), FALSE);
  EXPECT_EQ(PlaySoundW(kClick, nullptr, SND_ALIAS), FALSE);
  EXPECT_EQ(PlaySoundW(kClick, nullptr, SND_FILENAME | SND_ASYNC), FALSE);
  EXPECT_EQ(PlaySoundW(nullptr, nullptr, 0), TRUE);
  EXPECT_LT(DeviceTimeMs() - start, 500u);  // the good sound would take 1 s
}

}  // namespace

namespace {

// SDL's disk driver stands in for a sound card: it plays in real time into a file.
class SdlSoundTest : public PlaySoundTest {
 protected:
  void SetUp() override {
    PlaySoundTest::SetUp();
    SetClockSpeed(1.0);  // a device plays at host speed
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", (m_root.Path() / "played.raw").c_str(), 1);
  }
  void TearDown() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    PlaySoundTest::TearDown();
  }
};

TEST_F(SdlSoundTest, PlaysThroughTheDeviceUntilTheSoundHasBeenHeard) {
  std::vector<std::int32_t> samples = Ramp(2 * 13230, 101, 30000);  // 0.3 s of stereo at 44100 Hz
  m_root.WriteFile("NAND/app/Sound.wav", MakeWav(44100, 2, 16, samples));
  std::atomic<bool> sawDevice{false};
  SetAudioTap([&](const AudioOutput& output, const std::int16_t*, size_t) {
    if (!output.IsNull()) sawDevice = true;
  });
  std::uint64_t start = DeviceTimeMs();
  EXPECT_EQ(PlaySoundW(kClick, nullptr, kFlags), TRUE);
  std::uint64_t elapsed = DeviceTimeMs() - start;
  SetAudioTap({});
  EXPECT_TRUE(sawDevice);
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 2000u);

  std::string played = m_root.ReadFile("played.raw");
  ASSERT_GE(played.size(), samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    std::int16_t sample;
    std::memcpy(&sample, played.data() + 2 * i, 2);
    ASSERT_EQ(sample, samples[i]) << i;
  }
}

}  // namespace
