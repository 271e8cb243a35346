// Small sound files made for the media tests (WAV files, and through the demo card's encoder
// MP3 and WMA files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/media/player.h"

#include "tests/support/wav_file.h"
#include "tools/demo/audio_encoder.h"

// A 1 kHz tone whose amplitude steps up every half second: 0.1 for the first half second,
// 0.2 for the next, and so on. Where a track resumes can so be told from its loudness.
float SteppedTone(double seconds);
// The amplitude SteppedTone has at a time.
double SteppedAmplitude(double seconds);
// A WMA file of `seconds` of the stepped tone, cut to its first `keep` bytes when it has more
// (a track cut off in the middle); "" or why it could not be made.
std::string WriteSteppedTrack(const std::string& hostPath, double seconds, size_t keep = std::string::npos);

// Where the player is in its track, in milliseconds (-1 when it cannot say).
inline std::int64_t Position(Cplayerc& player) {
  std::int64_t position = -1;
  player.GetTimPos(&position);
  return position;
}
