#include "slideshow/background_music.h"

#include <algorithm>

#include "platform/media/player.h"
#include "platform/storage/stores.h"
#include "slideshow/music_bookmark.h"
#include "slideshow/music_list.h"
#include "store/parm_file.h"

namespace {

constexpr WCHAR kCardStoreName[] = u"SD Memory Card";

}  // namespace

bool IsCardStoreWritable() {
  STOREINFO info{};
  info.cbSize = sizeof info;
  HANDLE search = FindFirstStore(&info);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool found = false, readOnly = false;
  // The first record's flags count as read-only only when they are exactly that flag.
  bool first = true;
  do {
    if (WStringView(info.szStoreName) == kCardStoreName) {
      found = true;
      const DWORD flags = info.sdi.dwDeviceFlags;
      readOnly = first ? flags == STORAGE_DEVICE_FLAG_READONLY : (flags & STORAGE_DEVICE_FLAG_READONLY) != 0;
      break;
    }
    first = false;
  } while (FindNextStore(search, &info));
  FindCloseStore(search);
  return found && !readOnly;
}

int CBackgroundMusic::RestoreAndStart() {
  BookmarkPayload payload{};
  BuildMusicList(m_MusicList);
  m_MusicIndex = 0;

  CParmFileRW file;
  if (file.Read(kBookmarkFile, payload.data(), kBookmarkBytes, kBookmarkBytes) != 0) {
    if (m_MusicList.empty() || LoadTrack() != 0) return -1;
    m_Player.Play();
    return 0;
  }

  const MusicBookmark bookmark = DecodeBookmark(payload);
  // A foreign file may hold any number; the volume dialog draws levels 0..24 only.
  m_VolumeLevel = std::clamp<int>(bookmark.volume, 0, kMaxVolume);
  auto track = std::find(m_MusicList.begin(), m_MusicList.end(), bookmark.path);
  if (track == m_MusicList.end()) return -1;
  m_MusicIndex = static_cast<int>(track - m_MusicList.begin());
  if (LoadTrack() != 0) return -1;
  std::int64_t position = bookmark.position;
  m_Player.SetTimPos(&position);
  m_Player.Play();
  return 0;
}

void CBackgroundMusic::NextTrack() {
  const int count = static_cast<int>(m_MusicList.size());
  if (count == 0) return;
  m_MusicIndex = (m_MusicIndex + 1) % count;
  if (m_Player.Getsts() != 0) m_Player.Stop();
  if (LoadTrack() == 0) m_Player.Play();
}

int CBackgroundMusic::LoadTrack() {
  const int count = static_cast<int>(m_MusicList.size());
  if (count == 0) return -1;
  int index = std::clamp(m_MusicIndex.load(), 0, count - 1);
  for (int tried = 0; tried < count; ++tried) {
    if (tried > 0) index = (index + 1) % count;
    m_MusicIndex = index;
    if (m_Player.mp3LoadFile(m_MusicList[static_cast<size_t>(index)].c_str()) == 0) return 0;
  }
  return -1;
}

void CBackgroundMusic::Save() {
  if (!IsCardStoreWritable()) return;
  MusicBookmark bookmark;
  bookmark.volume = m_VolumeLevel;
  if (!m_MusicList.empty()) {
    m_Player.GetTimPos(&bookmark.position);
    bookmark.path = m_MusicList[static_cast<size_t>(std::clamp<int>(MusicIndex(), 0, static_cast<int>(m_MusicList.size()) - 1))];
  }
  const BookmarkPayload payload = EncodeBookmark(bookmark);
  CParmFileRW file;
  file.Write(kBookmarkFile, payload.data(), kBookmarkBytes);
}
