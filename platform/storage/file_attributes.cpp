#include "platform/storage/file_attributes.h"

#include <fcntl.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/storage/device_paths.h"
#include "platform/storage/file_errors.h"
#include "platform/storage/files.h"

namespace {

// The extended attribute that keeps the bits off FAT: the bits as lower-case hexadecimal text.
constexpr const char* kAttributeName = "user.vellumet.attributes";
constexpr DWORD kKeptBits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// Opens a file or folder for the attribute ioctls; never waits on pipes or devices.
int OpenForIoctl(const std::string& host) {
  struct stat st;
  if (stat(host.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) return -1;
  return open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
}

// The FAT attribute byte, when the file lives on a FAT mount.
bool ReadFatAttributes(const std::string& host, DWORD& bits) {
  int fd = OpenForIoctl(host);
  if (fd < 0) return false;
  std::uint32_t fat = 0;
  bool ok = ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &fat) == 0;
  close(fd);
  if (ok) bits = fat & kKeptBits;
  return ok;
}

bool WriteFatAttributes(const std::string& host, DWORD bits) {
  int fd = OpenForIoctl(host);
  if (fd < 0) return false;
  std::uint32_t fat = 0;
  bool ok = ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &fat) == 0;
  if (ok) {
    fat = (fat & ~kKeptBits) | (bits & kKeptBits);
    ok = ioctl(fd, FAT_IOCTL_SET_ATTRIBUTES, &fat) == 0;
  }
  close(fd);
  return ok;
}

bool ReadXattrAttributes(const std::string& host, DWORD& bits) {
  char text[16] = {};
  ssize_t n = getxattr(host.c_str(), kAttributeName, text, sizeof text - 1);
  if (n <= 0) return false;
  bits = static_cast<DWORD>(std::strtoul(text, nullptr, 16)) & kKeptBits;
  return true;
}

bool WriteXattrAttributes(const std::string& host, DWORD bits) {
  char text[16];
  int n = std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(bits & kKeptBits));
  return setxattr(host.c_str(), kAttributeName, text, static_cast<size_t>(n), 0) == 0;
}

}  // namespace

DWORD HostFileAttributes(const std::string& hostPath) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  DWORD bits = 0;
  if (!ReadFatAttributes(hostPath, bits)) ReadXattrAttributes(hostPath, bits);
  if (S_ISDIR(st.st_mode)) bits |= FILE_ATTRIBUTE_DIRECTORY;
  if (!(st.st_mode & S_IWUSR)) bits |= FILE_ATTRIBUTE_READONLY;
  return bits ? bits : FILE_ATTRIBUTE_NORMAL;
}

bool SetHostFileAttributes(const std::string& hostPath, DWORD attributes) {
  struct stat st;
  if (stat(hostPath.c_str(), &st) != 0) return false;
  // The read-only bit is the host's write permission; folders keep theirs, as on the
  // device, where a read-only folder can still be written into.
  if (!S_ISDIR(st.st_mode)) {
    mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? (st.st_mode & ~static_cast<mode_t>(0222)) : (st.st_mode | S_IWUSR);
    if (mode != st.st_mode) chmod(hostPath.c_str(), mode & 07777);
  }
  return WriteFatAttributes(hostPath, attributes) || WriteXattrAttributes(hostPath, attributes);
}

DWORD GetFileAttributesW(LPCWSTR path) {
  ResolvedPath resolved = ResolvePath(path);
  if (resolved.host.empty() || !resolved.exists) {
    SetLastError(resolved.host.empty() ? resolved.error : ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  return HostFileAttributes(resolved.host);
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  ResolvedPath resolved = ResolvePath(path);
  if (resolved.host.empty() || !resolved.exists) {
    SetLastError(resolved.host.empty() ? resolved.error : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (IsOnCard(resolved.host) && IsCardReadOnly()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // A host that keeps no attribute bits still counts as success: the device's call would
  // have worked, and nothing depends on reading the bits back there.
  SetHostFileAttributes(resolved.host, attributes);
  return TRUE;
}
