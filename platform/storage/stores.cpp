// Store searches: FindFirstStore / FindNextStore / FindCloseStore.
#include "platform/storage/stores.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/storage/device_paths.h"
#include "platform/storage/file_times.h"

namespace {

constexpr DWORD kBytesPerSector = 512;

struct StoreSearch : KernelObject {
  std::vector<STOREINFO> stores;
  size_t next = 0;
};

template <size_t N>
void CopyName(WCHAR (&to)[N], WStringView name) {
  size_t count = std::min(name.size(), N - 1);
  std::copy_n(name.begin(), count, to);
  to[count] = 0;
}

// The card's record, as it is now.
STOREINFO DescribeCard() {
  STOREINFO info{};
  info.cbSize = sizeof info;
  CopyName(info.szDeviceName, u"DSK1:");
  CopyName(info.szStoreName, u"SD Memory Card");
  info.dwDeviceClass = STORAGE_DEVICE_CLASS_BLOCK;
  info.dwDeviceType = STORAGE_DEVICE_TYPE_REMOVABLE_MEDIA;
  const bool readOnly = IsCardReadOnly();
  const DWORD flags = readOnly ? STORAGE_DEVICE_FLAG_READONLY : STORAGE_DEVICE_FLAG_READWRITE;
  info.sdi.cbSize = sizeof info.sdi;
  CopyName(info.sdi.szProfile, u"SDMemory");
  info.sdi.dwDeviceClass = info.dwDeviceClass;
  info.sdi.dwDeviceType = info.dwDeviceType;
  info.sdi.dwDeviceFlags = flags;
  info.dwDeviceFlags = flags;
  info.dwBytesPerSector = kBytesPerSector;
  info.dwAttributes = STORE_ATTRIBUTE_REMOVABLE | (readOnly ? STORE_ATTRIBUTE_READONLY : 0);
  info.dwPartitionCount = 1;
  info.dwMountCount = 1;

  const std::string host = ResolveDevicePath(u"SDMMC");
  struct statvfs fs;
  if (!host.empty() && statvfs(host.c_str(), &fs) == 0) {
    info.snNumSectors = static_cast<SECTORNUM>(fs.f_blocks) * fs.f_frsize / kBytesPerSector;
    info.snFreeSectors = static_cast<SECTORNUM>(fs.f_bavail) * fs.f_frsize / kBytesPerSector;
  }
  HostFileTimes times;
  if (!host.empty() && ReadHostFileTimes(-1, host, times)) {
    info.ftCreated = times.creation;
    info.ftLastModified = times.lastWrite;
  }
  return info;
}

bool ValidRecord(const STOREINFO* info) { return info && info->cbSize == sizeof(STOREINFO); }

}  // namespace

HANDLE FindFirstStore(STOREINFO* info) {
  if (!ValidRecord(info)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto search = std::make_unique<StoreSearch>();
  if (IsCardMounted()) search->stores.push_back(DescribeCard());
  if (search->stores.empty()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return INVALID_HANDLE_VALUE;
  }
  *info = search->stores[search->next++];
  return AddHandle(std::move(search));
}

BOOL FindNextStore(HANDLE handle, STOREINFO* info) {
  StoreSearch* search = HandleAs<StoreSearch>(handle);
  if (!search) return FALSE;
  if (!ValidRecord(info)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (search->next >= search->stores.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  *info = search->stores[search->next++];
  return TRUE;
}

BOOL FindCloseStore(HANDLE handle) {
  if (!HandleAs<StoreSearch>(handle)) return FALSE;
  return CloseHandle(handle);
}
