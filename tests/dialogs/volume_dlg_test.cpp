#include "dialogs/volume_dlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

#include "platform/device/drivers.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/kernel.h"
#include "platform/media/audio_output.h"
#include "res/resources.h"
#include "skin/skin.h"
#include "store/parm_file.h"
#include "tests/support/temp_root.h"

namespace {

constexpr WORD kPicture = 0x7BEF;  // the slideshow's picture behind the dialog: plain grey
constexpr int kRate = 8000;

// A mono 16-bit WAV of `frames` samples of one value.
std::string Wav(int frames, std::int16_t value) {
  std::string wav = "RIFF";
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  put(36 + frames * 2, 4);
  wav += "WAVEfmt ";
  for (auto [v, bytes] : {std::pair{16, 4}, {1, 2}, {1, 2}, {kRate, 4}, {kRate * 2, 4}, {2, 2}, {16, 2}}) put(v, bytes);
  wav += "data";
  put(frames * 2, 4);
  for (int i = 0; i < frames; ++i) put(static_cast<std::uint16_t>(value), 2);
  return wav;
}

WORD Pixel(int x, int y) { return GetVisibleFrame()[y * kScreenWidth + x]; }

// True when the 88 x 56 button at x shows the skin bitmap.
bool ButtonShows(int x, UINT id) {
  CBitmap bitmap;
  LoadSkinBitmap(bitmap, id);
  int pitch = 0;
  const WORD* pixels = BitmapPixels(static_cast<HBITMAP>(bitmap.m_hObject), &pitch);
  for (int j = 0; j < 56; ++j)
    for (int i = 0; i < 88; ++i)
      if (Pixel(x + i, 400 + j) != pixels[j * pitch + i]) return false;
  return true;
}

// Where the bar's fill ends, read along its middle row.
int FillEnd() {
  CBitmap fill;
  LoadSkinBitmap(fill, skin::kVolumeFill);
  int pitch = 0;
  const WORD* row = BitmapPixels(static_cast<HBITMAP>(fill.m_hObject), &pitch) + 18 * pitch;
  int x = CVolumeDlg::kFillX;
  while (x < 600 && Pixel(x, CVolumeDlg::kFillY + 18) == row[(x - CVolumeDlg::kFillX) % CVolumeDlg::kFillWidth]) ++x;
  return x;
}

void Tap(int x) {
  PostTouch(TouchKind::Down, x, 428);
  PostTouch(TouchKind::Up, x, 428);
  WaitForWindowThreadIdle(5000);
}
constexpr int kExit = 64, kDec = 174, kAdd = 634, kPlay = 729;  // the buttons' middles

class VolumeDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SetClockSpeed(10);
    InstallResources();
    std::fill(GetVisibleFrame(), GetVisibleFrame() + kScreenWidth * kScreenHeight, kPicture);
    // The slideshow stands behind the dialog and keeps a window alive for the idle waits.
    m_show = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 800, 480}, u"", 0, nullptr);
    ShowWindow(m_show, SW_SHOW);
    ValidateRect(m_show, nullptr);
    m_root.WriteFile("SDMMC/quiet.mp3", Wav(kRate * 60, 0));
    ClearBacklightCalls();
  }
  void TearDown() override {
    ::DestroyWindow(m_show);
    SetClockSpeed(1);
  }

  // Runs the dialog on this (the window) thread while `drive` runs on another once it is
  // shown; its result. `elapsed`: the device time from m_since to its end, m_since being set
  // when the dialog has been shown (before its 4 seconds began) and at will by drive.
  INT_PTR Run(const std::function<void()>& drive, DWORD* elapsed = nullptr) {
    CVolumeDlg dialog(&m_player, &m_level);
    m_since = GetTickCount();
    std::thread driver([&] {
      WaitForWindowThreadIdle(5000);
      drive();
    });
    const INT_PTR result = dialog.DoModal();
    const DWORD end = GetTickCount();
    driver.join();
    if (elapsed) *elapsed = end - m_since;
    return result;
  }

  TempDeviceRoot m_root;
  HWND m_show = nullptr;
  Cplayerc m_player;
  int m_level = 12;
  DWORD m_since = 0;
};

TEST_F(VolumeDialog, StepsTheLevelAndTheBarWithinZeroTo24AndPausesOrPlaysTheMusic) {
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

  Run([&] {
    EXPECT_TRUE(ButtonShows(20, skin::kBackUp) && ButtonShows(130, skin::kVolumeDecUp) &&
                ButtonShows(590, skin::kVolumeAddUp) && ButtonShows(685, skin::kPauseUp));
    EXPECT_EQ(FillEnd(), 306 + 12 * 11);
    // Around the controls the picture stays.
    for (POINT p : {POINT{400, 200}, POINT{10, 399}, POINT{120, 430}, POINT{583, 430}, POINT{780, 470}})
      EXPECT_EQ(Pixel(p.x, p.y), kPicture) << p.x << "," << p.y;
    Tap(kAdd);
    EXPECT_EQ(m_level, 13);
    EXPECT_EQ(m_player.GetVolume(), 13);
    EXPECT_EQ(FillEnd(), 449);  // 11 pixels more from x = 438
    Tap(kDec);
    EXPECT_EQ(FillEnd(), 438);  // and the track put back there
    for (int i = 0; i < 14; ++i) Tap(kAdd);
    EXPECT_EQ(m_level, 24);
    EXPECT_EQ(FillEnd(), 570);  // 264 pixels: 5 more than the fill bitmap has
    m_player.SetVolume(3);
    Tap(kAdd);  // at the top it stays, and still tells the player
    EXPECT_EQ(m_player.GetVolume(), 24);
    Tap(kDec);
    EXPECT_EQ(FillEnd(), 306 + 23 * 11);
    for (int i = 0; i < 30; ++i) Tap(kDec);
    EXPECT_EQ(m_level, 0);
    EXPECT_EQ(FillEnd(), 306);
    EXPECT_EQ(CVolumeDlg::LastDrawnLevel(), 0);
    Tap(kPlay);
    EXPECT_EQ(m_player.Getsts(), 3);
    EXPECT_TRUE(ButtonShows(685, skin::kPlayUp));
    Tap(kPlay);
    EXPECT_EQ(m_player.Getsts(), 2);
    EXPECT_TRUE(ButtonShows(685, skin::kPauseUp));
    Tap(kExit);
  });
  for (int i = 0; i < 300 && loud == 0; ++i) Sleep(10);
  SetAudioTap(nullptr);
  // The buttons beep, and ask for no backlight as the other screens' clicks do.
  EXPECT_GT(loud, 0);
  EXPECT_TRUE(GetBacklightCalls().empty());
}

TEST_F(VolumeDialog, ClosesItselfFourSecondsAfterTheLastTouchUnlessExitIsPressed) {
  DWORD elapsed = 0;
  EXPECT_EQ(Run([] {}, &elapsed), kVolumeTimedOut);
  EXPECT_GE(elapsed, 4000u);
  EXPECT_LT(elapsed, 4000u + 1000u);  // the dialog's making comes first
  // A touch at 3 seconds starts the 4 seconds again.
  EXPECT_EQ(Run(
                [&] {
                  Sleep(3000);
                  m_since = GetTickCount();
                  Tap(kPlay);
                },
                &elapsed),
            kVolumeTimedOut);
  EXPECT_GE(elapsed, 4000u);
  EXPECT_LT(elapsed, 4600u);
  EXPECT_NE(Run([] { Tap(kExit); }), kVolumeTimedOut);
}

}  // namespace
