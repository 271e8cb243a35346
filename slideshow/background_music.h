// The slideshow's background music: the card's MP3 and WMA files played one after another
// through the slideshow's player, and the bookmark that lets the next slideshow resume the
// same track at the same place with the same volume.
//
// The slideshow calls RestoreAndStart once at its start (then SetVolume with VolumeLevel()),
// NextTrack on its music thread when the player reports the end of a track, and Save once
// at its end. The volume dialog changes VolumeLevel() in between.
#pragma once

#include <atomic>
#include <vector>

#include "platform/kernel/types.h"

class Cplayerc;

class CBackgroundMusic {
 public:
  static constexpr int kDefaultVolume = 12;
  static constexpr int kMaxVolume = 24;

  explicit CBackgroundMusic(Cplayerc& player) : m_Player(player) {}
  CBackgroundMusic(const CBackgroundMusic&) = delete;
  CBackgroundMusic& operator=(const CBackgroundMusic&) = delete;

  // Builds the music list and reads the bookmark. Without a usable bookmark the first track
  // that loads plays, at the default volume. With one, its volume is taken and its track
  // resumes at its position; when that track is no longer on the card there is no music.
  // 0 when music plays, else -1.
  int RestoreAndStart();
  // The track after the current one (the first after the last) plays.
  void NextTrack();
  // Loads the track at the music index, or the first of the following ones (wrapping) that
  // loads: 0, with the index on it; -1 when none loads, with the index on the last tried.
  int LoadTrack();
  // Writes the bookmark when the card is there and can be written; otherwise the old file
  // stays as it is.
  void Save();

  int& VolumeLevel() { return m_VolumeLevel; }
  int MusicIndex() const { return m_MusicIndex.load(); }
  const std::vector<WString>& MusicList() const { return m_MusicList; }

 private:
  Cplayerc& m_Player;
  std::vector<WString> m_MusicList;  // built at the start, read-only afterwards
  // Stepped on the music thread, read by Save on the window thread.
  std::atomic<int> m_MusicIndex{0};
  int m_VolumeLevel = kDefaultVolume;
};

// Whether the store "SD Memory Card" is mounted and can be written.
bool IsCardStoreWritable();
