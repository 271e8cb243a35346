// Adding folders to and removing files from folders on device paths.
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/storage/device_paths.h"
#include "platform/storage/file_errors.h"
#include "platform/storage/files.h"

namespace {

// A read-only card refuses every change, also where the host would allow it (as root).
bool RefusedOnReadOnlyCard(const std::string& host) {
  if (!IsOnCard(host) || !IsCardReadOnly()) return false;
  SetLastError(ERROR_ACCESS_DENIED);
  return true;
}

}  // namespace

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
  if (RefusedOnReadOnlyCard(resolved.host)) return FALSE;
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
  if (RefusedOnReadOnlyCard(resolved.host)) return FALSE;
  if (unlink(resolved.host.c_str()) != 0) {
    SetLastError(DeviceErrorFromErrno(errno, resolved.host));
    return FALSE;
  }
  return TRUE;
}
