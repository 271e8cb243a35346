#include "platform/media/wav.h"

#include <cstring>

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;

std::uint32_t U32(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}
std::uint16_t U16(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

std::int16_t ConvertSample(const char* p, std::uint16_t format, int bits) {
  if (format == kFormatFloat) {
    float value;
    std::memcpy(&value, p, sizeof value);
    if (!(value == value)) value = 0;  // NaN
    value = value > 1.0f ? 1.0f : (value < -1.0f ? -1.0f : value);
    return static_cast<std::int16_t>(value * 32767.0f);
  }
  switch (bits) {
    case 8: return static_cast<std::int16_t>((static_cast<unsigned char>(*p) - 128) * 256);  // unsigned
    case 16: return static_cast<std::int16_t>(U16(p));
    case 24: return static_cast<std::int16_t>(U16(p + 1));  // the top two bytes
    default: return static_cast<std::int16_t>(U16(p + 2));  // 32
  }
}

}  // namespace

std::uint64_t WavSound::DurationMs() const {
  if (rate <= 0) return 0;
  return (static_cast<std::uint64_t>(Frames()) * 1000 + static_cast<std::uint64_t>(rate) - 1) /
         static_cast<std::uint64_t>(rate);
}

std::optional<WavSound> ParseWav(std::string_view bytes) {
  if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") return std::nullopt;

  bool haveFormat = false;
  std::uint16_t format = 0;
  int bits = 0;
  WavSound sound;
  size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    std::string_view id = bytes.substr(pos, 4);
    std::uint32_t size = U32(bytes.data() + pos + 4);
    size_t body = pos + 8;
    size_t available = std::min<size_t>(size, bytes.size() - body);

    if (id == "fmt ") {
      if (available < 16) return std::nullopt;
      const char* f = bytes.data() + body;
      format = U16(f);
      sound.channels = U16(f + 2);
      sound.rate = static_cast<int>(U32(f + 4));
      bits = U16(f + 14);
      if (format == kFormatExtensible) {
        // The sub-format GUID starts with the plain format code.
        if (available < 26) return std::nullopt;
        format = U16(f + 24);
      }
      haveFormat = true;
    } else if (id == "data") {
      if (!haveFormat) return std::nullopt;
      bool pcm = format == kFormatPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
      bool flt = format == kFormatFloat && bits == 32;
      if (!(pcm || flt) || sound.channels < 1 || sound.channels > 8 || sound.rate < 1000 || sound.rate > 384000)
        return std::nullopt;
      size_t bytesPerSample = static_cast<size_t>(bits / 8);
      size_t frameBytes = bytesPerSample * static_cast<size_t>(sound.channels);
      size_t count = available / frameBytes * static_cast<size_t>(sound.channels);
      sound.samples.resize(count);
      const char* d = bytes.data() + body;
      for (size_t i = 0; i < count; ++i) sound.samples[i] = ConvertSample(d + i * bytesPerSample, format, bits);
      return sound;
    }
    // Chunks are padded to an even length.
    size_t next = body + static_cast<size_t>(size) + (size & 1);
    if (next <= pos) break;
    pos = next;
  }
  return std::nullopt;
}
