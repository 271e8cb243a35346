#include "tools/demo/music_files.h"

#include <cmath>
#include <vector>

#include "tools/demo/audio_encoder.h"

namespace {

struct Tune {
  const char* name;
  const char* encoder;
  const char* muxer;
  std::vector<int> notes;  // semitones above A3 (220 Hz); one note per beat
  double beatSeconds;
};

// A plucked note: a quick rise, then a decay, with one overtone.
double Note(int semitone, double t) {
  if (t < 0) return 0;
  const double frequency = 220.0 * std::pow(2.0, semitone / 12.0);
  const double envelope = std::min(1.0, t / 0.01) * std::exp(-t * 3.0);
  return envelope * (std::sin(2 * M_PI * frequency * t) + 0.3 * std::sin(4 * M_PI * frequency * t));
}

// The tune played round, each note ringing into the next, with the root an octave below on
// every fourth beat.
float Play(const Tune& tune, double seconds) {
  const auto beat = static_cast<long>(seconds / tune.beatSeconds);
  double value = 0;
  for (long b = std::max(0L, beat - 2); b <= beat; ++b) {
    const double t = seconds - static_cast<double>(b) * tune.beatSeconds;
    value += Note(tune.notes[static_cast<size_t>(b) % tune.notes.size()], t);
    if (b % 4 == 0) value += 0.6 * Note(tune.notes[0] - 12, t);
  }
  return static_cast<float>(0.25 * value);
}

}  // namespace

std::string WriteDemoMusic(const std::filesystem::path& folder) {
  const Tune tunes[] = {
      {"Morning Walk.mp3", "libmp3lame", "mp3", {3, 7, 10, 15, 10, 7, 5, 8, 12, 8, 3, 7}, 0.3},
      {"Evening.wma", "wmav2", "asf", {0, 3, 7, 12, 10, 7, 3, 5, 8, 5, 2, -2}, 0.45},
      {"Interlude.mp3", "libmp3lame", "mp3", {7, 12, 14, 12, 7, 5}, 0.25},
  };
  const double lengths[] = {24.0, 30.0, 8.0};
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return "cannot create " + folder.string();
  for (size_t i = 0; i < std::size(tunes); ++i) {
    const Tune& tune = tunes[i];
    const std::string why = EncodeAudioFile((folder / tune.name).string(), tune.encoder, tune.muxer, lengths[i],
                                            [&](double seconds) { return Play(tune, seconds); });
    if (!why.empty()) return tune.name + std::string(": ") + why;
  }
  return "";
}
