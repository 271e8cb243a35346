// Files opened through CreateFileW: reading, writing, sizes, times and the share modes
// that the device enforces between open handles. A file created with CREATE_ALWAYS is
// written whole or not at all (platform/storage/file_replace.h).
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

struct OpenFile : KernelObject {
  int fd = -1;
  DWORD access = 0;
  DWORD share = 0;
  dev_t device = 0;
  ino_t inode = 0;
  std::string host;
  // A replacement: the file it takes the place of when closed, and the first error of a
  // write, which makes closing drop it.
  std::string replaces;
  DWORD writeError = ERROR_SUCCESS;
  bool onCard = false;
  bool Close() override;
  ~OpenFile() override;
};

// Open files by identity, for the share-mode check. Guarded by g_shareLock.
std::mutex g_shareLock;
std::vector<OpenFile*>& OpenFiles() {
  static auto* files = new std::vector<OpenFile*>;
  return *files;
}

// A card taken out or write-protected while a file on it is open refuses its writes.
DWORD CardWriteError(const OpenFile& file) {
  if (!file.onCard) return ERROR_SUCCESS;
  if (IsCardTakenOut()) return ERROR_PATH_NOT_FOUND;
  return IsCardReadOnly() ? ERROR_WRITE_PROTECT : ERROR_SUCCESS;
}

// Ends a replacement: puts it in place (keep) or drops it. It stands for the file it replaces
// until it is in place, so that no other open starts a replacement of the same file meanwhile.
DWORD EndReplacement(OpenFile& file, bool keep) {
  DWORD error = ERROR_SUCCESS;
  if (keep) error = CommitReplacement(file.fd, file.replaces);
  else DropReplacement(file.fd, file.replaces);
  std::lock_guard guard(g_shareLock);
  file.fd = -1;
  file.replaces.clear();
  return error;
}

bool OpenFile::Close() {
  if (replaces.empty()) return true;
  DWORD error = writeError != ERROR_SUCCESS ? writeError : CardWriteError(*this);
  const DWORD ended = EndReplacement(*this, error == ERROR_SUCCESS);
  if (error == ERROR_SUCCESS) error = ended;
  if (error == ERROR_SUCCESS) return true;
  SetLastError(error);
  return false;
}

OpenFile::~OpenFile() {
  if (!replaces.empty()) DropReplacement(fd, replaces);  // never closed through its handle
  else if (fd >= 0) close(fd);
  std::lock_guard guard(g_shareLock);
  std::erase(OpenFiles(), this);
}

// Two opens of one file conflict when either asks for what the other does not share.
bool Conflicts(const OpenFile& open, DWORD access, DWORD share) {
  auto wants = [](DWORD a, DWORD s) {
    return ((a & GENERIC_READ) && !(s & FILE_SHARE_READ)) || ((a & GENERIC_WRITE) && !(s & FILE_SHARE_WRITE));
  };
  return wants(access, open.share) || wants(open.access, share);
}

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD, HANDLE) {
  if (IsStreamDeviceName(fileName)) {
    HANDLE driver = OpenStreamDevice(fileName);
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
  const bool onCard = writes && IsOnCard(path.host);
  if (onCard && IsCardReadOnly()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Folders, and pipes or devices that a host folder may hold, are not files to open.
  struct stat st;
  if (stat(path.host.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (creation == CREATE_NEW && path.exists) {
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
  }

  std::lock_guard guard(g_shareLock);
  // Check sharing before the open, so that a refused open does not truncate the file. A
  // replacement in progress stands for the file it replaces.
  const bool exists = stat(path.host.c_str(), &st) == 0;
  for (const OpenFile* open : OpenFiles()) {
    const bool same = open->replaces == path.host || (exists && open->device == st.st_dev && open->inode == st.st_ino);
    if (same && Conflicts(*open, access, shareMode)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
  }
  const bool replace = creation == CREATE_ALWAYS;
  int fd = replace ? OpenReplacement(path.host, flags & O_ACCMODE) : open(path.host.c_str(), flags, 0644);
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
  file->host = replace ? ReplacementHostPath(path.host) : path.host;
  if (replace) file->replaces = path.host;
  file->onCard = onCard;
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
  if (DWORD error = CardWriteError(*file); error != ERROR_SUCCESS) {
    if (file->writeError == ERROR_SUCCESS) file->writeError = error;
    SetLastError(error);
    return FALSE;
  }
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(file->fd, static_cast<const char*>(buffer) + done, toWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const DWORD error = errno == ENOSPC ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED;
      if (file->writeError == ERROR_SUCCESS) file->writeError = error;
      SetLastError(error);
      if (written) *written = done;
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return TRUE;
}

BOOL AbandonFile(HANDLE handle) {
  if (OpenFile* file = HandleAs<OpenFile>(handle); file && !file->replaces.empty()) EndReplacement(*file, false);
  return CloseHandle(handle);
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
  if (!file) return FALSE;
  struct stat st;
  HostFileTimes times;
  if (!info || fstat(file->fd, &st) != 0 || !ReadHostFileTimes(file->fd, file->host, times)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *info = {};
  info->dwFileAttributes = HostFileAttributes(file->host);
  info->ftCreationTime = times.creation;
  info->ftLastAccessTime = times.lastAccess;
  info->ftLastWriteTime = times.lastWrite;
  info->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(st.st_size) >> 32);
  info->nFileSizeLow = static_cast<DWORD>(st.st_size);
  info->nNumberOfLinks = static_cast<DWORD>(st.st_nlink);
  info->nFileIndexHigh = static_cast<DWORD>(static_cast<std::uint64_t>(st.st_ino) >> 32);
  info->nFileIndexLow = static_cast<DWORD>(st.st_ino);
  return TRUE;
}
