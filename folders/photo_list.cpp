#include "folders/photo_list.h"

#include <array>

#include "folders/folder_nav.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/wide.h"
#include "platform/storage/files.h"
#include "thumbs/thumb_maker.h"

namespace {

constexpr size_t kSearchBufferChars = 128;  // the search pattern and its terminator must fit

WCHAR FoldAscii(WCHAR c) { return (c >= u'a' && c <= u'z') ? static_cast<WCHAR>(c - u'a' + u'A') : c; }

bool EqualsIgnoringCase(WStringView a, WStringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

}  // namespace

PhotoEntry::~PhotoEntry() { ReleaseThumb(); }

void PhotoEntry::ReleaseThumb() {
  if (thumb) thumb->Release();
  thumb = nullptr;
}

bool IsPhotoFileName(WStringView fileName) {
  static constexpr std::array<WStringView, 11> kExtensions = {u"JPG", u"BMP", u"PNG",  u"GIF",  u"JPEG", u"JPE",
                                                              u"JP",  u"JFIF", u"HEIC", u"HEIF", u"WEBP"};
  size_t dot = fileName.rfind(u'.');
  if (dot == WStringView::npos || dot + 1 == fileName.size()) return false;
  WStringView extension = fileName.substr(dot + 1);
  for (WStringView known : kExtensions)
    if (EqualsIgnoringCase(extension, known)) return true;
  return false;
}

CPhotoList::CPhotoList(CMainPageDlg* owner) : m_pOwner(owner) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) {
    DebugZonePrint(kThumbZone, u"CoInitializeEx failed, hr: 0x%08x", static_cast<unsigned>(hr));
    return;
  }
  m_ComStarted = true;
  hr = CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                        reinterpret_cast<void**>(&m_pThumbFactory));
  if (FAILED(hr)) {
    m_pThumbFactory = nullptr;
    DebugZonePrint(kThumbZone, u"CoCreateInstance failed, hr: 0x%08x", static_cast<unsigned>(hr));
  }
}

CPhotoList::~CPhotoList() {
  Release(m_Entries);
  if (m_pThumbFactory) m_pThumbFactory->Release();
  m_pThumbFactory = nullptr;
  if (m_ComStarted) CoUninitialize();
}

void CPhotoList::Release(Entries& entries) {
  while (!entries.empty()) {
    delete entries.back();
    entries.pop_back();
  }
  Entries().swap(entries);
}

void CPhotoList::Fill(const WString& folderPath) {
  // The new listing is built aside; readers keep seeing the old one until the swap.
  Entries listing;
  size_t length = folderPath.size();
  bool fits = length > 1 && length + 5 <= kSearchBufferChars;  // path + "\*.*" + terminator
  if (fits) {
    // A backslash strictly inside the path means we are below the first level.
    bool hasParent = HasParentFolder(folderPath);
    if (hasParent) listing.push_back(new PhotoEntry(u"<..>", kThumbNone, 0));

    WString pattern = folderPath + u"*.*";  // the path already ends with its backslash
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      size_t folderSlot = hasParent ? 1 : 0;
      do {
        WString name(found.cFileName, WideLength(found.cFileName));
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          if (name.size() <= 2 && !name.empty() && name[0] == u'.') continue;
          // Each folder goes in front of those found before it.
          listing.insert(listing.begin() + folderSlot, new PhotoEntry(u"<" + name + u">", kThumbNone, 0));
        } else if (IsPhotoFileName(name)) {
          listing.push_back(new PhotoEntry(folderPath + name, kThumbNotTried, 1));
        }
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
  }
  {
    Hold hold(*this);
    m_Entries.swap(listing);
  }
  Release(listing);  // the old entries and their thumbnails, which no reader can reach now
}

void CPhotoList::ForEach(CPhotoVisitor& visitor) {
  Hold hold(*this);
  for (size_t i = 0; i < m_Entries.size(); ++i) visitor.Visit(static_cast<int>(i), *m_Entries[i]);
}

bool CPhotoList::HitTest(int a, int b, CPhotoVisitor& visitor, int* index) {
  Hold hold(*this);
  for (size_t i = 0; i < m_Entries.size(); ++i) {
    if (visitor.Test(a, b, static_cast<int>(i), *m_Entries[i])) {
      if (index) *index = static_cast<int>(i);
      return true;
    }
  }
  return false;
}

int CPhotoList::GetCount() const {
  Hold hold(*this);
  return static_cast<int>(m_Entries.size());
}

WString CPhotoList::GetName(int i) const {
  Hold hold(*this);
  if (i < 0 || i >= static_cast<int>(m_Entries.size())) return WString();
  return m_Entries[i]->GetName();
}

bool CPhotoList::IsPhoto(int i) const {
  Hold hold(*this);
  return i >= 0 && i < static_cast<int>(m_Entries.size()) && m_Entries[i]->isPhoto != 0;
}

bool CPhotoList::NeedsThumb(int i) const {
  Hold hold(*this);
  return i >= 0 && i < static_cast<int>(m_Entries.size()) && m_Entries[i]->state == kThumbNotTried;
}

bool CPhotoList::HasThumb(int i) const {
  Hold hold(*this);
  return i >= 0 && i < static_cast<int>(m_Entries.size()) && m_Entries[i]->state == kThumbTried;
}

PhotoEntry* CPhotoList::GetEntry(int i) {
  Hold hold(*this);
  return (i >= 0 && i < static_cast<int>(m_Entries.size())) ? m_Entries[i] : nullptr;
}

bool CPhotoList::GetCodecCLSID(CLSID* clsid, LPCWSTR mimeType) const {
  return ::GetCodecCLSID(m_pThumbFactory, clsid, mimeType);
}

void CPhotoList::PutThumb(int i, const PhotoEntry* expected, IImage* thumb, LONG state, bool setState) {
  {
    Hold hold(*this);
    PhotoEntry* entry = GetEntry(i);
    if (entry && entry == expected && !entry->thumb) {
      entry->thumb = thumb;
      if (setState) entry->state = state;
      return;
    }
  }
  if (thumb) thumb->Release();  // the listing changed meanwhile
}

PhotoEntry* CPhotoList::EntryWithoutThumb(int i, WString* name) {
  Hold hold(*this);
  PhotoEntry* entry = GetEntry(i);
  if (!entry || entry->thumb) return nullptr;
  *name = entry->name;
  return entry;
}

void CPhotoList::LoadThumb(int i) {
  WString name;
  PhotoEntry* entry = EntryWithoutThumb(i, &name);
  if (!entry) return;
  // The work happens outside the lock, so that painting is never held up by it.
  IImage* thumb = GetThumbWithoutDecoding(m_pThumbFactory, name);
  PutThumb(i, entry, thumb, kThumbTried, true);
}

void CPhotoList::MakeThumb(int i) {
  WString name;
  PhotoEntry* entry = EntryWithoutThumb(i, &name);
  if (!entry) return;
  IImage* thumb = MakeThumbFromWholePhoto(m_pThumbFactory, name);
  if (!thumb) {
    PutThumb(i, entry, nullptr, kThumbNone, true);
    return;
  }
  // Stored before the entry shows it, so that nothing else uses the picture meanwhile.
  StoreThumb(m_pThumbFactory, thumb, name);
  PutThumb(i, entry, thumb, kThumbTried, false);
}
