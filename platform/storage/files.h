// The device's file system, on a host folder (the device root).
//
// Device paths use backslashes and may start with or without one: "\SDMMC\a.jpg",
// "NAND\SETTING.PAR" and "nand\_Thumbnails\0" all name files under the device root.
// Names resolve case-insensitively onto existing host names; new names keep the case
// they are given. A path that would leave the root is refused as not found.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/kernel/handle.h"
#include "platform/kernel/lasterror.h"
#include "platform/kernel/types.h"

// ---- Device root -------------------------------------------------------------------

// Chooses the host folder that holds the device's storage (SDMMC/, NAND/). Named kernel
// objects are then shared with the other processes on this root, and the stream devices
// read their state from it. A card folder, when given, is the card instead of the root's
// SDMMC folder: "\SDMMC" then leads into it, wherever it is on the host.
void SetDeviceRoot(const std::string& hostFolder, const std::string& cardFolder = {});
const std::string& GetDeviceRoot();
// The card folder given with the root, or "" when the card is the root's SDMMC folder.
const std::string& GetCardFolder();
// The host path a device path resolves to, or an empty string when it would leave the root.
// Existing components are matched without regard to case; missing ones are kept as given.
std::string ResolveDevicePath(LPCWSTR devicePath);

// ---- Stream devices ----------------------------------------------------------------

// Names such as "BAT2:" name drivers, not files. The device layer plugs its drivers in here,
// so that CreateFileW opens them by name.
struct StreamDevices {
  bool (*isDeviceName)(LPCWSTR name);
  HANDLE (*open)(LPCWSTR name);  // nullptr, with the last error set, for an absent driver
  void (*rootChosen)();          // after SetDeviceRoot: the drivers read their state again
};
void SetStreamDevices(const StreamDevices& devices);

// ---- Handles and files -------------------------------------------------------------

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

constexpr size_t MAX_PATH = 260;

struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

// 100-nanosecond intervals since 1601-01-01 (UTC unless converted to local time).
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

struct BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
  DWORD dwOID;
};

struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwOID;
  WCHAR cFileName[MAX_PATH];
};

// Device names such as "BAT2:" open drivers (platform/drivers.h); anything else is a file.
// A file created with CREATE_ALWAYS is written whole or not at all: its bytes go to a new file
// beside the old one, which takes the old one's place (flushed to the storage) only when
// CloseHandle closes it after every write succeeded; until then, and when a write failed or
// the program stopped in the middle, the old file stays as it was. CloseHandle fails, with
// the error of the write, when the new content was not kept.
HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                   DWORD creation, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped);
// Closes a file opened with CREATE_ALWAYS without keeping what was written to it: the old
// file stays as it was, or there is none. Any other handle is just closed.
BOOL AbandonFile(HANDLE file);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method);
BOOL GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* info);
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime);

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
BOOL DeleteFileW(LPCWSTR path);
DWORD GetFileAttributesW(LPCWSTR path);
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);

// Folder search for "folder\*.*" patterns (also other wildcards and exact names, and
// "folder\" for the folder itself). "." and ".." are not reported; symbolic links are
// reported as what they point to, and only when that lies inside the device root.
// Entries come in the byte order of their host names: the host's own directory order
// differs from one file system and machine to the next, and a person browsing the card
// should see the same listing everywhere. Tests may rearrange it with SetFindOrderForTests.
HANDLE FindFirstFileW(LPCWSTR pattern, WIN32_FIND_DATAW* data);
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* data);
BOOL FindClose(HANDLE search);
// Rearranges the host names (UTF-8, in byte order) of every later search before they are
// reported; an empty hook restores the byte order.
using FindOrderHook = std::function<void(std::vector<std::string>& names)>;
void SetFindOrderForTests(FindOrderHook hook);

// Runtime stream I/O on device paths (mode as in fopen, e.g. u"rb").
FILE* _wfopen(LPCWSTR path, LPCWSTR mode);

// ---- Store presence ----------------------------------------------------------------

// The card ("SD Memory Card") is there when its folder (the root's SDMMC folder, or the card
// folder) exists and the card has not been taken out. It cannot be written when its folder is on a read-only mount or has no
// write permission, or while it is write-protected.
bool IsCardMounted();
bool IsCardReadOnly();

// The card slot, for tests and the hosts, as a user would handle the card while the program
// runs. Taken out, the card and every path on it are gone (not found) until it is put back;
// write-protected, it refuses every change. The host folder itself is left alone. Choosing
// the device root puts the card back, writable.
void SetCardTakenOut(bool out);
void SetCardWriteProtected(bool writeProtected);
