#include "app/sys_param.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

#include "platform/media/audio_output.h"
#include "platform/device/drivers.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tests/support/wav_file.h"

namespace {

constexpr int kRate = 8000;
constexpr int kSoundFrames = kRate;  // one second

class ClickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every sample loud, so that played frames can be counted at the output.
    m_root.WriteFile("NAND/app/Sound.wav", MakeWav(kRate, 1, 16, std::vector<std::int32_t>(kSoundFrames, 0x2000)));
    SetClockSpeed(20);
    SetAudioTap([this](const AudioOutput&, const std::int16_t* samples, size_t frames) {
      for (size_t i = 0; i < frames; ++i) m_loudFrames += samples[i] != 0;
    });
    ClearBacklightCalls();
  }
  void TearDown() override {
    SetAudioTap(nullptr);
    SetClockSpeed(1);
  }
  void WriteSwitch(std::uint8_t on) {
    std::uint8_t payload[32] = {};
    payload[12] = on;
    CParmFileRW file;
    ASSERT_EQ(file.Write(u"NAND\\SETTING.PAR", payload, 32), 0);
  }
  // Waits (on the device clock) until at least frames have played, then a while longer so
  // that a sound played in error would show.
  void WaitForFrames(long frames) {
    for (int i = 0; i < 600 && m_loudFrames < frames; ++i) Sleep(100);
    Sleep(1500);
  }
  TempDeviceRoot m_root;
  std::atomic<long> m_loudFrames{0};
};

}  // namespace

TEST_F(ClickTest, ClicksDuringTheSoundAreAbsorbed) {
  WriteSwitch(1);
  CSysParam param;
  for (int i = 0; i < 5; ++i) param.Click();
  WaitForFrames(kSoundFrames);
  EXPECT_EQ(m_loudFrames, kSoundFrames);
  param.Beep();
  WaitForFrames(2 * kSoundFrames);
  EXPECT_EQ(m_loudFrames, 2 * kSoundFrames);
  // Every click asked for the backlight; the beep did not.
  std::vector<BacklightCall> calls = GetBacklightCalls();
  ASSERT_EQ(calls.size(), 5u);
  for (const BacklightCall& call : calls) EXPECT_TRUE(call.code == 0x223494u && call.value == 1u);
}

// Switched off, a click still lights the backlight but nothing plays; switched on, a
// parameter block ended at once ends quickly and silently.
TEST_F(ClickTest, SwitchedOffOrEndedAtOnceItPlaysNothing) {
  WriteSwitch(0);
  std::optional<CSysParam> param(std::in_place);
  param->Click();
  param->Beep();
  Sleep(1000);
  EXPECT_EQ(GetBacklightCalls().size(), 1u);
  WriteSwitch(1);
  param.emplace();
  Sleep(50);
  const DWORD start = GetTickCount();
  param.reset();  // the worker sees its exit flag within one 200 ms wait
  EXPECT_LE(GetTickCount() - start, 2000u);  // a few 200 ms waits at most, also on a loaded machine
  Sleep(500);
  EXPECT_EQ(m_loudFrames, 0);
}
