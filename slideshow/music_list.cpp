#include "slideshow/music_list.h"

#include <algorithm>

#include "platform/storage/files.h"

namespace {

WCHAR AsciiUpper(WCHAR c) { return c >= u'a' && c <= u'z' ? static_cast<WCHAR>(c - u'a' + u'A') : c; }

// The name's last three characters, upper-cased, equal one of the extensions.
bool HasExtension(WStringView name, const std::vector<WString>& extensions) {
  if (name.size() < 3) return false;
  WString last(name.substr(name.size() - 3));
  std::transform(last.begin(), last.end(), last.begin(), AsciiUpper);
  return std::find(extensions.begin(), extensions.end(), last) != extensions.end();
}

}  // namespace

void ScanMusicFolder(const WString& folder, std::vector<WString>& list, const std::vector<WString>& extensions) {
  if (folder.size() > kMaxMusicPath) return;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + u"\\*.*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const WString name(found.cFileName);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      // "." and ".." begin with a dot too.
      if (name.empty() || name[0] == u'.') continue;
      ScanMusicFolder(folder + u"\\" + name, list, extensions);
    } else if (HasExtension(name, extensions)) {
      WString path = folder + u"\\" + name;
      if (path.size() < kMaxMusicPath) list.push_back(std::move(path));
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

void BuildMusicList(std::vector<WString>& list) {
  list.clear();
  ScanMusicFolder(kMusicRoot, list, {u"WMA", u"MP3"});
}
