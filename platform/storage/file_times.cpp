#include "platform/storage/file_times.h"

#include <fcntl.h>

#include <cstdint>

namespace {

constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

FILETIME FromTicks(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::uint64_t Ticks(const FILETIME& t) { return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// Whole seconds since 1970 of a FILETIME (rounded down, also before 1970).
time_t UnixSeconds(const FILETIME& t) {
  return static_cast<time_t>(static_cast<std::int64_t>(Ticks(t) / kTicksPerSecond) - kSecondsFrom1601To1970);
}

// From seconds and nanoseconds since 1970, in 64 bits also where time_t has 32 (armhf).
FILETIME FromUnixTime(std::int64_t seconds, std::int64_t nanoseconds) {
  std::int64_t ticks = (seconds + kSecondsFrom1601To1970) * kTicksPerSecond + nanoseconds / 100;
  return FromTicks(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

}  // namespace

FILETIME ToFileTime(const timespec& t) { return FromUnixTime(t.tv_sec, t.tv_nsec); }

bool ReadHostFileTimes(int fd, const std::string& hostPath, HostFileTimes& times) {
  struct statx sx;
  int rc = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx)
                   : statx(AT_FDCWD, hostPath.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &sx);
  if (rc != 0) return false;
  auto time = [](const struct statx_timestamp& t) { return FromUnixTime(t.tv_sec, t.tv_nsec); };
  times.creation = time((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime);
  times.lastAccess = time(sx.stx_atime);
  times.lastWrite = time(sx.stx_mtime);
  return true;
}

// The host's local time zone, with the offset that held at that moment.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime) {
  if (!fileTime || !localTime) return FALSE;
  time_t seconds = UnixSeconds(*fileTime);
  struct tm local;
  if (!localtime_r(&seconds, &local)) return FALSE;
  std::int64_t shifted = static_cast<std::int64_t>(Ticks(*fileTime)) + static_cast<std::int64_t>(local.tm_gmtoff) * kTicksPerSecond;
  *localTime = FromTicks(shifted < 0 ? 0 : static_cast<std::uint64_t>(shifted));
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (!fileTime || !systemTime) return FALSE;
  if (Ticks(*fileTime) >= 0x8000000000000000ULL) return FALSE;  // beyond what the device converts
  time_t seconds = UnixSeconds(*fileTime);
  struct tm utc;
  if (!gmtime_r(&seconds, &utc)) return FALSE;
  systemTime->wYear = static_cast<WORD>(utc.tm_year + 1900);
  systemTime->wMonth = static_cast<WORD>(utc.tm_mon + 1);
  systemTime->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
  systemTime->wDay = static_cast<WORD>(utc.tm_mday);
  systemTime->wHour = static_cast<WORD>(utc.tm_hour);
  systemTime->wMinute = static_cast<WORD>(utc.tm_min);
  systemTime->wSecond = static_cast<WORD>(utc.tm_sec);
  systemTime->wMilliseconds = static_cast<WORD>((Ticks(*fileTime) / 10000ULL) % 1000);
  return TRUE;
}
