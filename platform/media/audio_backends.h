// The two kinds of sound output behind AudioOutput::Open (platform/audio_output.h).
#pragma once

#include "platform/media/audio_output.h"

// Null when SDL2 has no device to open.
std::unique_ptr<AudioOutput> OpenSdlAudioOutput(int rate, int channels, AudioOutput::Source source);
// Quits SDL's audio subsystem if an output started it.
void CloseSdlAudio();
std::unique_ptr<AudioOutput> OpenNullAudioOutput(int rate, int channels, AudioOutput::Source source);

// Hands a filled buffer to the tap, if one is set.
void TapAudio(const AudioOutput& output, const std::int16_t* samples, size_t frames);
