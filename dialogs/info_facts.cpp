#include "dialogs/info_facts.h"

#include <cstdio>

#include "platform/kernel/wide.h"
#include "skin/skin.h"

namespace {

// A file time as local calendar time; zeros when it cannot be converted.
SYSTEMTIME LocalCalendarTime(const FILETIME& time) {
  FILETIME local{};
  SYSTEMTIME calendar{};
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &calendar)) return SYSTEMTIME{};
  return calendar;
}

template <typename... Args>
WString Format(const char* format, Args... args) {
  char text[64];
  std::snprintf(text, sizeof text, format, args...);
  return FromUtf8(text);
}

// The box the preview is fitted into.
constexpr int kBoxLeft = 23, kBoxTop = 25;
constexpr int kBoxWidth = 395, kBoxHeight = 345;

}  // namespace

FileFacts ReadFileFacts(LPCWSTR path) {
  FileFacts facts;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return facts;
  DWORD high = 0;
  SetLastError(ERROR_SUCCESS);
  const DWORD low = GetFileSize(file, &high);
  const bool failed = low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS;
  facts.size = high != 0 || failed ? 0 : low;
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileInformationByHandle(file, &info)) {
    facts.lastWritten = LocalCalendarTime(info.ftLastWriteTime);
    facts.created = LocalCalendarTime(info.ftCreationTime);
  }
  CloseHandle(file);
  return facts;
}

WString InfoFileName(const WString& path) {
  const size_t slash = path.rfind(u'\\');
  WString name = slash == WString::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind(u'.');
  if (dot != WString::npos) name.resize(dot);
  return name;
}

WString SizeText(DWORD size) {
  // Single precision, as the device computes it: sizes near a unit's end round up to it.
  const float bytes = static_cast<float>(size);
  if (size >= (1u << 30)) return Format("%2.2fGB", static_cast<double>(bytes * (1.0f / (1u << 30))));
  if (size >= (1u << 20)) return Format("%2.2fMB", static_cast<double>(bytes * (1.0f / (1u << 20))));
  if (size < 1024) return Format("%dBytes", static_cast<int>(size));
  return Format("%dKB", static_cast<int>(bytes * (1.0f / 1024)));
}

std::array<WString, kInfoLineCount> InfoLines(CWnd* window, const InfoFacts& facts) {
  WString name = u"檔 案 名 稱: " + InfoFileName(facts.path);
  FitText(window, kNameLineWidth, name);
  const SYSTEMTIME& t = facts.file.created;
  return {
      name,
      u"檔 案 格 式: " + facts.format,
      u"檔 案 大 小: " + SizeText(facts.file.size),
      u"日 期 時 間: " + Format("%02d/%02d/%02d   %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                                 t.wSecond),
      u"像 素 大 小: " + Format("%d X %d", facts.width, facts.height),
      u"色 彩 數 目: " + Format("%dbits", facts.colourDepth),
  };
}

RECT PreviewRect(UINT w, UINT h) {
  // Whole percentages decide which side fits; the scale itself keeps its fraction.
  const UINT rw = kBoxWidth * 100 / w, rh = kBoxHeight * 100 / h;
  const float scale = rw >= rh ? static_cast<float>(kBoxHeight * 100) / static_cast<float>(h)
                               : static_cast<float>(kBoxWidth * 100) / static_cast<float>(w);
  const int width = static_cast<int>(static_cast<float>(w) * scale) / 100;
  const int height = static_cast<int>(static_cast<float>(h) * scale) / 100;
  const int centreX = kBoxWidth / 2 + kBoxLeft, centreY = kBoxHeight / 2 + kBoxTop;
  return RECT{centreX - width / 2 - 5, centreY - height / 2, centreX + width / 2 + 2, centreY + height / 2};
}
