// Basic types of the device's programming interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Wide text is UTF-16, as on the device: one 16-bit unit per WCHAR.
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using WString = std::u16string;
using WStringView = std::u16string_view;

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using LPVOID = void*;
using LPCVOID = const void*;
using LPDWORD = DWORD*;

constexpr BOOL TRUE = 1;
constexpr BOOL FALSE = 0;

// Every kernel object (event, thread, file, device) is reached through a HANDLE
// (platform/handle.h).
struct KernelObject;
using HANDLE = KernelObject*;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(~std::uintptr_t{0}))
