#include "thumbs/thumb_index.h"

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/kernel/debug.h"
#include "platform/storage/files.h"

CThumbIndex::CThumbIndex() : m_Folder(u"nand\\_Thumbnails\\"), m_FileName(u"map.txt") {}

bool CThumbIndex::Load() {
  WString indexPath = m_Folder + m_FileName;
  HANDLE file = CreateFileW(indexPath.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  if (size == 0 || size == INVALID_FILE_SIZE) {
    CloseHandle(file);
    return false;
  }
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
  if (!buffer) {
    CloseHandle(file);
    return false;
  }
  DWORD got = 0;
  if (!ReadFile(file, buffer.get(), size, &got, nullptr) || got < size) {
    printf("Error code %d\r\n", static_cast<int>(GetLastError()));
    CloseHandle(file);
    return false;
  }
  if (!CloseHandle(file)) {
    printf("Error code %d\r\n", static_cast<int>(GetLastError()));
    return false;
  }

  // The content: whole UTF-16LE units, cut at the first zero unit.
  size_t units = size / 2;
  WString content;
  content.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    WCHAR unit = static_cast<WCHAR>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
    if (unit == 0) break;
    content += unit;
  }

  // Each line ends at a carriage return; the unit after it is skipped unseen (it should be
  // the line feed). Text after the last carriage return is dropped.
  m_Entries.clear();
  size_t start = 0;
  while (start < content.size()) {
    size_t cr = content.find(u'\r', start);
    if (cr == WString::npos) break;
    m_Entries.push_back(content.substr(start, cr - start));
    start = cr + 2;
  }
  return true;
}

void CThumbIndex::MakeFolder() const {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(m_Folder.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    CreateDirectoryW(m_Folder.c_str(), nullptr);
  else
    FindClose(search);
}

bool CThumbIndex::Save() {
  MakeFolder();
  WString indexPath = m_Folder + m_FileName;
  HANDLE file = CreateFileW(indexPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    printf("Error code %d\r\n", static_cast<int>(GetLastError()));
    return false;
  }
  std::string bytes;
  for (const WString& entry : m_Entries) {
    bytes.clear();
    for (WCHAR unit : entry + u"\r\n") {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written < bytes.size()) {
      printf("Error code %d\r\n", static_cast<int>(GetLastError()));
      CloseHandle(file);
      return false;
    }
  }
  if (!CloseHandle(file)) {
    printf("Error code %d\r\n", static_cast<int>(GetLastError()));
    return false;
  }
  return true;
}

void CThumbIndex::Add(const WString& path) {
  for (const WString& entry : m_Entries)
    if (entry == path) return;
  m_Entries.push_back(path);
}

bool CThumbIndex::Lookup(const WString& path, WString& thumbPath, bool skipFileCheck) {
  for (size_t n = 0; n < m_Entries.size(); ++n) {
    if (m_Entries[n] != path) continue;
    std::string number = std::to_string(n);
    thumbPath = m_Folder + WString(number.begin(), number.end());
    if (skipFileCheck) return true;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(thumbPath.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      FindClose(search);
      return true;
    }
    m_Entries[n].clear();
    return false;
  }
  return false;
}

CThumbIndex& TheThumbIndex() {
  static CThumbIndex* index = [] {
    auto* built = new CThumbIndex;
    built->Load();
    std::atexit([] { TheThumbIndex().Save(); });
    return built;
  }();
  return *index;
}
