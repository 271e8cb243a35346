// The music bookmark: the track, its position and the volume of the last slideshow, kept in
// the parameter file "SDMMC\bmkPho.rom" on the card.
//
// Payload of 528 bytes (little-endian): the position (int64) at 0, the volume level (int32)
// at 8, the track's path at 12 as UTF-16 with a terminating 0, every byte after it 0.
#pragma once

#include <array>
#include <cstdint>

#include "platform/kernel/types.h"

inline constexpr WCHAR kBookmarkFile[] = u"SDMMC\\bmkPho.rom";
constexpr int kBookmarkBytes = 528;
constexpr size_t kBookmarkPathUnits = (kBookmarkBytes - 12) / 2;  // terminating 0 included

struct MusicBookmark {
  std::int64_t position = 0;
  std::int32_t volume = 0;
  WString path;  // empty when there was no track
};

using BookmarkPayload = std::array<BYTE, kBookmarkBytes>;

// A path too long for the payload is cut so that its terminating 0 still fits.
BookmarkPayload EncodeBookmark(const MusicBookmark& bookmark);
// The path ends at its first 0, or at the end of the payload.
MusicBookmark DecodeBookmark(const BookmarkPayload& payload);
