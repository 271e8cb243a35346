// What the photo information dialog shows: the facts of the photo's file, the six lines of
// text made from them, and the rectangle the preview is drawn into.
#pragma once

#include <array>

#include "platform/storage/files.h"
#include "platform/windows/afx.h"

// The file's size and times. All zeros when the file cannot be opened; a size of 4 GiB or
// more reads as 0; the times are in local time.
struct FileFacts {
  DWORD size = 0;
  SYSTEMTIME created{};
  SYSTEMTIME lastWritten{};
};
FileFacts ReadFileFacts(LPCWSTR path);

// Everything the six lines are made from.
struct InfoFacts {
  WString path;
  WString format;  // the photo record's format text
  FileFacts file;
  int width = 0, height = 0;
  int colourDepth = 0;
};

// The file name without its folder and without the part from its last ".".
WString InfoFileName(const WString& path);
// Bytes below 1 KiB, whole KiB below 1 MiB, else MiB or GiB with two decimals.
WString SizeText(DWORD size);

constexpr int kInfoLineCount = 6;
constexpr int kNameLineWidth = 208;
// The six lines (name, format, size, date and time, pixel size, colour depth) with their
// labels. The name line is fitted to kNameLineWidth pixels with window's context.
std::array<WString, kInfoLineCount> InfoLines(CWnd* window, const InfoFacts& facts);

// The preview of a w x h picture: fitted into the 395 x 345 box at (23, 25), centred, then
// widened by 5 pixels on the left and 2 on the right. w and h must not be 0.
RECT PreviewRect(UINT w, UINT h);
