// Moving through the card's folders: the current folder path, the main page's title for it,
// and the range of photos in a listing.
#pragma once

#include "folders/photo_list.h"
#include "platform/kernel/types.h"

// The browser starts on the card; a path always ends with a backslash.
inline constexpr WStringView kCardFolder = u"\\SDMMC\\";

// last := count - 1 always; fails on an empty list or one without photos, else first :=
// the first photo's index. Folders come first, so first..last are all photos.
bool FindPhotoRange(const CPhotoList& list, int& first, int& last);

// True below the first level, where the listing has the parent entry "<..>".
bool HasParentFolder(const WString& path);

// Moves path into the folder entry "<name>" or up for "<..>"; other names change nothing.
void EnterFolder(WString& path, const WString& entryName);

// The main page's title for a folder path: its last folder name, or "\" at the top.
WString FolderTitle(const WString& path);
