// Runtime stream I/O on device paths.
#include <errno.h>
#include <sys/stat.h>

#include "platform/storage/device_paths.h"
#include "platform/storage/file_errors.h"
#include "platform/storage/files.h"
#include "platform/kernel/wide.h"

FILE* _wfopen(LPCWSTR path, LPCWSTR mode) {
  ResolvedPath resolved = ResolvePath(path);
  if (resolved.host.empty() || !mode) {
    SetLastError(resolved.host.empty() ? resolved.error : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string narrowMode = ToUtf8(WStringView(mode, WideLength(mode)));
  bool writes = narrowMode.find_first_of("wa+") != std::string::npos;
  if (writes && IsOnCard(resolved.host) && IsCardReadOnly()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  // Only plain files: a pipe on the card would block the opener.
  struct stat st;
  if (resolved.exists && stat(resolved.host.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  FILE* file = std::fopen(resolved.host.c_str(), narrowMode.c_str());
  if (!file) SetLastError(DeviceErrorFromErrno(errno, resolved.host));
  return file;
}
