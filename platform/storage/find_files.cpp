// Folder searches: FindFirstFileW / FindNextFileW / FindClose.
//
// A search takes a snapshot of the folder's names when it starts and reports those that
// match the pattern: first "." and ".." (the folder and its parent, in every folder, the
// root's parent being the root), then the host's entries. Symbolic links are reported as
// what they point to, and only when that lies inside the device root. A folder entry that
// would lead back to the searched folder or to a folder on the way to it (through links)
// is not reported, so that descending into the folders a search reports always ends. Files
// being written as replacements (file_replace.h) are not reported either.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/storage/device_paths.h"
#include "platform/storage/file_attributes.h"
#include "platform/storage/file_errors.h"
#include "platform/storage/file_replace.h"
#include "platform/storage/file_times.h"
#include "platform/storage/files.h"
#include "platform/kernel/wide.h"

namespace {

struct Entry {
  std::string host;  // the host path to describe
  WString name;      // the name to report
  bool isDot;        // "." or "..": reported even though they lead back
};

struct Search : KernelObject {
  std::vector<Entry> entries;
  std::vector<std::string> way;  // real paths of the folders from the root to the searched one
  size_t next = 0;
};

std::mutex g_orderLock;
FindOrderHook& OrderHook() {
  static auto* hook = new FindOrderHook;
  return *hook;
}

// Wildcard match of folded texts: '*' any run, '?' one unit. "*.*" matches every name,
// with or without a dot, as on the device.
bool Matches(WStringView pattern, WStringView name) {
  if (pattern == u"*.*" || pattern == u"*") return true;
  size_t p = 0, n = 0, starP = WStringView::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      starP = p++;
      starN = n;
    } else if (starP != WStringView::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

// Fills data for the entry; false when it is not to be reported.
bool Describe(const Search& search, const Entry& entry, WIN32_FIND_DATAW* data) {
  if (entry.name.size() >= MAX_PATH) return false;
  struct stat st;
  if (stat(entry.host.c_str(), &st) != 0) return false;  // dangling link, or a loop of links
  if (!entry.isDot) {
    struct stat lst;
    if (lstat(entry.host.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && !IsInsideRoot(entry.host)) return false;
    if (S_ISDIR(st.st_mode) &&
        std::find(search.way.begin(), search.way.end(), RealPath(entry.host)) != search.way.end())
      return false;
  }
  HostFileTimes times;
  if (!ReadHostFileTimes(-1, entry.host, times)) return false;
  *data = {};
  data->dwFileAttributes = HostFileAttributes(entry.host);
  data->ftCreationTime = times.creation;
  data->ftLastAccessTime = times.lastAccess;
  data->ftLastWriteTime = times.lastWrite;
  data->nFileSizeHigh = S_ISDIR(st.st_mode) ? 0 : static_cast<DWORD>(static_cast<std::uint64_t>(st.st_size) >> 32);
  data->nFileSizeLow = S_ISDIR(st.st_mode) ? 0 : static_cast<DWORD>(st.st_size);
  std::copy(entry.name.begin(), entry.name.end(), data->cFileName);
  data->cFileName[entry.name.size()] = 0;
  return true;
}

bool Advance(Search& search, WIN32_FIND_DATAW* data) {
  while (search.next < search.entries.size()) {
    if (Describe(search, search.entries[search.next++], data)) return true;
  }
  return false;
}

HANDLE Start(std::unique_ptr<Search> search, WIN32_FIND_DATAW* data) {
  if (!Advance(*search, data)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return AddHandle(std::move(search));
}

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

std::string ParentFolder(const std::string& host) {
  const std::string& root = GetDeviceRoot();
  if (host == GetCardFolder()) return root;  // a card folder elsewhere hangs below the root
  if (host == root || host.find('/') == std::string::npos) return host;
  return host.substr(0, host.find_last_of('/'));
}

}  // namespace

void SetFindOrderForTests(FindOrderHook hook) {
  std::lock_guard guard(g_orderLock);
  OrderHook() = std::move(hook);
}

HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  WString text(pattern, WideLength(pattern));
  size_t slash = text.rfind(u'\\');
  WString folderPart = slash == WString::npos ? WString() : text.substr(0, slash);
  WString namePart = slash == WString::npos ? text : text.substr(slash + 1);

  if (namePart.empty()) {
    // "folder\": the folder itself, when it is there.
    ResolvedPath self = ResolvePath(folderPart.c_str());
    if (self.host.empty() || !self.exists || folderPart.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    auto search = std::make_unique<Search>();
    std::string hostName = self.host.substr(self.host.find_last_of('/') + 1);
    search->entries.push_back({self.host, FromHostName(hostName), true});
    return Start(std::move(search), data);
  }

  ResolvedPath folder = ResolvePath(folderPart.c_str());
  if (folder.host.empty() || !folder.exists) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.host.c_str()));
  if (!dir) {
    SetLastError(DeviceErrorFromErrno(errno, folder.host));
    return INVALID_HANDLE_VALUE;
  }
  WString foldedPattern = FoldCase(namePart);
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || IsReplacementName(name)) continue;
    if (Matches(foldedPattern, FoldCase(FromHostName(name)))) names.push_back(name);
  }
  dir.reset();
  std::sort(names.begin(), names.end());
  {
    std::lock_guard guard(g_orderLock);
    if (OrderHook()) OrderHook()(names);
  }

  auto search = std::make_unique<Search>();
  search->way = RealPathsOnTheWay(folder.host);
  if (Matches(foldedPattern, u".")) search->entries.push_back({folder.host, u".", true});
  if (Matches(foldedPattern, u"..")) search->entries.push_back({ParentFolder(folder.host), u"..", true});
  for (const std::string& name : names) search->entries.push_back({folder.host + "/" + name, FromHostName(name), false});
  return Start(std::move(search), data);
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* data) {
  Search* search = HandleAs<Search>(handle);
  if (!search || !data) return FALSE;
  if (Advance(*search, data)) return TRUE;
  SetLastError(ERROR_NO_MORE_FILES);
  return FALSE;
}

BOOL FindClose(HANDLE handle) {
  if (!HandleAs<Search>(handle)) return FALSE;
  return CloseHandle(handle);
}
