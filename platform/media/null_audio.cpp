// The output used without a sound card: a thread that takes the samples that are due by
// the device clock and discards them.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/audio_backends.h"
#include "platform/kernel/clock.h"

namespace {

// How often the thread wakes, in device milliseconds. A sound's end is noticed at most
// this late.
constexpr std::uint64_t kTickMs = 5;

class NullAudioOutput final : public AudioOutput {
 public:
  NullAudioOutput(int rate, int channels, Source source)
      : AudioOutput(rate, channels), m_source(std::move(source)), m_thread([this] { Run(); }) {}

  ~NullAudioOutput() override {
    {
      std::lock_guard guard(m_lock);
      m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
  }

  bool IsNull() const override { return true; }
  std::uint32_t LatencyMs() const override { return 0; }

 private:
  void Run() {
    const std::uint64_t rate = static_cast<std::uint64_t>(Rate());
    const size_t channels = static_cast<size_t>(Channels());
    const size_t chunk = static_cast<size_t>(rate * kTickMs / 1000) + 1;
    std::vector<std::int16_t> buffer(chunk * channels);
    const std::uint64_t start = DeviceTimeMs();
    std::uint64_t taken = 0;  // frames consumed since start

    std::unique_lock lock(m_lock);
    while (!m_stop) {
      // Frames whose play time has passed, counted from the start so that rounding never
      // accumulates.
      std::uint64_t due = (DeviceTimeMs() - start) * rate / 1000;
      while (taken < due && !m_stop) {
        size_t frames = static_cast<size_t>(std::min<std::uint64_t>(due - taken, chunk));
        lock.unlock();
        size_t got = std::min(m_source(buffer.data(), frames), frames);
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got * channels),
                  buffer.begin() + static_cast<std::ptrdiff_t>(frames * channels), std::int16_t{0});
        TapAudio(*this, buffer.data(), frames);
        lock.lock();
        taken += frames;
      }
      if (m_stop) break;
      // Wake when the next tick's worth of frames is due.
      std::uint64_t nextMs = start + (taken + rate * kTickMs / 1000) * 1000 / rate;
      WaitUntilDeviceTime(m_wake, lock, nextMs, [this] { return m_stop; });
    }
  }

  Source m_source;
  std::mutex m_lock;
  std::condition_variable_any m_wake;
  bool m_stop = false;
  std::thread m_thread;  // last: starts once the members above exist
};

}  // namespace

std::unique_ptr<AudioOutput> OpenNullAudioOutput(int rate, int channels, AudioOutput::Source source) {
  return std::make_unique<NullAudioOutput>(rate, channels, std::move(source));
}
