#include "thumbs/thumb_index.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/kernel/debug.h"
#include "platform/storage/files.h"

namespace {

constexpr WCHAR kStampsFile[] = u"stamps.txt";

void PrintLastError() { printf("Error code %d\r\n", static_cast<int>(GetLastError())); }

// Closes the file after a failure, which is reported; false.
bool Failed(HANDLE file) {
  PrintLastError();
  CloseHandle(file);
  return false;
}

// Closes the file; false, reported, when closing failed.
bool Closed(HANDLE file) {
  if (CloseHandle(file)) return true;
  PrintLastError();
  return false;
}

// The whole content of a file; false when it is missing, empty or cannot be read (a failed
// read is reported).
bool ReadWholeFile(const WString& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD size = GetFileSize(file, nullptr);
  if (size == 0 || size == INVALID_FILE_SIZE) {
    CloseHandle(file);
    return false;
  }
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
  if (!buffer) {
    CloseHandle(file);
    return false;
  }
  DWORD got = 0;
  if (!ReadFile(file, buffer.get(), size, &got, nullptr) || got < size) return Failed(file);
  if (!Closed(file)) return false;
  bytes.assign(buffer.get(), size);
  return true;
}

// Writes the lines, one WriteFile each, as the whole new content of the file; false, having
// reported the error, when it was not written whole (the old file then stays).
bool WriteLines(const WString& path, const std::vector<std::string>& lines) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    PrintLastError();
    return false;
  }
  for (const std::string& line : lines) {
    DWORD written = 0;
    if (!WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) || written < line.size())
      return Failed(file);
  }
  return Closed(file);
}

// FNV-1a over the path's code units: ties a stamp line to its entry.
std::uint64_t PathCheck(const WString& path) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (WCHAR unit : path) {
    for (int shift : {0, 8}) {
      hash ^= static_cast<std::uint8_t>(unit >> shift);
      hash *= 0x100000001b3u;
    }
  }
  return hash;
}

std::string Utf16Le(const WString& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (WCHAR unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace

CThumbIndex::CThumbIndex() : m_Folder(u"nand\\_Thumbnails\\"), m_FileName(u"map.txt") {}

bool CThumbIndex::Load() {
  std::string bytes;
  if (!ReadWholeFile(m_Folder + m_FileName, bytes)) return false;

  // The content: whole UTF-16LE units, cut at the first zero unit.
  size_t units = bytes.size() / 2;
  WString content;
  content.reserve(units);
  for (size_t i = 0; i < units; ++i) {
    WCHAR unit = static_cast<WCHAR>(static_cast<std::uint8_t>(bytes[2 * i]) | (static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8));
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
  LoadStamps();
  return true;
}

void CThumbIndex::LoadStamps() {
  std::string text;
  const bool kept = ReadWholeFile(m_Folder + kStampsFile, text);
  m_Stamps.assign(m_Entries.size(), Stamp{kept ? Stamp::Unknown : Stamp::Trusted});
  if (!kept) return;
  size_t start = 0;
  for (size_t n = 0; n < m_Entries.size() && start < text.size(); ++n) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) break;  // a cut last line says nothing
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    std::uint64_t size = 0, written = 0, check = 0;
    char tail = 0;
    if (std::sscanf(line.c_str(), "%" SCNx64 " %" SCNx64 " %" SCNx64 "%c", &size, &written, &check, &tail) == 4 &&
        tail == '\r' && line.size() < 64 && check == PathCheck(m_Entries[n]))
      m_Stamps[n] = Stamp{Stamp::Known, size, written};
  }
}

void CThumbIndex::MakeFolder() const {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(m_Folder.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE)
    CreateDirectoryW(m_Folder.c_str(), nullptr);
  else
    FindClose(search);
}

bool CThumbIndex::SaveStamps() const {
  std::vector<std::string> lines;
  lines.reserve(m_Entries.size());
  for (size_t n = 0; n < m_Entries.size(); ++n) {
    const Stamp stamp = n < m_Stamps.size() ? m_Stamps[n] : Stamp{};
    char line[64] = "\r\n";
    if (stamp.kind == Stamp::Known && !m_Entries[n].empty())
      std::snprintf(line, sizeof line, "%" PRIx64 " %" PRIx64 " %" PRIx64 "\r\n", stamp.size, stamp.written,
                    PathCheck(m_Entries[n]));
    lines.emplace_back(line);
  }
  return WriteLines(m_Folder + kStampsFile, lines);
}

bool CThumbIndex::Save() {
  MakeFolder();
  if (!SaveStamps()) return false;
  std::vector<std::string> lines;
  lines.reserve(m_Entries.size());
  for (const WString& entry : m_Entries) lines.push_back(Utf16Le(entry + u"\r\n"));
  return WriteLines(m_Folder + m_FileName, lines);
}

CThumbIndex::Stamp CThumbIndex::PhotoStamp(const WString& path) {
  HANDLE photo = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (photo == INVALID_HANDLE_VALUE) return Stamp{};
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = GetFileInformationByHandle(photo, &info);
  CloseHandle(photo);
  if (!known) return Stamp{};
  return Stamp{Stamp::Known, (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
               (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime};
}

WString CThumbIndex::ThumbPath(size_t position) const {
  const std::string number = std::to_string(position);
  return m_Folder + WString(number.begin(), number.end());
}

void CThumbIndex::Add(const WString& path) {
  m_Stamps.resize(m_Entries.size());
  size_t n = 0;
  while (n < m_Entries.size() && m_Entries[n] != path) ++n;
  if (n == m_Entries.size()) {
    m_Entries.push_back(path);
    m_Stamps.emplace_back();
  }
  m_Stamps[n] = PhotoStamp(path);
  DeleteFileW(ThumbPath(n).c_str());
}

bool CThumbIndex::Lookup(const WString& path, WString& thumbPath, bool skipFileCheck) {
  for (size_t n = 0; n < m_Entries.size(); ++n) {
    if (m_Entries[n] != path) continue;
    thumbPath = ThumbPath(n);
    if (skipFileCheck) return true;
    m_Stamps.resize(m_Entries.size());
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(thumbPath.c_str(), &found);
    bool usable = search != INVALID_HANDLE_VALUE && (found.nFileSizeLow != 0 || found.nFileSizeHigh != 0);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    if (usable) {
      const Stamp now = PhotoStamp(path);
      if (m_Stamps[n].kind == Stamp::Trusted && now.kind == Stamp::Known) m_Stamps[n] = now;
      usable = m_Stamps[n].kind == Stamp::Known && m_Stamps[n] == now;
    }
    if (usable) return true;
    m_Entries[n].clear();
    m_Stamps[n] = Stamp{};
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
