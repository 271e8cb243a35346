#include "folders/folder_nav.h"

bool FindPhotoRange(const CPhotoList& list, int& first, int& last) {
  int count = list.GetCount();
  last = count - 1;
  if (count == 0) return false;
  for (int i = 0; i < count; ++i) {
    if (list.IsPhoto(i)) {
      first = i;
      return true;
    }
  }
  return false;
}

bool HasParentFolder(const WString& path) {
  return path.size() > 2 && path.substr(1, path.size() - 2).find(u'\\') != WString::npos;
}

void EnterFolder(WString& path, const WString& entryName) {
  if (entryName.empty() || entryName[0] != u'<') return;
  WString inner = entryName.size() >= 2 ? entryName.substr(1, entryName.size() - 2) : WString();
  if (inner == u"..") {
    // Up to the backslash before the last folder name; the trailing backslash stays.
    size_t position = 0;
    for (size_t i = path.size() >= 2 ? path.size() - 2 : 0; i >= 1; --i) {
      if (path[i] == u'\\') {
        position = i;
        break;
      }
    }
    path.resize(position + 1);
    return;
  }
  path += inner + u"\\";
}

WString FolderTitle(const WString& path) {
  WString trimmed = path;
  if (!trimmed.empty() && trimmed.back() == u'\\') trimmed.pop_back();
  size_t position;
  if (trimmed.size() < 256) {
    size_t slash = trimmed.rfind(u'\\');
    position = slash == WString::npos ? 0 : slash + 1;
  } else {
    position = trimmed.size();
  }
  if (position > 1) return trimmed.substr(position);
  return u"\\";
}
