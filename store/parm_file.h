// A fixed-size block of bytes in a small file, protected by a byte checksum.
//
// File layout (little-endian): chkSum (int32), dateBytes (int32), 8 reserved bytes,
// then dateBytes bytes of payload. Nothing else: no magic number, no version.
#pragma once

#include <cstdint>

#include "platform/kernel/types.h"

struct ParmFileHeader {
  std::int32_t chkSum;
  std::int32_t dateBytes;
  std::uint8_t reserved[8];
};
static_assert(sizeof(ParmFileHeader) == 16);

// The sum of the bytes taken as signed 8-bit values, wrapping in 32 bits; 0 for n < 1.
std::int32_t ParmChecksum(const void* data, int n);

class CParmFileRW {
 public:
  // 0 when the file was read and checked; -1 on any failure. buffer holds maxBufSz bytes;
  // readCount is the payload size the caller expects. On a failed check the bytes read
  // stay in buffer.
  int Read(LPCWSTR fileName, void* buffer, int maxBufSz, int readCount);
  // 0 once the file was opened for writing; -1 when it could not be opened.
  int Write(LPCWSTR fileName, const void* data, int count);

  const ParmFileHeader& LastHeader() const { return m_Header; }

 private:
  static constexpr int kNameChars = 128;
  WCHAR m_FileName[kNameChars] = {};  // only for the diagnostic of a failed open
  ParmFileHeader m_Header = {};
};
