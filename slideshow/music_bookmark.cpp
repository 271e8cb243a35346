#include "slideshow/music_bookmark.h"

#include <algorithm>
#include <bit>
#include <cstring>

// The numbers are copied as they lie in memory.
static_assert(std::endian::native == std::endian::little);

BookmarkPayload EncodeBookmark(const MusicBookmark& bookmark) {
  BookmarkPayload payload{};
  std::memcpy(&payload[0], &bookmark.position, 8);
  std::memcpy(&payload[8], &bookmark.volume, 4);
  const size_t units = std::min(bookmark.path.size(), kBookmarkPathUnits - 1);
  std::memcpy(&payload[12], bookmark.path.data(), units * sizeof(WCHAR));
  return payload;
}

MusicBookmark DecodeBookmark(const BookmarkPayload& payload) {
  MusicBookmark bookmark;
  std::memcpy(&bookmark.position, &payload[0], 8);
  std::memcpy(&bookmark.volume, &payload[8], 4);
  for (size_t i = 0; i < kBookmarkPathUnits; ++i) {
    WCHAR unit;
    std::memcpy(&unit, &payload[12 + 2 * i], sizeof unit);
    if (unit == 0) break;
    bookmark.path.push_back(unit);
  }
  return bookmark;
}
