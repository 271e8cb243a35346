// The device's sound call: plays a WAV file.
#pragma once

#include "platform/kernel/types.h"

constexpr DWORD SND_SYNC = 0x0000;
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_NODEFAULT = 0x0002;
constexpr DWORD SND_MEMORY = 0x0004;
constexpr DWORD SND_LOOP = 0x0008;
constexpr DWORD SND_NOSTOP = 0x0010;
constexpr DWORD SND_ALIAS = 0x00010000;
constexpr DWORD SND_FILENAME = 0x00020000;

// Plays the WAV file at a device path (SND_FILENAME) and returns when it has played, on the
// audio device or, without one, after the sound's play time on the device clock. Several
// calls may play at once from different threads. A null sound returns TRUE at once. FALSE,
// having played nothing, for a missing or unreadable file, a file that is not a WAV this
// system plays, and for what is not supported here: names that are not file names
// (aliases, memory images) and asynchronous or looped playing. The module is not used.
BOOL PlaySoundW(LPCWSTR sound, void* module, DWORD flags);
