// The table of stored thumbnails: the photo at position n has its thumbnail in the file
// "nand\_Thumbnails\" + n. Positions are never reused; an entry whose file went missing
// is emptied, and the photo then gets a new position at the end.
//
// The list is kept in "nand\_Thumbnails\map.txt": UTF-16LE, no byte-order mark, one line
// per position ending in CR LF.
//
// Cameras name their photos alike, so a path alone does not say which photo a thumbnail
// shows: a card swapped for another holds other photos under the same paths. Beside the
// list, "stamps.txt" keeps for each position the size and last write time of the photo
// when its thumbnail was stored; a photo that no longer matches its stamp gets a new
// thumbnail. Its lines are ASCII and follow map.txt's: "SIZE TIME CHECK" in hexadecimal
// (TIME the FILETIME as one number, CHECK a checksum of the entry's path, so that a stamp
// never applies to another photo whatever became of either file), or empty for no stamp.
// An index without stamps.txt (written by an older version) is trusted as it is, and its
// entries are stamped when first used; with stamps.txt, an entry without a stamp that
// fits it is made again.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/kernel/types.h"

class CThumbIndex {
 public:
  // Starts empty; Load fills it.
  CThumbIndex();

  // True when the index file was read and parsed; false when missing, empty or unreadable.
  // Reads the stamps too.
  bool Load();
  // True when the whole list was written. The stamps are written first, and the list only
  // when they were: a failed save leaves both files as they were.
  bool Save();
  // Appends the path unless an equal entry (same code units) exists. The photo's thumbnail is
  // about to be stored at the entry's position: the position is stamped with the photo as it
  // is now, and whatever file the position held is removed, so that a store that fails leaves
  // no other picture under it.
  void Add(const WString& path);
  // True when the photo has a position and, unless skipFileCheck, its file exists, is not
  // empty and was stored for the photo as it is now (its stamp); otherwise the entry is
  // emptied. thumbPath is set whenever a position was found.
  bool Lookup(const WString& path, WString& thumbPath, bool skipFileCheck);

  // Creates the thumbnail folder when nothing of that name is there.
  void MakeFolder() const;

  const std::vector<WString>& Entries() const { return m_Entries; }

 private:
  // What the index knows of the photo a position's thumbnail was made from.
  struct Stamp {
    enum Kind : std::uint8_t {
      Unknown,  // nothing: the thumbnail is made again
      Trusted,  // from an index that kept no stamps: taken as it is, stamped when used
      Known,
    } kind = Unknown;
    std::uint64_t size = 0;
    std::uint64_t written = 0;  // last write time, FILETIME
    bool operator==(const Stamp&) const = default;
  };
  static Stamp PhotoStamp(const WString& path);
  void LoadStamps();
  bool SaveStamps() const;
  WString ThumbPath(size_t position) const;

  WString m_Folder;
  WString m_FileName;
  std::vector<WString> m_Entries;
  std::vector<Stamp> m_Stamps;  // one per entry
};

// The process-wide index. The first call builds it and loads "map.txt", and registers the
// handler that saves it at process end; the program makes that call once the device root
// is chosen and before the application object exists.
CThumbIndex& TheThumbIndex();
