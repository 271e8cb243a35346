// Folder searches: FindFirstFileW / FindNextFileW / FindClose.
//
// A search takes a snapshot of the folder's names when it starts and reports those that
// match the pattern. Symbolic links are reported as what they point to, and only when that
// lies inside the device root; "." and ".." are not reported.
#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <mutex>
#include <vector>

#include "platform/device_paths.h"
#include "platform/file_attributes.h"
#include "platform/file_errors.h"
#include "platform/files.h"
#include "platform/wide.h"

namespace {

struct Search : KernelObject {
  std::string folder;
  std::vector<std::string> names;
  size_t next = 0;
};

std::mutex g_orderLock;
FindOrderHook& OrderHook() {
  static auto* hook = new FindOrderHook;
  return *hook;
}

// Wildcard match without regard to case: '*' any run, '?' one unit. "*.*" matches every
// name, with or without a dot, as on the device.
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

// Fills data for the host entry; false when it is not to be reported.
bool Describe(const std::string& folder, const std::string& name, WIN32_FIND_DATAW* data) {
  std::string host = folder + "/" + name;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return false;  // dangling link
  struct stat lst;
  if (lstat(host.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && !IsInsideRoot(host)) return false;
  WString wide = FromUtf8(name);
  if (wide.size() >= MAX_PATH) return false;
  *data = {};
  data->dwFileAttributes = HostFileAttributes(host);
  auto toFileTime = [](const timespec& t) {
    std::uint64_t ticks = (static_cast<std::uint64_t>(t.tv_sec) + 11644473600ULL) * 10000000ULL + t.tv_nsec / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  };
  data->ftCreationTime = toFileTime(st.st_mtim);
  data->ftLastAccessTime = toFileTime(st.st_atim);
  data->ftLastWriteTime = toFileTime(st.st_mtim);
  data->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(st.st_size) >> 32);
  data->nFileSizeLow = static_cast<DWORD>(st.st_size);
  std::copy(wide.begin(), wide.end(), data->cFileName);
  data->cFileName[wide.size()] = 0;
  return true;
}

bool Advance(Search& search, WIN32_FIND_DATAW* data) {
  while (search.next < search.names.size()) {
    if (Describe(search.folder, search.names[search.next++], data)) return true;
  }
  return false;
}

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

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
    std::string host = self.host;
    if (host.empty() || !self.exists || folderPart.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    size_t cut = host.find_last_of('/');
    auto search = std::make_unique<Search>();
    search->folder = host.substr(0, cut);
    search->names.push_back(host.substr(cut + 1));
    if (!Advance(*search, data)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    return AddHandle(std::move(search));
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
  auto search = std::make_unique<Search>();
  search->folder = folder.host;
  WString foldedPattern = FoldCase(namePart);
  std::vector<WString> wideNames;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (Matches(foldedPattern, FoldCase(FromUtf8(name)))) search->names.push_back(name);
  }
  {
    std::lock_guard guard(g_orderLock);
    if (OrderHook()) OrderHook()(search->names);
  }
  if (!Advance(*search, data)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return AddHandle(std::move(search));
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
