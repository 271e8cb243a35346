// Sound output through an SDL2 audio device.
#include <SDL2/SDL.h>

#include <algorithm>
#include <mutex>

#include "platform/media/audio_backends.h"

namespace {

// SDL's audio subsystem is started once, on first use, and only kept when it has a device;
// the answer is remembered so that a machine without sound is asked only once, until the
// program closes the subsystem at its end.
std::mutex g_sdlLock;
enum class SdlState { Unknown, Ready, Absent };
SdlState g_sdlState = SdlState::Unknown;

bool SdlAudioReady() {
  // g_sdlLock held.
  if (g_sdlState == SdlState::Unknown) {
    g_sdlState = SdlState::Absent;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
      // 0 means the driver found no output device; -1 that it cannot tell, so try opening.
      if (SDL_GetNumAudioDevices(0) != 0) {
        g_sdlState = SdlState::Ready;
      } else {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
      }
    }
  }
  return g_sdlState == SdlState::Ready;
}

class SdlAudioOutput final : public AudioOutput {
 public:
  SdlAudioOutput(int rate, int channels, Source source)
      : AudioOutput(rate, channels), m_source(std::move(source)) {}

  ~SdlAudioOutput() override {
    if (m_device) {
      std::lock_guard guard(g_sdlLock);
      SDL_CloseAudioDevice(m_device);  // waits for a callback in progress
      SDL_TLSCleanup();
    }
  }

  // False when no device opened. SDL converts from the format asked for to the device's.
  bool Start() {
    SDL_AudioSpec want{};
    want.freq = Rate();
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(Channels());
    want.samples = 1024;
    want.callback = &SdlAudioOutput::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_device == 0) return false;
    m_bufferFrames = have.samples;
    SDL_PauseAudioDevice(m_device, 0);
    return true;
  }

  bool IsNull() const override { return false; }
  std::uint32_t LatencyMs() const override {
    // The buffer being played when the source ran dry, and one more queued behind it.
    return static_cast<std::uint32_t>(2 * m_bufferFrames * 1000 / static_cast<std::uint32_t>(Rate())) + 1;
  }

 private:
  static void SDLCALL Callback(void* userdata, Uint8* stream, int length) {
    auto* self = static_cast<SdlAudioOutput*>(userdata);
    auto* samples = reinterpret_cast<std::int16_t*>(stream);
    size_t frames = static_cast<size_t>(length) / (sizeof(std::int16_t) * static_cast<size_t>(self->Channels()));
    size_t got = std::min(self->m_source(samples, frames), frames);
    std::fill(samples + got * static_cast<size_t>(self->Channels()),
              samples + frames * static_cast<size_t>(self->Channels()), std::int16_t{0});
    TapAudio(*self, samples, frames);
  }

  Source m_source;
  SDL_AudioDeviceID m_device = 0;
  std::uint32_t m_bufferFrames = 0;
};

}  // namespace

std::unique_ptr<AudioOutput> OpenSdlAudioOutput(int rate, int channels, AudioOutput::Source source) {
  std::lock_guard guard(g_sdlLock);
  std::unique_ptr<SdlAudioOutput> output;
  if (SdlAudioReady()) {
    output = std::make_unique<SdlAudioOutput>(rate, channels, std::move(source));
    if (!output->Start()) output.reset();
  }
  // SDL keeps its error text in data of the calling thread and frees it by itself only for
  // threads that SDL made; the threads that play sounds are ours and come and go.
  SDL_TLSCleanup();
  return output;
}

void CloseSdlAudio() {
  std::lock_guard guard(g_sdlLock);
  if (g_sdlState == SdlState::Unknown) return;  // never asked
  if (g_sdlState == SdlState::Ready) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  g_sdlState = SdlState::Unknown;
  if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
  SDL_TLSCleanup();
}
