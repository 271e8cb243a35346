// The music files of the card: every MP3 and WMA file under a folder, found by a recursive
// scan that keeps the order in which the file system reports the entries.
#pragma once

#include <vector>

#include "platform/kernel/types.h"

// The card's top folder, where the scan starts.
inline constexpr WCHAR kMusicRoot[] = u"\\SDMMC";

// Paths of 248 characters or more are left out, as are the folders longer than that.
constexpr size_t kMaxMusicPath = 248;

// Adds to `list` every file under `folder` whose name ends, in any case, with one of the
// three-letter `extensions` (upper case, e.g. u"MP3"), as folder + "\" + name. A folder is
// scanned where it appears, so its files come before the entries that follow it; folders
// whose names begin with "." are skipped.
void ScanMusicFolder(const WString& folder, std::vector<WString>& list, const std::vector<WString>& extensions);

// The card's music list: emptied, then filled with its MP3 and WMA files.
void BuildMusicList(std::vector<WString>& list);
