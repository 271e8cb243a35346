// The device's registry: HKEY_LOCAL_MACHINE keys with 32-bit number and string values.
//
// It is read from "registry.txt" in the device root whenever the root is chosen:
//
//   ; a comment
//   [HKEY_LOCAL_MACHINE\Drivers\Display\TCC79X\CONFIG]
//   "LCD_Width"=dword:00000320
//   "Name"="text with \" and \\ escaped"
//
// The "HKEY_LOCAL_MACHINE\" in a key line may be left out, and a key's parents exist too.
// Numbers are dword: with one to eight hexadecimal digits; strings are quoted, with \" and
// \\ as escapes. The file is UTF-8 (a byte-order mark is skipped) or UTF-16LE with its
// byte-order mark. Lines starting with ';' or '#' are comments. Key and value names compare
// without regard to case. Lines that do not parse are ignored, and so are the values after
// a key line that does not parse. Values are read-only to the program.
#pragma once

#include <string>

#include "platform/kernel/types.h"

struct RegistryKey;
using HKEY = RegistryKey*;
using REGSAM = DWORD;

extern const HKEY HKEY_LOCAL_MACHINE;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
constexpr LONG ERROR_MORE_DATA = 234;

// Results are error codes: ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ERROR_MORE_DATA ...
LONG RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
// type and data may be null; dataSize is in bytes (strings include their terminator).
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize);
LONG RegCloseKey(HKEY key);

// Reads the registry file of the current device root (an empty registry when there is none).
void LoadRegistryFromRoot();
// Replaces the registry by the content of a registry file (for tests).
void LoadRegistryFromText(const std::string& text);
