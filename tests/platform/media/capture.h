// Records what the sound outputs play, and sets the machine up for the media tests:
// the null output, and a device clock raised for the real-time waits.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/media/audio_output.h"
#include "platform/kernel/kernel.h"

// The longest any wait here may take in host time before the test fails; the waits end on
// what they wait for, this only keeps a broken build from hanging.
constexpr auto kGiveUp = std::chrono::seconds(30);

class AudioCapture {
 public:
  AudioCapture() {
    SetAudioTap([this](const AudioOutput& output, const std::int16_t* samples, size_t frames) {
      std::lock_guard guard(m_lock);
      m_channels = output.Channels();
      m_samples.insert(m_samples.end(), samples, samples + frames * static_cast<size_t>(output.Channels()));
      m_changed.notify_all();
    });
  }
  ~AudioCapture() { SetAudioTap({}); }

  void Clear() {
    std::lock_guard guard(m_lock);
    m_samples.clear();
  }
  std::vector<std::int16_t> Samples() {
    std::lock_guard guard(m_lock);
    return m_samples;
  }
  // Waits until at least `frames` frames have been played since the last Clear.
  bool WaitForFrames(size_t frames) {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, kGiveUp, [&] { return m_samples.size() >= frames * static_cast<size_t>(m_channels); });
  }
  // The loudest sample of frames [first, first + count), left channel, as a fraction of full scale.
  double Peak(size_t first, size_t count) {
    std::lock_guard guard(m_lock);
    int peak = 0;
    for (size_t f = first; f < first + count && f * m_channels < m_samples.size(); ++f)
      peak = std::max(peak, std::abs(static_cast<int>(m_samples[f * m_channels])));
    return peak / 32767.0;
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<std::int16_t> m_samples;
  int m_channels = 2;
};

// Fixture base: the null output whatever the machine has, and the clock at `speed`.
class MediaTest : public ::testing::Test {
 protected:
  explicit MediaTest(double speed = 1.0) : m_speed(speed) {}
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    SetClockSpeed(m_speed);
  }
  void TearDown() override { SetClockSpeed(1.0); }

 private:
  double m_speed;
};
