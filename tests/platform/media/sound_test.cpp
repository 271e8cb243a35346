#include "platform/media/sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/kernel/clock.h"
#include "platform/media/wav.h"
#include "tests/platform/media/capture.h"
#include "tests/platform/media/media_files.h"
#include "tests/support/temp_root.h"

namespace {

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

TEST_F(PlaySoundTest, TakesTheSoundsPlayTimeAndPlaysItsSamplesWhatCannotPlayReturnsAtOnce) {
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
}

// SDL's disk driver stands in for a sound card: it plays in real time into a file.
TEST_F(PlaySoundTest, PlaysThroughAnSdlDeviceUntilTheSoundHasBeenHeard) {
  SetClockSpeed(1.0);  // a device plays at host speed
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", (m_root.Path() / "played.raw").c_str(), 1);
  std::vector<std::int32_t> samples = Ramp(2 * 13230);  // 0.3 s of stereo at 44100 Hz
  m_root.WriteFile("NAND/app/Sound.wav", MakeWav(44100, 2, 16, samples));
  std::atomic<bool> sawDevice{false};
  SetAudioTap([&](const AudioOutput& output, const std::int16_t*, size_t) { sawDevice = sawDevice || !output.IsNull(); });

  std::uint64_t start = DeviceTimeMs();
  EXPECT_EQ(PlaySoundW(kClick, nullptr, kFlags), TRUE);
  std::uint64_t elapsed = DeviceTimeMs() - start;
  SetAudioTap({});
  EXPECT_TRUE(sawDevice);
  EXPECT_GE(elapsed, 300u);
  EXPECT_LT(elapsed, 2000u);
  // The driver writes silence whenever it finds nothing queued, also before the sound on a
  // busy machine: the sound must be in the file whole, wherever it starts.
  std::string played = m_root.ReadFile("played.raw");
  ASSERT_GE(played.size(), samples.size() * 2);
  Samples played16(played.size() / 2);
  std::memcpy(played16.data(), played.data(), played16.size() * 2);
  EXPECT_NE(std::search(played16.begin(), played16.end(), samples.begin(), samples.end()), played16.end());
}

}  // namespace
