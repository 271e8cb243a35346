#include "store/parm_file.h"

#include <bit>
#include <cstring>

#include "platform/kernel/debug.h"
#include "platform/storage/files.h"

// The header is read and written as it lies in memory.
static_assert(std::endian::native == std::endian::little);

std::int32_t ParmChecksum(const void* data, int n) {
  std::uint32_t sum = 0;  // unsigned, so that overflow wraps without undefined behaviour
  const auto* bytes = static_cast<const std::int8_t*>(data);
  for (int i = 0; i < n; ++i) sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(bytes[i]));
  return static_cast<std::int32_t>(sum);
}

int CParmFileRW::Read(LPCWSTR fileName, void* buffer, int maxBufSz, int readCount) {
  if (readCount > maxBufSz) {
    printf("CParmFileRW: read sz error\r\n");
    return -1;
  }
  HANDLE file = CreateFileW(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // Names longer than the buffer are shortened for the message.
    std::memset(m_FileName, 0, sizeof m_FileName);
    for (int i = 0; fileName && fileName[i] && i < kNameChars - 1; ++i) m_FileName[i] = fileName[i];
    NKDbgPrintfW(u"CParmFileRW: read fine name error %s\r\n", m_FileName);
    return -1;
  }
  std::memset(&m_Header, 0, sizeof m_Header);
  DWORD got = 0;
  ReadFile(file, &m_Header, sizeof m_Header, &got, nullptr);
  if (readCount > 0) ReadFile(file, buffer, static_cast<DWORD>(readCount), &got, nullptr);
  CloseHandle(file);

  if (m_Header.dateBytes != readCount) {
    printf("CParmFileRW: hdr.dateBytes != readCount \r\n");
    return -1;
  }
  if (m_Header.dateBytes > maxBufSz) {
    printf("CParmFileRW: hdr.dateBytes > maxBufSz\r\n");
    return -1;
  }
  if (ParmChecksum(buffer, m_Header.dateBytes) != m_Header.chkSum) {
    printf("CParmFileRW: read chkSum error\r\n");
    return -1;
  }
  return 0;
}

int CParmFileRW::Write(LPCWSTR fileName, const void* data, int count) {
  HANDLE file =
      CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    printf("CParmFileRW: write fine name error\r\n");
    return -1;
  }
  std::memset(&m_Header, 0, sizeof m_Header);
  m_Header.chkSum = ParmChecksum(data, count);
  m_Header.dateBytes = count;
  DWORD written = 0;
  WriteFile(file, &m_Header, sizeof m_Header, &written, nullptr);
  if (count > 0) WriteFile(file, data, static_cast<DWORD>(count), &written, nullptr);
  CloseHandle(file);

  DWORD attributes = GetFileAttributesW(fileName);
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(fileName, attributes | FILE_ATTRIBUTE_HIDDEN);
  return 0;
}
