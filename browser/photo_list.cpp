#include "browser/photo_list.h"

#include <array>

#include "platform/storage/files.h"
#include "platform/kernel/wide.h"

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
  static constexpr std::array<WStringView, 8> kExtensions = {u"JPG", u"BMP",  u"PNG", u"GIF",
                                                             u"JPEG", u"JPE", u"JP",  u"JFIF"};
  size_t dot = fileName.rfind(u'.');
  if (dot == WStringView::npos || dot + 1 == fileName.size()) return false;
  WStringView extension = fileName.substr(dot + 1);
  for (WStringView known : kExtensions)
    if (EqualsIgnoringCase(extension, known)) return true;
  return false;
}

CPhotoList::~CPhotoList() { Clear(); }

void CPhotoList::Clear() {
  while (!m_Entries.empty()) {
    delete m_Entries.back();
    m_Entries.pop_back();
  }
  std::vector<PhotoEntry*>().swap(m_Entries);
}

void CPhotoList::Fill(const WString& folderPath) {
  Clear();
  size_t length = folderPath.size();
  if (length <= 1) return;
  if (length + 5 > kSearchBufferChars) return;  // path + "\*.*" + terminator would not fit: list nothing

  // A backslash strictly inside the path means we are below the first level.
  bool hasParent = folderPath.substr(1, length - 2).find(u'\\') != WString::npos;
  if (hasParent) m_Entries.push_back(new PhotoEntry(u"<..>", kThumbNone, 0));

  WString pattern = folderPath + u"*.*";  // the path already ends with its backslash
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  size_t folderSlot = hasParent ? 1 : 0;
  do {
    WString name(found.cFileName, WideLength(found.cFileName));
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name.size() <= 2 && !name.empty() && name[0] == u'.') continue;
      // Each folder goes in front of those found before it.
      m_Entries.insert(m_Entries.begin() + folderSlot, new PhotoEntry(u"<" + name + u">", kThumbNone, 0));
    } else if (IsPhotoFileName(name)) {
      m_Entries.push_back(new PhotoEntry(folderPath + name, kThumbNotTried, 1));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

WString CPhotoList::GetName(int i) const {
  if (i < 0 || i >= GetCount()) return WString();
  return m_Entries[i]->GetName();
}

bool CPhotoList::IsPhoto(int i) const { return i >= 0 && i < GetCount() && m_Entries[i]->isPhoto != 0; }
bool CPhotoList::NeedsThumb(int i) const { return i >= 0 && i < GetCount() && m_Entries[i]->state == kThumbNotTried; }
bool CPhotoList::HasThumb(int i) const { return i >= 0 && i < GetCount() && m_Entries[i]->state == kThumbTried; }

PhotoEntry* CPhotoList::GetEntry(int i) { return (i >= 0 && i < GetCount()) ? m_Entries[i] : nullptr; }
