#include "platform/storage/device_paths.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <utility>

#include "platform/storage/files.h"
#include "platform/kernel/lasterror.h"
#include "platform/kernel/wide.h"

namespace {

// Simple case folding of one UTF-16 unit (the unit's lower-case partner, as far as it has
// a one-to-one one in the scripts a card's names are likely to use).
WCHAR FoldUnit(WCHAR c) {
  auto evenUpper = [c](unsigned first, unsigned last) { return c >= first && c <= last && (c & 1) == 0; };
  auto oddUpper = [c](unsigned first, unsigned last) { return c >= first && c <= last && (c & 1) == 1; };
  auto plus = [c](int n) { return static_cast<WCHAR>(c + n); };
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? plus(0x20) : c;
  // Latin-1, Latin Extended-A and -B.
  if (c == 0xB5) return 0x3BC;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return plus(0x20);
  if (c == 0x178) return 0xFF;
  if (c == 0x17F) return u's';
  if (evenUpper(0x100, 0x12F) || evenUpper(0x132, 0x137) || evenUpper(0x14A, 0x177)) return plus(1);
  if (oddUpper(0x139, 0x148) || oddUpper(0x179, 0x17E) || oddUpper(0x1CD, 0x1DC)) return plus(1);
  if (c == 0x1C4 || c == 0x1C7 || c == 0x1CA || c == 0x1F1) return plus(2);
  if (c == 0x1C5 || c == 0x1C8 || c == 0x1CB || c == 0x1F2) return plus(1);
  if (evenUpper(0x1DE, 0x1EF) || evenUpper(0x1F8, 0x21F) || evenUpper(0x222, 0x233)) return plus(1);
  // Greek.
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return plus(0x25);
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return plus(0x3F);
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return plus(0x20);
  if (c == 0x3C2) return 0x3C3;  // final sigma
  if (evenUpper(0x3D8, 0x3EF)) return plus(1);
  // Cyrillic.
  if (c >= 0x400 && c <= 0x40F) return plus(0x50);
  if (c >= 0x410 && c <= 0x42F) return plus(0x20);
  if (evenUpper(0x460, 0x481) || evenUpper(0x48A, 0x4BF) || evenUpper(0x4D0, 0x52F)) return plus(1);
  if (c == 0x4C0) return 0x4CF;
  if (oddUpper(0x4C1, 0x4CE)) return plus(1);
  // Armenian, Georgian.
  if (c >= 0x531 && c <= 0x556) return plus(0x30);
  if ((c >= 0x10A0 && c <= 0x10C5) || c == 0x10C7 || c == 0x10CD) return plus(0x2D00 - 0x10A0);
  // Latin Extended Additional.
  if (evenUpper(0x1E00, 0x1E95) || evenUpper(0x1EA0, 0x1EFF)) return plus(1);
  if (c == 0x1E9E) return 0xDF;
  // Letter-like symbols, Roman numerals, circled and full-width letters.
  if (c == 0x2126) return 0x3C9;
  if (c == 0x212A) return u'k';
  if (c == 0x212B) return 0xE5;
  if (c >= 0x2160 && c <= 0x216F) return plus(0x10);
  if (c >= 0x24B6 && c <= 0x24CF) return plus(0x1A);
  if (c >= 0xFF21 && c <= 0xFF3A) return plus(0x20);
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
std::string MatchInFolder(const std::string& folder, const std::string& name, const WString& folded) {
  struct stat st;
  if (lstat((folder + "/" + name).c_str(), &st) == 0) return name;
  std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
  if (!dir) return std::string();
  while (dirent* entry = readdir(dir.get())) {
    std::string candidate = entry->d_name;
    if (candidate == "." || candidate == "..") continue;
    if (FoldCase(FromHostName(candidate)) == folded) return candidate;
  }
  return std::string();
}

bool IsWithin(const std::string& path, const std::string& folder) {
  if (path == folder) return true;
  return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
         (folder.back() == '/' || path[folder.size()] == '/');
}

}  // namespace

WString FoldCase(WStringView name) {
  WString folded(name);
  for (WCHAR& c : folded) c = FoldUnit(c);
  return folded;
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

bool IsInsideRoot(const std::string& hostPath) {
  std::string real = RealPath(hostPath);
  if (real.empty()) return false;
  std::string root = RealPath(GetDeviceRoot());
  std::string card = GetCardFolder().empty() ? std::string() : RealPath(GetCardFolder());
  return (!root.empty() && IsWithin(real, root)) || (!card.empty() && IsWithin(real, card));
}

namespace {
ResolvedPath ResolveOnHost(LPCWSTR devicePath);
}  // namespace

bool IsOnCard(const std::string& hostPath) {
  ResolvedPath card = ResolveOnHost(u"SDMMC");
  std::string cardReal = card.exists ? RealPath(card.host) : std::string();
  if (cardReal.empty()) return false;
  std::string real = RealPath(hostPath);
  if (real.empty()) {  // not there yet: where its folder is
    size_t cut = hostPath.find_last_of('/');
    if (cut == std::string::npos) return false;
    real = RealPath(hostPath.substr(0, cut));
    if (real.empty()) return false;
  }
  return IsWithin(real, cardReal);
}

std::vector<std::string> RealPathsOnTheWay(const std::string& hostFolder) {
  std::vector<std::string> way;
  std::string at = GetDeviceRoot().empty() ? std::string(".") : GetDeviceRoot();
  way.push_back(RealPath(at));
  // A card folder elsewhere on the host is the way's second step, right below the root.
  if (const std::string& card = GetCardFolder(); !card.empty() && IsWithin(hostFolder, card)) {
    at = card;
    way.push_back(RealPath(at));
  }
  if (!IsWithin(hostFolder, at)) return way;
  size_t pos = at.size();
  while (pos < hostFolder.size()) {
    size_t next = hostFolder.find('/', pos + 1);
    if (next == std::string::npos) next = hostFolder.size();
    way.push_back(RealPath(hostFolder.substr(0, next)));
    pos = next;
  }
  return way;
}

namespace {

// The host path of a device path as the folders are, whether or not the card is in.
ResolvedPath ResolveOnHost(LPCWSTR devicePath) {
  ResolvedPath result;
  if (!devicePath) {
    result.error = ERROR_INVALID_PARAMETER;
    return result;
  }
  std::vector<WString> parts = SplitComponents(WStringView(devicePath, WideLength(devicePath)));
  std::string host = GetDeviceRoot().empty() ? std::string(".") : GetDeviceRoot();
  bool exists = true;
  bool atRoot = true;
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
    const bool first = std::exchange(atRoot, false);
    if (first && !GetCardFolder().empty() && FoldCase(part) == u"sdmmc") {
      host = GetCardFolder();
      struct stat st;
      exists = stat(host.c_str(), &st) == 0;
      continue;
    }
    std::string name = ToHostName(part);
    std::string match = MatchInFolder(host, name, FoldCase(part));
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

}  // namespace

ResolvedPath ResolvePath(LPCWSTR devicePath) {
  ResolvedPath result = ResolveOnHost(devicePath);
  // A card taken out leaves nothing of it to reach, also through links onto it.
  if (IsCardTakenOut() && !result.host.empty() && IsOnCard(result.host)) {
    ResolvedPath gone;
    gone.error = ERROR_PATH_NOT_FOUND;
    return gone;
  }
  return result;
}

std::string ResolveDevicePath(LPCWSTR devicePath) { return ResolvePath(devicePath).host; }
