// The listing of one card folder in display order: the parent entry "<..>" (below the
// first level), the sub-folders in the reverse of the file system's order, then the photos
// in the file system's order. Nothing is sorted. The list also carries each entry's
// thumbnail and gets or makes it on request (thumbs/thumb_maker.h).
//
// Two threads use a list: the main page's thumbnail thread fills it and gets thumbnails,
// the window thread paints from it. Fill builds the new listing aside and swaps it in while
// no Hold is alive, and thumbnails are put into entries under the same lock, so a reader
// that keeps a Hold sees one listing throughout and never a released thumbnail.
#pragma once

#include <mutex>
#include <vector>

#include "platform/imaging/imaging.h"
#include "platform/kernel/types.h"

class CMainPageDlg;

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

// What ForEach and HitTest call for the entries, in their order.
class CPhotoVisitor {
 public:
  virtual ~CPhotoVisitor() = default;
  virtual void Visit(int index, PhotoEntry& entry) = 0;
  virtual bool Test(int a, int b, int index, PhotoEntry& entry) = 0;
};

class CPhotoList {
 public:
  // Sets up COM and the list's own imaging factory, which all thumbnail work goes through.
  explicit CPhotoList(CMainPageDlg* owner = nullptr);
  CPhotoList(const CPhotoList&) = delete;
  CPhotoList& operator=(const CPhotoList&) = delete;

  // The operations other code may replace, in their fixed order.
  virtual void ForEach(CPhotoVisitor& visitor);
  // The thumbnail inside the photo, else the stored one; state 1 afterwards either way.
  // Nothing for an index out of range or an entry that has its thumbnail.
  virtual void LoadThumb(int i);
  // A thumbnail made from the whole photo and stored for next time; state 3 when it cannot
  // be made. Nothing for an index out of range or an entry that has its thumbnail.
  virtual void MakeThumb(int i);
  // The entry's name; empty when i is out of range.
  virtual WString GetName(int i) const;
  virtual int GetCount() const;
  // The first index whose entry the visitor's Test accepts, in *index; false when none does.
  virtual bool HitTest(int a, int b, CPhotoVisitor& visitor, int* index);
  // Releases every thumbnail, the factory and COM.
  virtual ~CPhotoList();

  // Replaces the content with the listing of folderPath (which ends with a backslash).
  // Paths whose search pattern does not fit 128 characters list nothing.
  void Fill(const WString& folderPath);

  bool IsPhoto(int i) const;
  bool NeedsThumb(int i) const;  // state 0
  bool HasThumb(int i) const;    // state 1
  // The entry itself, or nullptr out of range. Keep a Hold while using it.
  PhotoEntry* GetEntry(int i);

  // True when an installed encoder has exactly that MIME type; its class id in *clsid.
  bool GetCodecCLSID(CLSID* clsid, LPCWSTR mimeType) const;
  IImagingFactory* ThumbFactory() const { return m_pThumbFactory; }
  CMainPageDlg* Owner() const { return m_pOwner; }

  // Keeps the listing and its thumbnails as they are while it lives (Fill waits to swap).
  class Hold {
   public:
    explicit Hold(const CPhotoList& list) : m_lock(list.m_Lock) {}

   private:
    std::unique_lock<std::recursive_mutex> m_lock;
  };

 private:
  using Entries = std::vector<PhotoEntry*>;
  static void Release(Entries& entries);
  // Entry i and its name when it has no thumbnail yet (read under the lock), else nullptr.
  PhotoEntry* EntryWithoutThumb(int i, WString* name);
  // Gives the thumbnail to entry i if it is still the same entry, else releases it.
  void PutThumb(int i, const PhotoEntry* expected, IImage* thumb, LONG state, bool setState);

  mutable std::recursive_mutex m_Lock;
  Entries m_Entries;
  CMainPageDlg* m_pOwner;
  IImagingFactory* m_pThumbFactory = nullptr;
  bool m_ComStarted = false;
};

// Pages of eight entries.
constexpr int kCellsPerPage = 8;
inline int PageCount(int entries) { return (entries + kCellsPerPage - 1) / kCellsPerPage; }
inline int PageOf(int index) { return index / kCellsPerPage; }
inline int CellOf(int index) { return index % kCellsPerPage; }
