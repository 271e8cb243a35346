// Host file times as the device's FILETIME (100-nanosecond units since 1601-01-01 UTC).
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <string>

#include "platform/storage/files.h"

FILETIME ToFileTime(const timespec& time);

struct HostFileTimes {
  FILETIME creation;  // the birth time where the host keeps one, else the last write
  FILETIME lastAccess;
  FILETIME lastWrite;
};
// From an open descriptor, or from a path (links followed) when fd is -1.
bool ReadHostFileTimes(int fd, const std::string& hostPath, HostFileTimes& times);
