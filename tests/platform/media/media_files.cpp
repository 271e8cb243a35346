#include "tests/platform/media/media_files.h"

#include <cmath>
#include <filesystem>

float SteppedTone(double seconds) {
  return static_cast<float>(SteppedAmplitude(seconds) * std::sin(2 * M_PI * 1000.0 * seconds));
}

double SteppedAmplitude(double seconds) { return 0.1 * (std::floor(seconds / 0.5) + 1); }

std::string WriteSteppedTrack(const std::string& hostPath, double seconds, size_t keep) {
  std::string why = EncodeAudioFile(hostPath, "wmav2", "asf", seconds, SteppedTone);
  if (why.empty() && keep < std::filesystem::file_size(hostPath)) std::filesystem::resize_file(hostPath, keep);
  return why;
}
