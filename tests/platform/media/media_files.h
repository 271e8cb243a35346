// Small sound files made for the media tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/wav_file.h"

// A 1 kHz tone whose amplitude steps up every half second: 0.1 for the first half second,
// 0.2 for the next, and so on. Where a track resumes can so be told from its loudness.
float SteppedTone(double seconds);
// The amplitude SteppedTone has at a time.
double SteppedAmplitude(double seconds);

// Encodes `seconds` of a mono signal, copied to both channels at 44100 Hz, into a file with
// one of FFmpeg's encoders ("libmp3lame", "wmav2") and muxers ("mp3", "asf"). Returns an
// empty string on success, else why it failed.
std::string EncodeAudioFile(const std::string& hostPath, const char* encoder, const char* muxer, double seconds,
                            const std::function<float(double)>& signal);
bool HasAudioEncoder(const char* encoder);
