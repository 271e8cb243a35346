#include "platform/media/sound.h"

#include <condition_variable>
#include <fstream>
#include <mutex>

#include "platform/media/audio_output.h"
#include "platform/storage/files.h"
#include "platform/kernel/kernel.h"
#include "platform/media/wav.h"

namespace {

// A click sound is small; anything beyond this is not read.
constexpr std::streamsize kMaxSoundBytes = 64 * 1024 * 1024;

std::optional<WavSound> LoadSound(LPCWSTR devicePath) {
  std::string host = ResolveDevicePath(devicePath);
  if (host.empty()) return std::nullopt;
  std::ifstream in(host, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  std::streamsize size = in.tellg();
  if (size < 0 || size > kMaxSoundBytes) return std::nullopt;
  in.seekg(0);
  std::string bytes(static_cast<size_t>(size), '\0');
  in.read(bytes.data(), size);
  bytes.resize(static_cast<size_t>(in.gcount()));
  return ParseWav(bytes);
}

// Plays the frames and waits until the output has taken the last one.
void PlayToEnd(const WavSound& sound) {
  std::mutex lock;
  std::condition_variable done;
  size_t next = 0;  // first frame not yet handed out
  bool finished = false;
  const size_t channels = static_cast<size_t>(sound.channels);
  const size_t total = sound.Frames();

  auto output = AudioOutput::Open(sound.rate, sound.channels, [&](std::int16_t* out, size_t frames) {
    std::lock_guard guard(lock);
    size_t count = std::min(frames, total - next);
    std::copy_n(sound.samples.begin() + static_cast<std::ptrdiff_t>(next * channels), count * channels, out);
    next += count;
    // Finished once a buffer was not filled: then all frames have been taken.
    if (count < frames && !finished) {
      finished = true;
      done.notify_all();
    }
    return count;
  });
  {
    std::unique_lock guard(lock);
    done.wait(guard, [&] { return finished; });
  }
  // The frames taken last are still in the device's buffers.
  if (DWORD latency = output->LatencyMs()) Sleep(latency);
}

}  // namespace

BOOL PlaySoundW(LPCWSTR sound, void* /*module*/, DWORD flags) {
  if (!sound) return TRUE;  // nothing plays asynchronously, so there is nothing to stop
  if (!(flags & SND_FILENAME) || (flags & (SND_ASYNC | SND_LOOP | SND_MEMORY | SND_ALIAS))) return FALSE;
  std::optional<WavSound> wav = LoadSound(sound);
  if (!wav) return FALSE;
  PlayToEnd(*wav);
  return TRUE;
}
