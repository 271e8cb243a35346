// The listing of one card folder in display order: the parent entry "<..>" (below the
// first level), the sub-folders in the reverse of the file system's order, then the photos
// in the file system's order. Nothing is sorted.
#pragma once

#include <vector>

#include "platform/imaging/imaging.h"
#include "platform/kernel/types.h"

// Thumbnail states of an entry.
constexpr LONG kThumbNotTried = 0;
constexpr LONG kThumbTried = 1;  // loading tried; once the thumbnail thread is done, a thumbnail is there
constexpr LONG kThumbNone = 3;   // folders, the parent entry, photos whose thumbnail could not be made

struct PhotoEntry {
  IImage* thumb = nullptr;  // one reference owned by the entry
  LONG state = kThumbNotTried;
  LONG isPhoto = 0;
  // A photo: its full path. A folder: "<" + name + ">". The parent entry: "<..>".
  WString name;

  PhotoEntry() = default;
  PhotoEntry(WString entryName, LONG entryState, LONG photo) : state(entryState), isPhoto(photo), name(std::move(entryName)) {}
  PhotoEntry(const PhotoEntry&) = delete;
  PhotoEntry& operator=(const PhotoEntry&) = delete;
  virtual ~PhotoEntry();

  virtual IImage* GetThumb() const { return thumb; }
  virtual const WString& GetName() const { return name; }
  // Gives back the entry's reference to its thumbnail.
  void ReleaseThumb();
};

// True for file names whose extension is one the browser shows as a photo.
bool IsPhotoFileName(WStringView fileName);

class CPhotoList {
 public:
  CPhotoList() = default;
  CPhotoList(const CPhotoList&) = delete;
  CPhotoList& operator=(const CPhotoList&) = delete;
  ~CPhotoList();

  // Replaces the content with the listing of folderPath (which ends with a backslash).
  // Paths whose search pattern does not fit 128 characters list nothing.
  void Fill(const WString& folderPath);

  int GetCount() const { return static_cast<int>(m_Entries.size()); }
  // The entry's name; empty when i is out of range.
  WString GetName(int i) const;
  bool IsPhoto(int i) const;
  bool NeedsThumb(int i) const;  // state 0
  bool HasThumb(int i) const;    // state 1
  // The entry itself, or nullptr out of range (for the thumbnail operations).
  PhotoEntry* GetEntry(int i);

 private:
  void Clear();
  std::vector<PhotoEntry*> m_Entries;
};

// Pages of eight entries.
constexpr int kCellsPerPage = 8;
inline int PageCount(int entries) { return (entries + kCellsPerPage - 1) / kCellsPerPage; }
inline int PageOf(int index) { return index / kCellsPerPage; }
inline int CellOf(int index) { return index % kCellsPerPage; }
