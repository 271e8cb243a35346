// The storage manager's list of stores: the mounted storage devices and what they are.
//
// The one store here is the memory card, "SD Memory Card", listed while the card is in
// (IsCardMounted). Its device flags are STORAGE_DEVICE_FLAG_READONLY (exactly that value)
// when the card cannot be written (IsCardReadOnly), else STORAGE_DEVICE_FLAG_READWRITE.
#pragma once

#include "platform/kernel/types.h"
#include "platform/storage/files.h"

constexpr size_t DEVICENAMESIZE = 8;
constexpr size_t STORENAMESIZE = 32;
constexpr size_t PROFILENAMESIZE = 32;

constexpr DWORD STORAGE_DEVICE_CLASS_BLOCK = 0x1;
constexpr DWORD STORAGE_DEVICE_TYPE_REMOVABLE_MEDIA = 0x2;
constexpr DWORD STORAGE_DEVICE_FLAG_READWRITE = 0x1;
constexpr DWORD STORAGE_DEVICE_FLAG_READONLY = 0x2;
constexpr DWORD STORE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD STORE_ATTRIBUTE_REMOVABLE = 0x2;

using SECTORNUM = std::uint64_t;

struct STORAGEDEVICEINFO {
  DWORD cbSize;
  WCHAR szProfile[PROFILENAMESIZE];
  DWORD dwDeviceClass;
  DWORD dwDeviceType;
  DWORD dwDeviceFlags;
};

struct STOREINFO {
  DWORD cbSize;  // the caller sets it to sizeof(STOREINFO)
  WCHAR szDeviceName[DEVICENAMESIZE];
  WCHAR szStoreName[STORENAMESIZE];
  DWORD dwDeviceClass;
  DWORD dwDeviceType;
  STORAGEDEVICEINFO sdi;
  DWORD dwDeviceFlags;
  SECTORNUM snNumSectors;
  DWORD dwBytesPerSector;
  SECTORNUM snFreeSectors;
  SECTORNUM snBiggestPartCreatable;
  FILETIME ftCreated;
  FILETIME ftLastModified;
  DWORD dwAttributes;
  DWORD dwPartitionCount;
  DWORD dwMountCount;
};
static_assert(sizeof(STOREINFO) == 240, "the device's record size");

// The first store, with a search handle for the next ones; INVALID_HANDLE_VALUE with
// ERROR_NO_MORE_ITEMS when there is none, ERROR_INVALID_PARAMETER when info is null or its
// cbSize is not sizeof(STOREINFO). The stores are taken as they are when the search starts.
HANDLE FindFirstStore(STOREINFO* info);
// FALSE with ERROR_NO_MORE_ITEMS after the last store.
BOOL FindNextStore(HANDLE search, STOREINFO* info);
BOOL FindCloseStore(HANDLE search);
