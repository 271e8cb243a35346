// The table of stored thumbnails: the photo at position n has its thumbnail in the file
// "nand\_Thumbnails\" + n. Positions are never reused; an entry whose file went missing
// is emptied, and the photo then gets a new position at the end.
//
// The list is kept in "nand\_Thumbnails\map.txt": UTF-16LE, no byte-order mark, one line
// per position ending in CR LF.
#pragma once

#include <vector>

#include "platform/kernel/types.h"

class CThumbIndex {
 public:
  // Starts empty; Load fills it.
  CThumbIndex();

  // True when the index file was read and parsed; false when missing, empty or unreadable.
  bool Load();
  // True when the whole list was written.
  bool Save();
  // Appends the path unless an equal entry (same code units) exists.
  void Add(const WString& path);
  // True when the photo has a position and, unless skipFileCheck, its file exists.
  // thumbPath is set whenever a position was found.
  bool Lookup(const WString& path, WString& thumbPath, bool skipFileCheck);

  // Creates the thumbnail folder when nothing of that name is there.
  void MakeFolder() const;

  const std::vector<WString>& Entries() const { return m_Entries; }

 private:
  WString m_Folder;
  WString m_FileName;
  std::vector<WString> m_Entries;
};

// The process-wide index. The first call builds it and loads "map.txt", and registers the
// handler that saves it at process end; the program makes that call once the device root
// is chosen and before the application object exists.
CThumbIndex& TheThumbIndex();
