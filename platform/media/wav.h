// Reading WAV files: PCM of 8, 16, 24 or 32 bits and 32-bit float, any rate, 1 to 8 channels.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct WavSound {
  int rate = 0;
  int channels = 0;
  std::vector<std::int16_t> samples;  // interleaved, converted to signed 16 bits

  size_t Frames() const { return channels ? samples.size() / static_cast<size_t>(channels) : 0; }
  // Play time in milliseconds, rounded up.
  std::uint64_t DurationMs() const;
};

// The sound in a WAV file's bytes, or nothing when they are not a WAV file this reader
// takes. A data chunk cut short by the end of the file gives the frames that are there.
std::optional<WavSound> ParseWav(std::string_view bytes);
