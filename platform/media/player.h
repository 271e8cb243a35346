// The media library: background music (MP3, WMA) and photo facts.
//
// Every operation may be called from several threads at once. Music is decoded on the audio
// output's thread as it plays.
//
// Play states (Getsts): 0 no file loaded, 1 loaded and stopped, 2 playing, 3 paused.
// Positions (GetTimPos, SetTimPos) are milliseconds from the start of the track.
// Events (GetEvent): code 0 when the track has played to its end.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/media/photo_info.h"
#include "platform/kernel/types.h"
#include "platform/windows/window.h"

// How the player's notification reaches its window: PostMessage(window, message, 0, 0)
// unless a test puts another function in its place; nullptr restores PostMessage.
using PlayerNotifyHook = void (*)(HWND window, UINT message);
void SetPlayerNotifyHook(PlayerNotifyHook hook);

class Cplayerc {
 public:
  Cplayerc();
  ~Cplayerc();
  Cplayerc(const Cplayerc&) = delete;
  Cplayerc& operator=(const Cplayerc&) = delete;

  // After this, `message` is posted to `window` (wParam and lParam 0) whenever an event is
  // queued. A null window stops the notifications.
  void SetNotify(HWND window, UINT message);
  // Takes the oldest event: nonzero with *code set, or 0 with *code untouched when there is
  // none.
  int GetEvent(std::int32_t* code);

  // Loads a music file by device path, replacing the one loaded before; stopped at its
  // start afterwards. 0 when loaded; -1 (and nothing loaded) when the file cannot be read or
  // played.
  int mp3LoadFile(LPCWSTR path);
  // Plays from the position: the start after loading, stopping or a track's end; where it
  // paused; or where SetTimPos put it.
  void Play();
  void Pause();
  // Stops and goes back to the start; the file stays loaded.
  void Stop();
  // Stops and unloads the file.
  void mp3Release();
  int Getsts();

  // 0 (silent) to 24 (full); each step is 2 dB. Levels outside are brought inside.
  void SetVolume(int level);
  int GetVolume();

  void GetTimPos(std::int64_t* position);
  // Moves the position; while playing, playback goes on from there at once. Negative
  // positions are the start; a position past the end ends the track when it plays.
  void SetTimPos(const std::int64_t* position);

  // Fills the record from the header of the photo at a device path: -1 when the file cannot
  // be read, else 0.
  int GetPhotoInfo(_tag_PHOTO_INFO* info, LPCWSTR path);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};
