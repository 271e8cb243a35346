// A PCM WAV file's bytes, for the tests that play sounds: the click, the music, the player.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::string MakeWav(int rate, int channels, int bits, const std::vector<std::int32_t>& samples) {
  std::string out;
  auto put = [&](std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  const int bytesPerSample = bits / 8;
  const auto dataBytes = static_cast<std::uint32_t>(samples.size() * static_cast<size_t>(bytesPerSample));
  out += "RIFF";
  put(36 + dataBytes, 4);
  out += "WAVEfmt ";
  put(16, 4);
  put(1, 2);
  put(static_cast<std::uint64_t>(channels), 2);
  put(static_cast<std::uint64_t>(rate), 4);
  put(static_cast<std::uint64_t>(rate * channels * bytesPerSample), 4);
  put(static_cast<std::uint64_t>(channels * bytesPerSample), 2);
  put(static_cast<std::uint64_t>(bits), 2);
  out += "data";
  put(dataBytes, 4);
  for (std::int32_t s : samples) put(static_cast<std::uint32_t>(bits == 8 ? s + 128 : s), bytesPerSample);
  return out;
}
