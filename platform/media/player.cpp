#include "platform/media/player.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <mutex>

#include "platform/media/audio_output.h"
#include "platform/storage/files.h"
#include "platform/media/music_decoder.h"

namespace {

// Every track is decoded to this, whatever its own format.
constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr int kMaxVolume = 24;
constexpr double kDecibelsPerStep = 2.0;

std::atomic<PlayerNotifyHook> g_notifyHook{nullptr};

void PostNotification(HWND window, UINT message) { PostMessage(window, message, 0, 0); }

float GainOf(int level) {
  if (level <= 0) return 0.0f;
  return static_cast<float>(std::pow(10.0, (level - kMaxVolume) * kDecibelsPerStep / 20.0));
}

std::int64_t FramesOfMs(std::int64_t ms) { return ms * kRate / 1000; }
std::int64_t MsOfFrames(std::int64_t frames) { return frames * 1000 / kRate; }

enum Status { kEmpty = 0, kStopped = 1, kPlaying = 2, kPaused = 3 };

}  // namespace

void SetPlayerNotifyHook(PlayerNotifyHook hook) { g_notifyHook.store(hook); }

struct Cplayerc::State {
  std::mutex lock;
  std::unique_ptr<MusicDecoder> decoder;
  int status = kEmpty;
  std::int64_t frame = 0;  // position in frames at kRate
  bool needSeek = false;   // the decoder is not at `frame`; Play moves it there
  int volume = kMaxVolume;
  float gain = 1.0f;
  std::deque<std::int32_t> events;
  HWND window = nullptr;
  UINT message = 0;
  // Opened by the first Play, kept until the file is released. Its source takes `lock`, so
  // it is never destroyed while `lock` is held.
  std::unique_ptr<AudioOutput> output;

  // The output's source: the next decoded frames while playing, else silence.
  size_t Pull(std::int16_t* samples, size_t frames) {
    std::unique_lock guard(lock);
    if (status != kPlaying || !decoder) return 0;
    size_t count = decoder->Read(samples, frames);
    frame += static_cast<std::int64_t>(count);
    if (gain != 1.0f) {
      for (size_t i = 0; i < count * kChannels; ++i)
        samples[i] = static_cast<std::int16_t>(std::lround(samples[i] * gain));
    }
    if (count < frames) {
      // The track has played to its end: back to its start, stopped.
      status = kStopped;
      frame = 0;
      needSeek = true;
      QueueEvent(guard, 0);
    }
    return count;
  }

  // Queues an event and notifies the window; releases the lock for the notification.
  void QueueEvent(std::unique_lock<std::mutex>& guard, std::int32_t code) {
    events.push_back(code);
    HWND target = window;
    UINT notification = message;
    guard.unlock();
    PlayerNotifyHook hook = g_notifyHook.load();
    if (target) (hook ? hook : PostNotification)(target, notification);
  }

  // Takes the output away, to be destroyed after the lock is released.
  std::unique_ptr<AudioOutput> Unload() {
    decoder.reset();
    status = kEmpty;
    frame = 0;
    needSeek = false;
    return std::move(output);
  }
};

Cplayerc::Cplayerc() : m_state(std::make_unique<State>()) {}

Cplayerc::~Cplayerc() {
  std::unique_ptr<AudioOutput> output;
  {
    std::lock_guard guard(m_state->lock);
    output = m_state->Unload();
  }
}

void Cplayerc::SetNotify(HWND window, UINT message) {
  std::lock_guard guard(m_state->lock);
  m_state->window = window;
  m_state->message = message;
}

int Cplayerc::GetEvent(std::int32_t* code) {
  std::lock_guard guard(m_state->lock);
  if (m_state->events.empty() || !code) return 0;
  *code = m_state->events.front();
  m_state->events.pop_front();
  return 1;
}

int Cplayerc::mp3LoadFile(LPCWSTR path) {
  std::string host = path ? ResolveDevicePath(path) : std::string();
  // Opening reads the file; the lock is not held meanwhile.
  std::unique_ptr<MusicDecoder> decoder = host.empty() ? nullptr : MusicDecoder::Open(host, kRate, kChannels);
  std::unique_ptr<MusicDecoder> old;
  std::unique_ptr<AudioOutput> output;
  std::lock_guard guard(m_state->lock);
  old = std::move(m_state->decoder);
  if (!decoder) {
    output = m_state->Unload();
    return -1;
  }
  m_state->decoder = std::move(decoder);
  m_state->status = kStopped;
  m_state->frame = 0;
  m_state->needSeek = false;
  return 0;
}

void Cplayerc::Play() {
  State& s = *m_state;
  std::unique_ptr<AudioOutput> output;
  {
    std::lock_guard guard(s.lock);
    if (!s.decoder || s.status == kPlaying) return;
    if (s.needSeek) {
      if (!s.decoder->Seek(s.frame)) s.frame = 0;
      s.needSeek = false;
    }
    s.status = kPlaying;
    if (s.output) return;
  }
  // The output is opened without the lock: a device that is closing elsewhere waits for its
  // source, and the source waits for the lock.
  output = AudioOutput::Open(kRate, kChannels, [&s](std::int16_t* samples, size_t frames) {
    return s.Pull(samples, frames);
  });
  std::lock_guard guard(s.lock);
  // Another Play may have opened one meanwhile, or the file been released; then this one is
  // closed again once the lock is released.
  if (!s.output && s.decoder) s.output = std::move(output);
}

void Cplayerc::Pause() {
  std::lock_guard guard(m_state->lock);
  if (m_state->status == kPlaying) m_state->status = kPaused;
}

void Cplayerc::Stop() {
  std::lock_guard guard(m_state->lock);
  if (!m_state->decoder) return;
  m_state->status = kStopped;
  m_state->frame = 0;
  m_state->needSeek = true;
}

void Cplayerc::mp3Release() {
  std::unique_ptr<AudioOutput> output;
  std::lock_guard guard(m_state->lock);
  output = m_state->Unload();
}

int Cplayerc::Getsts() {
  std::lock_guard guard(m_state->lock);
  return m_state->status;
}

void Cplayerc::SetVolume(int level) {
  std::lock_guard guard(m_state->lock);
  m_state->volume = std::clamp(level, 0, kMaxVolume);
  m_state->gain = GainOf(m_state->volume);
}

int Cplayerc::GetVolume() {
  std::lock_guard guard(m_state->lock);
  return m_state->volume;
}

void Cplayerc::GetTimPos(std::int64_t* position) {
  if (!position) return;
  std::lock_guard guard(m_state->lock);
  *position = MsOfFrames(m_state->frame);
}

void Cplayerc::SetTimPos(const std::int64_t* position) {
  if (!position) return;
  std::lock_guard guard(m_state->lock);
  State& s = *m_state;
  if (!s.decoder) return;
  std::int64_t frame = FramesOfMs(std::max<std::int64_t>(*position, 0));
  if (s.status == kPlaying) {
    if (s.decoder->Seek(frame)) s.frame = frame;  // a file that cannot seek plays on
  } else {
    s.frame = frame;
    s.needSeek = true;
  }
}

int Cplayerc::GetPhotoInfo(_tag_PHOTO_INFO* info, LPCWSTR path) {
  if (!info || !path) return -1;
  return ReadPhotoInfo(ResolveDevicePath(path), info);
}
