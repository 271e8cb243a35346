// Debug output of the device. Every debug text of the system goes into one sink:
// standard error by default, a host file when asked, and any captures that are open.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/kernel/types.h"

// Where the sink writes besides the captures.
void DebugSinkToStderr();
bool DebugSinkToFile(const std::string& hostPath);  // false when the file cannot be created
void DebugSinkSilence();                            // captures only

// Narrow console output (the device's printf). The system's code calls printf; it lands here.
int DebugPrintfA(const char* format, ...) __attribute__((format(printf, 1, 2)));
#define printf(...) DebugPrintfA(__VA_ARGS__)

// Wide debug output. Formats follow the device's wide printf: %s takes a wide string,
// %S and %hs a narrow one, %c a wide character.
void NKDbgPrintfW(LPCWSTR format, ...);
void OutputDebugStringW(LPCWSTR text);
// Formats into a 1024-character buffer, then OutputDebugStringW.
void DebugPrintW(LPCWSTR format, ...);
// Formats into a 256-character buffer; printed only for zones in the debug zone mask (4).
void DebugZonePrint(DWORD zone, LPCWSTR format, ...);
constexpr DWORD kDebugZoneMask = 4;

// Formats wide text the way the functions above do, keeping at most maxUnits - 1 units
// (no limit when maxUnits is 0).
WString FormatWide(LPCWSTR format, va_list args, size_t maxUnits = 0);

// Collects everything written to the sink while it exists, split into lines
// ("\r\n" and "\n" end a line; the line ends are not kept).
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  // Complete lines, then the unfinished last one if there is text after the last line end.
  std::vector<std::string> Lines() const;
  // Everything written, byte for byte.
  std::string Text() const;
  bool Contains(const std::string& fragment) const;
  void Clear();

 private:
  friend void DebugSinkWrite(const std::string& text);
  void Append(const std::string& text);
  std::string m_text;
};

// Writes UTF-8 text to the sink as it stands.
void DebugSinkWrite(const std::string& text);
