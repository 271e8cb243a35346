// Sound files made with FFmpeg's encoders: the demo card's music, and the tests' too.
#pragma once

#include <functional>
#include <string>

// Encodes `seconds` of a mono signal, copied to both channels at 44100 Hz, into a file with
// one of FFmpeg's encoders ("libmp3lame", "wmav2") and muxers ("mp3", "asf"). Returns an
// empty string on success, else why it failed.
std::string EncodeAudioFile(const std::string& hostPath, const char* encoder, const char* muxer, double seconds,
                            const std::function<float(double)>& signal);
bool HasAudioEncoder(const char* encoder);
