// Decodes a music file (MP3, WMA, or any other audio FFmpeg reads) to signed 16-bit
// interleaved samples at a fixed rate and channel count.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class MusicDecoder {
 public:
  // Nothing when the file does not open, has no audio stream, or yields no sound at its
  // start.
  static std::unique_ptr<MusicDecoder> Open(const std::string& hostPath, int rate, int channels);
  virtual ~MusicDecoder() = default;

  // Writes up to `frames` frames; fewer only at the end of the track (0 once it is over).
  virtual size_t Read(std::int16_t* samples, size_t frames) = 0;
  // Continues from the given frame of the track (at the output rate). A frame past the end
  // leaves the decoder at the end. False when the file cannot seek; the position is then
  // unchanged.
  virtual bool Seek(std::int64_t frame) = 0;
  // The track's length in frames at the output rate, or -1 when the file does not say.
  virtual std::int64_t LengthFrames() const = 0;
};
