#include "platform/media/audio_output.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/media/audio_backends.h"
#include "platform/kernel/kernel.h"

namespace {

std::mutex g_tapLock;
std::shared_ptr<const AudioTap> g_tap;

bool WantsNullOutput() {
  const char* driver = std::getenv("SDL_AUDIODRIVER");
  if (driver && std::strcmp(driver, "dummy") == 0) return true;
  return GetClockSpeed() != 1.0;
}

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::Open(int rate, int channels, Source source) {
  if (!WantsNullOutput()) {
    if (auto output = OpenSdlAudioOutput(rate, channels, source)) return output;
  }
  return OpenNullAudioOutput(rate, channels, std::move(source));
}

void CloseAudioSystem() { CloseSdlAudio(); }

void SetAudioTap(AudioTap tap) {
  std::lock_guard guard(g_tapLock);
  g_tap = tap ? std::make_shared<const AudioTap>(std::move(tap)) : nullptr;
}

void TapAudio(const AudioOutput& output, const std::int16_t* samples, size_t frames) {
  std::shared_ptr<const AudioTap> tap;
  {
    std::lock_guard guard(g_tapLock);
    tap = g_tap;
  }
  if (tap) (*tap)(output, samples, frames);
}
