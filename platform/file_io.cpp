// Files opened through CreateFileW: reading, writing, sizes, times and the share modes
// that the device enforces between open handles.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <mutex>
#include <vector>

#include "platform/device_paths.h"
#include "platform/drivers.h"
#include "platform/file_attributes.h"
#include "platform/file_errors.h"
#include "platform/files.h"
#include "platform/wide.h"

namespace {

struct OpenFile : KernelObject {
  int fd = -1;
  DWORD access = 0;
  DWORD share = 0;
  dev_t device = 0;
  ino_t inode = 0;
  std::string host;
  ~OpenFile() override;
};

// Open files by identity, for the share-mode check. Guarded by g_shareLock.
std::mutex g_shareLock;
std::vector<OpenFile*>& OpenFiles() {
  static auto* files = new std::vector<OpenFile*>;
  return *files;
}

OpenFile::~OpenFile() {
  {
    std::lock_guard guard(g_shareLock);
    std::erase(OpenFiles(), this);
  }
  if (fd >= 0) close(fd);
}

// Two opens of one file conflict when either asks for what the other does not share.
bool Conflicts(const OpenFile& open, DWORD access, DWORD share) {
  auto wants = [](DWORD a, DWORD s) {
    return ((a & GENERIC_READ) && !(s & FILE_SHARE_READ)) || ((a & GENERIC_WRITE) && !(s & FILE_SHARE_WRITE));
  };
  return wants(access, open.share) || wants(open.access, share);
}

bool IsOnCard(const std::string& host) {
  std::string card = GetDeviceRoot() + "/";
  if (host.compare(0, card.size(), card) != 0) return false;
  std::string rest = host.substr(card.size());
  std::string first = rest.substr(0, rest.find('/'));
  return FoldCase(FromUtf8(first)) == u"sdmmc";
}

FILETIME ToFileTime(const timespec& t) {
  // 100 ns units since 1601-01-01.
  std::uint64_t ticks = (static_cast<std::uint64_t>(t.tv_sec) + 11644473600ULL) * 10000000ULL + t.tv_nsec / 100;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::uint64_t Ticks(const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD, HANDLE) {
  if (IsDriverName(fileName)) {
    HANDLE driver = OpenDriver(fileName);
    return driver ? driver : INVALID_HANDLE_VALUE;
  }
  ResolvedPath path = ResolvePath(fileName);
  if (path.host.empty()) {
    SetLastError(path.error);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  flags |= (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  bool writes = (access & GENERIC_WRITE) || (flags & (O_CREAT | O_TRUNC));
  if (writes && IsOnCard(path.host) && IsCardReadOnly()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (stat(path.host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (creation == CREATE_NEW && path.exists) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }

  std::lock_guard guard(g_shareLock);
  // Check sharing before the open, so that a refused open does not truncate the file.
  if (stat(path.host.c_str(), &st) == 0) {
    for (const OpenFile* open : OpenFiles()) {
      if (open->device == st.st_dev && open->inode == st.st_ino && Conflicts(*open, access, shareMode)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
      }
    }
  }
  int fd = open(path.host.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(DeviceErrorFromErrno(errno, path.host));
    return INVALID_HANDLE_VALUE;
  }
  fstat(fd, &st);
  auto file = std::make_unique<OpenFile>();
  file->fd = fd;
  file->access = access;
  file->share = shareMode;
  file->device = st.st_dev;
  file->inode = st.st_ino;
  file->host = path.host;
  OpenFiles().push_back(file.get());
  SetLastError((path.exists && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS)) ? ERROR_ALREADY_EXISTS
                                                                                       : ERROR_SUCCESS);
  return AddHandle(std::move(file));
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  if (read) *read = 0;
  OpenFile* file = HandleAs<OpenFile>(handle);
  if (!file) return FALSE;
  if (!(file->access & GENERIC_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD done = 0;
  while (done < toRead) {
    ssize_t n = ::read(file->fd, static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      if (read) *read = done;
      return FALSE;
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  OpenFile* file = HandleAs<OpenFile>(handle);
  if (!file) return FALSE;
  if (!(file->access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(file->fd, static_cast<const char*>(buffer) + done, toWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      SetLastError(errno == ENOSPC ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED);
      if (written) *written = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
  OpenFile* file = HandleAs<OpenFile>(handle);
  struct stat st;
  if (!file || fstat(file->fd, &st) != 0) {
    if (sizeHigh) *sizeHigh = 0;
    return INVALID_FILE_SIZE;
  }
  std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD method) {
  OpenFile* file = HandleAs<OpenFile>(handle);
  if (!file) return 0xFFFFFFFF;
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (method > FILE_END) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0xFFFFFFFF;
  }
  off_t offset = distanceHigh ? static_cast<off_t>((static_cast<std::uint64_t>(static_cast<DWORD>(*distanceHigh)) << 32) |
                                                   static_cast<DWORD>(distance))
                              : static_cast<off_t>(distance);
  off_t at = lseek(file->fd, offset, kWhence[method]);
  if (at < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0xFFFFFFFF;
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<std::uint64_t>(at) >> 32);
  return static_cast<DWORD>(at);
}

BOOL GetFileInformationByHandle(HANDLE handle, BY_HANDLE_FILE_INFORMATION* info) {
  OpenFile* file = HandleAs<OpenFile>(handle);
  struct statx sx;
  if (!file || !info) return FALSE;
  if (statx(file->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto ts = [](const struct statx_timestamp& t) { return timespec{t.tv_sec, static_cast<long>(t.tv_nsec)}; };
  *info = {};
  info->dwFileAttributes = HostFileAttributes(file->host);
  // Hosts that keep no birth time give the last change instead.
  info->ftCreationTime = ToFileTime(ts((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime));
  info->ftLastAccessTime = ToFileTime(ts(sx.stx_atime));
  info->ftLastWriteTime = ToFileTime(ts(sx.stx_mtime));
  info->nFileSizeHigh = static_cast<DWORD>(sx.stx_size >> 32);
  info->nFileSizeLow = static_cast<DWORD>(sx.stx_size);
  info->nNumberOfLinks = sx.stx_nlink;
  info->nFileIndexHigh = static_cast<DWORD>(sx.stx_ino >> 32);
  info->nFileIndexLow = static_cast<DWORD>(sx.stx_ino);
  return TRUE;
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime) {
  if (!fileTime || !localTime) return FALSE;
  std::uint64_t ticks = Ticks(*fileTime);
  time_t seconds = static_cast<time_t>(ticks / 10000000ULL) - 11644473600LL;
  struct tm local;
  if (!localtime_r(&seconds, &local)) return FALSE;
  std::int64_t shifted = static_cast<std::int64_t>(ticks) + static_cast<std::int64_t>(local.tm_gmtoff) * 10000000LL;
  *localTime = FILETIME{static_cast<DWORD>(shifted), static_cast<DWORD>(static_cast<std::uint64_t>(shifted) >> 32)};
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (!fileTime || !systemTime) return FALSE;
  std::uint64_t ticks = Ticks(*fileTime);
  time_t seconds = static_cast<time_t>(ticks / 10000000ULL) - 11644473600LL;
  struct tm utc;
  if (!gmtime_r(&seconds, &utc)) return FALSE;
  systemTime->wYear = static_cast<WORD>(utc.tm_year + 1900);
  systemTime->wMonth = static_cast<WORD>(utc.tm_mon + 1);
  systemTime->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
  systemTime->wDay = static_cast<WORD>(utc.tm_mday);
  systemTime->wHour = static_cast<WORD>(utc.tm_hour);
  systemTime->wMinute = static_cast<WORD>(utc.tm_min);
  systemTime->wSecond = static_cast<WORD>(utc.tm_sec);
  systemTime->wMilliseconds = static_cast<WORD>((ticks / 10000ULL) % 1000);
  return TRUE;
}
