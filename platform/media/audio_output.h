// Sound output: a stream of signed 16-bit interleaved samples pulled from a source.
//
// An output plays through SDL2 audio when a device can be opened. Otherwise it is a null
// output that takes the samples at the stream's rate on the device clock (platform/clock.h)
// and discards them, so that positions advance and sounds end on time without a sound card.
// The null output is also chosen when SDL_AUDIODRIVER is "dummy" and whenever the device
// clock does not run at speed 1: a real device plays at host speed and would fall behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

class AudioOutput {
 public:
  // Called on the output's own thread with room for `frames` frames (frames x channels
  // samples). Returns the number of frames written; the rest of the buffer is silence.
  using Source = std::function<size_t(std::int16_t* samples, size_t frames)>;

  // Opens an output that starts pulling from source at once. Never fails: without a
  // device the null output is returned.
  static std::unique_ptr<AudioOutput> Open(int rate, int channels, Source source);

  // Stops the output; the source is not called any more once the destructor returns, so
  // it must not be destroyed from inside the source.
  virtual ~AudioOutput() = default;

  virtual bool IsNull() const = 0;
  // Milliseconds of sound the output has taken from the source but not yet played.
  virtual std::uint32_t LatencyMs() const = 0;

  int Rate() const { return m_rate; }
  int Channels() const { return m_channels; }

 protected:
  AudioOutput(int rate, int channels) : m_rate(rate), m_channels(channels) {}

 private:
  int m_rate;
  int m_channels;
};

// Releases what the outputs opened in the host's sound system (SDL's audio subsystem). The
// program calls it at its end, once every output is closed; a later Open starts it again.
void CloseAudioSystem();

// Sees every buffer that any output hands to its device (or, for the null output, discards),
// after the source has filled it. For tests; called on the output threads.
using AudioTap = std::function<void(const AudioOutput& output, const std::int16_t* samples, size_t frames)>;
void SetAudioTap(AudioTap tap);  // an empty function removes the tap
