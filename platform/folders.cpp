// Creating folders and deleting files on device paths; runtime stream I/O; whether the
// card is there.
#include <errno.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/device_paths.h"
#include "platform/file_errors.h"
#include "platform/files.h"
#include "platform/wide.h"

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  ResolvedPath resolved = ResolvePath(path);
  if (resolved.host.empty()) {
    SetLastError(resolved.error);
    return FALSE;
  }
  if (resolved.exists) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (mkdir(resolved.host.c_str(), 0755) != 0) {
    SetLastError(DeviceErrorFromErrno(errno, resolved.host));
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
  ResolvedPath resolved = ResolvePath(path);
  if (resolved.host.empty() || !resolved.exists) {
    SetLastError(resolved.host.empty() ? resolved.error : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  struct stat st;
  if (stat(resolved.host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(resolved.host.c_str()) != 0) {
    SetLastError(DeviceErrorFromErrno(errno, resolved.host));
    return FALSE;
  }
  return TRUE;
}

FILE* _wfopen(LPCWSTR path, LPCWSTR mode) {
  ResolvedPath resolved = ResolvePath(path);
  if (resolved.host.empty() || !mode) {
    SetLastError(resolved.host.empty() ? resolved.error : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string narrowMode = ToUtf8(WStringView(mode, WideLength(mode)));
  bool writes = narrowMode.find_first_of("wa+") != std::string::npos;
  if (writes && IsCardReadOnly() && resolved.host.rfind(ResolveDevicePath(u"SDMMC"), 0) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  FILE* file = std::fopen(resolved.host.c_str(), narrowMode.c_str());
  if (!file) SetLastError(DeviceErrorFromErrno(errno, resolved.host));
  return file;
}

bool IsCardMounted() {
  ResolvedPath card = ResolvePath(u"SDMMC");
  struct stat st;
  return card.exists && stat(card.host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsCardReadOnly() {
  ResolvedPath card = ResolvePath(u"SDMMC");
  if (!card.exists) return true;
  struct statvfs fs;
  if (statvfs(card.host.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY)) return true;
  // Root passes access(); the folder's own write bits still say what the user meant.
  struct stat st;
  return access(card.host.c_str(), W_OK) != 0 || (stat(card.host.c_str(), &st) == 0 && !(st.st_mode & 0222));
}
