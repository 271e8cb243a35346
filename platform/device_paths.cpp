#include "platform/device_paths.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <vector>

#include "platform/files.h"
#include "platform/lasterror.h"
#include "platform/wide.h"

namespace {

WCHAR FoldUnit(WCHAR c) {
  if (c >= u'A' && c <= u'Z') return static_cast<WCHAR>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<WCHAR>(c + 0x20);
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return static_cast<WCHAR>(c + 0x20);
  if (c >= 0x410 && c <= 0x42F) return static_cast<WCHAR>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<WCHAR>(c + 0x50);
  return c;
}

std::vector<WString> SplitComponents(WStringView path) {
  std::vector<WString> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == WStringView::npos) end = path.size();
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};

// The host name in folder that matches name: the exact name if it exists, else the first
// that matches without regard to case; empty when there is none.
std::string MatchInFolder(const std::string& folder, const std::string& name) {
  struct stat st;
  if (lstat((folder + "/" + name).c_str(), &st) == 0) return name;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return std::string();
  WString wanted = FoldCase(FromUtf8(name));
  while (dirent* entry = readdir(dir.get())) {
    std::string candidate = entry->d_name;
    if (candidate == "." || candidate == "..") continue;
    if (FoldCase(FromUtf8(candidate)) == wanted) return candidate;
  }
  return std::string();
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

}  // namespace

WString FoldCase(WStringView name) {
  WString folded(name);
  for (WCHAR& c : folded) c = FoldUnit(c);
  return folded;
}

bool IsInsideRoot(const std::string& hostPath) {
  std::string root = RealPath(GetDeviceRoot());
  std::string real = RealPath(hostPath);
  if (root.empty() || real.empty()) return false;
  return real == root || (real.size() > root.size() && real.compare(0, root.size(), root) == 0 &&
                          (root.back() == '/' || real[root.size()] == '/'));
}

ResolvedPath ResolvePath(LPCWSTR devicePath) {
  ResolvedPath result;
  if (!devicePath) {
    result.error = ERROR_INVALID_PARAMETER;
    return result;
  }
  std::vector<WString> parts = SplitComponents(WStringView(devicePath, WideLength(devicePath)));
  std::string host = GetDeviceRoot().empty() ? std::string(".") : GetDeviceRoot();
  bool exists = true;
  for (size_t i = 0; i < parts.size(); ++i) {
    const WString& part = parts[i];
    if (part == u".") continue;
    if (part == u".." || part.find(u'/') != WString::npos || part.find(u'\0') != WString::npos) {
      result.error = part == u".." ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
      return result;
    }
    if (!exists) {  // only the last component may be missing
      result.error = ERROR_PATH_NOT_FOUND;
      return result;
    }
    std::string name = ToUtf8(part);
    std::string match = MatchInFolder(host, name);
    exists = !match.empty();
    host += "/" + (exists ? match : name);
    // Each existing step must stay inside the root, so a link cannot lead out of it.
    if (exists && !IsInsideRoot(host)) {
      struct stat st;
      bool danglingLink = lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && stat(host.c_str(), &st) != 0;
      result.error = danglingLink && i + 1 == parts.size() ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
      return result;
    }
  }
  result.host = host;
  result.exists = exists;
  return result;
}

std::string ResolveDevicePath(LPCWSTR devicePath) { return ResolvePath(devicePath).host; }
