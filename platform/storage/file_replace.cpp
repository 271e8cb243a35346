#include "platform/storage/file_replace.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

#include "platform/kernel/lasterror.h"
#include "platform/storage/file_errors.h"

namespace {

constexpr const char* kPrefix = ".~";
constexpr const char* kSuffix = ".new";
// Names too long to carry the prefix and suffix are replaced by a number made from them.
constexpr size_t kLongestKeptName = NAME_MAX - 8;

std::string Folder(const std::string& hostPath) {
  const size_t cut = hostPath.find_last_of('/');
  return cut == std::string::npos ? std::string(".") : hostPath.substr(0, cut);
}

std::string Name(const std::string& hostPath) {
  const size_t cut = hostPath.find_last_of('/');
  return cut == std::string::npos ? hostPath : hostPath.substr(cut + 1);
}

// Makes a rename in the folder survive a power cut.
void FlushFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

std::string ReplacementHostPath(const std::string& hostPath) {
  std::string name = Name(hostPath);
  if (name.size() > kLongestKeptName) {
    char number[17];
    std::snprintf(number, sizeof number, "%016zx", std::hash<std::string>{}(name));
    name = number;
  }
  return Folder(hostPath) + "/" + kPrefix + name + kSuffix;
}

bool IsReplacementName(const std::string& hostName) {
  const std::string prefix = kPrefix, suffix = kSuffix;
  return hostName.size() > prefix.size() + suffix.size() && hostName.compare(0, prefix.size(), prefix) == 0 &&
         hostName.compare(hostName.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int OpenReplacement(const std::string& hostPath, int accessFlags) {
  const std::string replacement = ReplacementHostPath(hostPath);
  unlink(replacement.c_str());
  // Never through a link someone left under that name.
  const int fd = open(replacement.c_str(), accessFlags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  struct stat old;
  if (fd >= 0 && stat(hostPath.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
  return fd;
}

DWORD CommitReplacement(int fd, const std::string& hostPath) {
  const std::string replacement = ReplacementHostPath(hostPath);
  DWORD error = ERROR_SUCCESS;
  if (fsync(fd) != 0) error = DeviceErrorFromErrno(errno, hostPath);
  if (close(fd) != 0 && error == ERROR_SUCCESS) error = DeviceErrorFromErrno(errno, hostPath);
  if (error == ERROR_SUCCESS && rename(replacement.c_str(), hostPath.c_str()) != 0)
    error = DeviceErrorFromErrno(errno, hostPath);
  if (error != ERROR_SUCCESS) {
    unlink(replacement.c_str());
    return error;
  }
  FlushFolder(Folder(hostPath));
  return ERROR_SUCCESS;
}

void DropReplacement(int fd, const std::string& hostPath) {
  close(fd);
  unlink(ReplacementHostPath(hostPath).c_str());
}
