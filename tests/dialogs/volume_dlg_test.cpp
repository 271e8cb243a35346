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
  put(16, 4), put(1, 2), put(1, 2), put(kRate, 4), put(kRate * 2, 4), put(2, 2), put(16, 2);
  wav += "data";
  put(frames * 2, 4);
  for (int i = 0; i < frames; ++i) put(static_cast<std::uint16_t>(value), 2);
  return wav;
}

WORD Pixel(int x, int y) { return GetVisibleFrame()[y * kScreenWidth + x]; }

// Pixel (x, y) of a skin bitmap.
class SkinPixels {
 public:
  explicit SkinPixels(UINT id) {
    LoadSkinBitmap(m_bitmap, id);
    m_first = BitmapPixels(static_cast<HBITMAP>(m_bitmap.m_hObject), &m_pitch);
  }
  WORD at(int x, int y) const { return m_first[y * m_pitch + x]; }

 private:
  CBitmap m_bitmap;
  WORD* m_first = nullptr;
  int m_pitch = 0;
};

// True when the w x h area of the screen at (x, y) shows the bitmap's area from (sx, sy).
bool Shows(int x, int y, int w, int h, const SkinPixels& bitmap, int sx, int sy) {
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (Pixel(x + i, y + j) != bitmap.at(sx + i, sy + j)) return false;
  return true;
}

// The bar shows fill from its start up to column fillEnd and the empty track after it, as
// far as the track goes (fill can run 5 pixels past it, over the frame).
void ExpectBar(int fillEnd) {
  SkinPixels fill(skin::kVolumeFill), frame(skin::kVolumeBar);
  const int y = CVolumeDlg::kFillY + 18;
  const WORD empty = frame.at(CVolumeDlg::kTrackX, CVolumeDlg::kTrackY + 18);
  const int trackEnd = CVolumeDlg::kFillX + CVolumeDlg::kFillWidth;
  for (int x = CVolumeDlg::kFillX; x < std::max(fillEnd, trackEnd); ++x) {
    const bool filled = x < fillEnd;
    const WORD want = filled ? fill.at((x - CVolumeDlg::kFillX) % CVolumeDlg::kFillWidth, 18) : empty;
    ASSERT_EQ(Pixel(x, y), want) << "column " << x << (filled ? " should be filled" : " should be empty");
  }
}

void Tap(int x, int y) {
  PostTouch(TouchKind::Down, x, y);
  PostTouch(TouchKind::Up, x, y);
  WaitForWindowThreadIdle(5000);
}
void TapExit() { Tap(64, 428); }
void TapDec() { Tap(174, 428); }
void TapAdd() { Tap(634, 428); }
void TapPlay() { Tap(729, 428); }

// The dialog, noting when its background was last erased (the 4 seconds start there).
class TestVolumeDlg : public CVolumeDlg {
 public:
  using CVolumeDlg::CVolumeDlg;
  BOOL OnEraseBkgnd(CDC* dc) override {
    erasedAt = GetTickCount();
    return CVolumeDlg::OnEraseBkgnd(dc);
  }
  std::atomic<DWORD> erasedAt{0};
};

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

  // Runs the dialog on this (the window) thread while `drive` runs on another from the
  // moment it is shown; the dialog's result and when it ended.
  INT_PTR Run(TestVolumeDlg& dialog, const std::function<void()>& drive) {
    std::thread driver([&] {
      WaitForWindowThreadIdle(5000);
      drive();
    });
    const INT_PTR result = dialog.DoModal();
    m_endedAt = GetTickCount();
    driver.join();
    return result;
  }
  void PlayMusic() {
    ASSERT_EQ(m_player.mp3LoadFile(u"\\SDMMC\\quiet.mp3"), 0);
    m_player.Play();
  }

  TempDeviceRoot m_root;
  HWND m_show = nullptr;
  Cplayerc m_player;
  DWORD m_endedAt = 0;
};

TEST_F(VolumeDialog, DrawsItsButtonsAndBarOverThePicture) {
  for (bool playing : {true, false}) {
    SCOPED_TRACE(playing ? "playing" : "stopped");
    if (playing) PlayMusic();
    int level = 12;
    TestVolumeDlg dialog(&m_player, &level);
    Run(dialog, [&] {
      EXPECT_TRUE(Shows(20, 400, 88, 56, SkinPixels(skin::kBackUp), 0, 0));
      EXPECT_TRUE(Shows(130, 400, 88, 56, SkinPixels(skin::kVolumeDecUp), 0, 0));
      EXPECT_TRUE(Shows(590, 400, 88, 56, SkinPixels(skin::kVolumeAddUp), 0, 0));
      EXPECT_TRUE(Shows(685, 400, 88, 56, SkinPixels(playing ? skin::kPauseUp : skin::kPlayUp), 0, 0));
      SkinPixels frame(skin::kVolumeBar);
      EXPECT_TRUE(Shows(226, 400, CVolumeDlg::kFillX - 226, 56, frame, 0, 0));  // the speaker part
      ExpectBar(306 + 12 * 11);
      EXPECT_EQ(CVolumeDlg::LastDrawnLevel(), 12);
      // Around the controls the picture stays.
      for (POINT p : {POINT{400, 200}, POINT{10, 399}, POINT{120, 430}, POINT{583, 430}, POINT{780, 470}})
        EXPECT_EQ(Pixel(p.x, p.y), kPicture) << p.x << "," << p.y;
      TapExit();
    });
    m_player.mp3Release();
  }
}

TEST_F(VolumeDialog, AddAndDecStepTheLevelElevenPixelsAtATimeWithinZeroTo24) {
  PlayMusic();
  int level = 12;
  TestVolumeDlg dialog(&m_player, &level);
  Run(dialog, [&] {
    TapAdd();
    EXPECT_EQ(level, 13);
    EXPECT_EQ(m_player.GetVolume(), 13);
    ExpectBar(449);  // 11 more pixels of fill from x = 438
    TapDec();
    EXPECT_EQ(level, 12);
    ExpectBar(438);  // and 11 pixels of track put back there
    for (int i = 0; i < 14; ++i) TapAdd();
    EXPECT_EQ(level, 24);
    ExpectBar(570);  // 264 pixels: the fill bitmap's start used again for the last 5
    m_player.SetVolume(3);
    TapAdd();  // at the top it stays, and still tells the player
    EXPECT_EQ(level, 24);
    EXPECT_EQ(m_player.GetVolume(), 24);
    TapDec();
    ExpectBar(306 + 23 * 11);
    for (int i = 0; i < 30; ++i) TapDec();
    EXPECT_EQ(level, 0);
    EXPECT_EQ(m_player.GetVolume(), 0);
    ExpectBar(306);
    EXPECT_EQ(CVolumeDlg::LastDrawnLevel(), 0);
    TapExit();
  });
  // The volume buttons only beep: no backlight request.
  EXPECT_TRUE(GetBacklightCalls().empty());
}

TEST_F(VolumeDialog, PlayPausesAndResumesTheMusicAndShowsWhatATapWillDo) {
  PlayMusic();
  int level = 12;
  TestVolumeDlg dialog(&m_player, &level);
  Run(dialog, [&] {
    TapPlay();
    EXPECT_EQ(m_player.Getsts(), 3);
    EXPECT_TRUE(Shows(685, 400, 88, 56, SkinPixels(skin::kPlayUp), 0, 0));
    TapPlay();
    EXPECT_EQ(m_player.Getsts(), 2);
    EXPECT_TRUE(Shows(685, 400, 88, 56, SkinPixels(skin::kPauseUp), 0, 0));
    TapExit();
  });
}

TEST_F(VolumeDialog, ClosesItselfFourSecondsAfterTheLastTouch) {
  int level = 12;
  {
    TestVolumeDlg dialog(&m_player, &level);
    EXPECT_EQ(Run(dialog, [] {}), kVolumeTimedOut);
    EXPECT_GE(m_endedAt - dialog.erasedAt, 4000u);
    EXPECT_LT(m_endedAt - dialog.erasedAt, 4600u);
  }
  for (auto tap : {TapAdd, TapDec, TapPlay}) {
    TestVolumeDlg dialog(&m_player, &level);
    DWORD tappedAt = 0;
    EXPECT_EQ(Run(dialog, [&] {
                Sleep(3000);
                tappedAt = GetTickCount();
                tap();
              }),
              kVolumeTimedOut);
    EXPECT_GE(m_endedAt - tappedAt, 4000u);
    EXPECT_LT(m_endedAt - tappedAt, 4600u);
  }
  TestVolumeDlg dialog(&m_player, &level);
  EXPECT_NE(Run(dialog, TapExit), kVolumeTimedOut);
}

TEST_F(VolumeDialog, EveryButtonBeepsWhenTheClickSoundIsOn) {
  std::uint8_t settings[32] = {};
  settings[12] = 1;
  CParmFileRW file;
  ASSERT_EQ(file.Write(u"NAND\\SETTING.PAR", settings, 32), 0);
  m_root.WriteFile("NAND/app/Sound.wav", Wav(kRate / 20, 0x2000));
  std::atomic<long> loud{0};
  SetAudioTap([&](const AudioOutput&, const std::int16_t* samples, size_t frames) {
    for (size_t i = 0; i < frames; ++i) loud += samples[i] != 0;
  });
  auto beeped = [&](long before) {
    for (int i = 0; i < 300 && loud == before; ++i) Sleep(10);
    return loud > before;
  };
  int level = 12;
  TestVolumeDlg dialog(&m_player, &level);
  Run(dialog, [&] {
    for (auto tap : {TapAdd, TapDec, TapPlay, TapExit}) {
      Sleep(500);  // the sound before has played out
      const long before = loud;
      tap();
      EXPECT_TRUE(beeped(before));
    }
  });
  SetAudioTap(nullptr);
}

}  // namespace
