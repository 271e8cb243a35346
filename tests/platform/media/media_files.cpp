#include "tests/platform/media/media_files.h"

#include <cmath>

float SteppedTone(double seconds) {
  return static_cast<float>(SteppedAmplitude(seconds) * std::sin(2 * M_PI * 1000.0 * seconds));
}

double SteppedAmplitude(double seconds) { return 0.1 * (std::floor(seconds / 0.5) + 1); }
