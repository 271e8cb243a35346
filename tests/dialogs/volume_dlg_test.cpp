#include "dialogs/volume_dlg.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/device/drivers.h"
#include "platform/media/audio_output.h"
#include "store/parm_file.h"
#include "tests/support/screen.h"
#include "tests/support/temp_root.h"
#include "tests/support/wav_file.h"

namespace {

constexpr WORD kPicture = 0x7BEF;  // the slideshow's picture behind the dialog: plain grey
constexpr int kRate = 8000;

std::string Wav(int frames, std::int16_t value) { return MakeWav(kRate, 1, 16, std::vector<std::int32_t>(frames, value)); }

bool ButtonShows(int x, UINT id) { return SkinPixels(id).ShownAt(x, 400); }

// Where the bar's fill ends, read along its middle row.
int FillEnd() {
  const SkinPixels fill(skin::kVolumeFill);
  int x = CVolumeDlg::kFillX;
  while (x < 600 && Pixel(x, CVolumeDlg::kFillY + 18) == fill.At((x - CVolumeDlg::kFillX) % CVolumeDlg::kFillWidth, 18)) ++x;
  return x;
}

void Tap(int x) { TapHandled(VolumeButton(x), 5000); }

// The slideshow behind the dialog is the back window, over its picture.
class VolumeDialog : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    SetClockSpeed(10);
    FillFrame(kPicture);
    m_root.WriteFile("SDMMC/quiet.mp3", Wav(kRate * 60, 0));
    ClearBacklightCalls();
  }

  // Runs the dialog on this (the window) thread while `drive` runs on another once it is
  // shown; its result. m_elapsed: the device time from m_since to its end, m_since being set
  // when the dialog has been shown (before its 4 seconds began) and at will by drive.
  INT_PTR Run(const std::function<void()>& drive) {
    CVolumeDlg dialog(&m_player, &m_level);
    m_since = GetTickCount();
    DWORD end = 0;
    const INT_PTR result = RunWithDriver(
        [&] {
          const INT_PTR closed = dialog.DoModal();
          end = GetTickCount();  // before the driver is joined
          return closed;
        },
        [&] { WaitForWindowThreadIdle(5000), drive(); });
    m_elapsed = end - m_since;
    return result;
  }

  TempDeviceRoot m_root;
  Cplayerc m_player;
  int m_level = 12;
  DWORD m_since = 0, m_elapsed = 0;
};

TEST_F(VolumeDialog, StepsTheLevelAndTheBarWithinZeroTo24AndPausesOrPlaysTheMusicUntilExit) {
  std::uint8_t settings[32] = {};
  settings[12] = 1;  // the click sound on
  CParmFileRW file;
  ASSERT_EQ(file.Write(u"NAND\\SETTING.PAR", settings, 32), 0);
  m_root.WriteFile("NAND/app/Sound.wav", Wav(kRate / 20, 0x2000));
  std::atomic<long> loud{0};
  SetAudioTap([&](const AudioOutput&, const std::int16_t* samples, size_t frames) {
    for (size_t i = 0; i < frames; ++i) loud += samples[i] != 0;
  });
  ASSERT_EQ(m_player.mp3LoadFile(u"\\SDMMC\\quiet.mp3"), 0);
  m_player.Play();

  const INT_PTR result = Run([&] {
    EXPECT_TRUE(ButtonShows(20, skin::kBackUp) && ButtonShows(130, skin::kVolumeDecUp) &&
                ButtonShows(590, skin::kVolumeAddUp) && ButtonShows(685, skin::kPauseUp));
    EXPECT_EQ(FillEnd(), 306 + 12 * 11);
    // Around the controls the picture stays.
    for (POINT p : {POINT{400, 200}, POINT{10, 399}, POINT{120, 430}, POINT{583, 430}, POINT{780, 470}})
      EXPECT_EQ(Pixel(p.x, p.y), kPicture) << p.x << "," << p.y;
    // Each step tells the player the level, also where the level stays.
    const struct { int button, taps, level, fillEnd; } steps[] = {
        {kVolumeUpX, 1, 13, 449},    // 11 pixels more from x = 438
        {kVolumeDownX, 1, 12, 438},  // and the track put back there
        {kVolumeUpX, 14, 24, 570},   // 264 pixels: 5 more than the fill bitmap has
        {kVolumeUpX, 1, 24, 570},
        {kVolumeDownX, 1, 23, 306 + 23 * 11},
        {kVolumeDownX, 30, 0, 306}};
    for (const auto& step : steps) {
      m_player.SetVolume(3);
      for (int i = 0; i < step.taps; ++i) Tap(step.button);
      EXPECT_EQ(m_level, step.level);
      EXPECT_EQ(m_player.GetVolume(), step.level);
      EXPECT_EQ(FillEnd(), step.fillEnd) << "level " << step.level;
    }
    EXPECT_EQ(CVolumeDlg::LastDrawnLevel(), 0);
    for (auto [state, button] : {std::pair{3, skin::kPlayUp}, {2, skin::kPauseUp}}) {  // paused, then playing again
      Tap(kVolumePlayX);
      EXPECT_EQ(m_player.Getsts(), state);
      EXPECT_TRUE(ButtonShows(685, button));
    }
    Tap(kVolumeExitX);
  });
  EXPECT_NE(result, kVolumeTimedOut);
  for (int i = 0; i < 300 && loud == 0; ++i) Sleep(10);
  SetAudioTap(nullptr);
  // The buttons beep, and ask for no backlight as the other screens' clicks do.
  EXPECT_GT(loud, 0);
  EXPECT_TRUE(GetBacklightCalls().empty());
}

TEST_F(VolumeDialog, ClosesItselfFourSecondsAfterTheLastTouch) {
  EXPECT_EQ(Run([] {}), kVolumeTimedOut);
  EXPECT_GE(m_elapsed, 4000u);
  EXPECT_LT(m_elapsed, 4000u + 1000u);  // the dialog's making comes first
  // A touch at 3 seconds starts the 4 seconds again.
  const auto touchAtThreeSeconds = [&] {
    Sleep(3000);
    m_since = GetTickCount();
    Tap(kVolumePlayX);
  };
  EXPECT_EQ(Run(touchAtThreeSeconds), kVolumeTimedOut);
  EXPECT_GE(m_elapsed, 4000u);
  EXPECT_LT(m_elapsed, 4600u);
}

}  // namespace
