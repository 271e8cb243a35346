#include "store/parm_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/kernel/debug.h"
#include "platform/storage/files.h"
#include "tests/support/temp_root.h"

namespace {

std::string Header(std::int32_t chkSum, std::int32_t dateBytes, char reserved = 0) {
  std::string bytes(16, reserved);
  std::memcpy(bytes.data(), &chkSum, 4);
  std::memcpy(bytes.data() + 4, &dateBytes, 4);
  return bytes;
}

std::string Payload32() {
  std::string payload(32, '\0');
  for (int i = 0; i < 32; ++i) payload[i] = static_cast<char>(i * 37);
  return payload;
}

}  // namespace

TEST(ParmChecksum, AddsBytesAsSigned8BitValues) {
  const unsigned char mixed[] = {0x01, 0xFF, 0x80};
  EXPECT_EQ(ParmChecksum(mixed, 3), -128);
  unsigned char ones[32];
  std::memset(ones, 0xFF, sizeof ones);
  EXPECT_EQ(ParmChecksum(ones, 32), -32);
  EXPECT_EQ(ParmChecksum(mixed, 0), 0);
  EXPECT_EQ(ParmChecksum(mixed, -5), 0);
}

TEST(ParmFile, WriteLaysOutHeaderAndPayloadAndHidesTheFile) {
  TempDeviceRoot root;
  std::string payload = Payload32();
  CParmFileRW file;
  ASSERT_EQ(file.Write(u"NAND\\SETTING.PAR", payload.data(), 32), 0);

  std::string bytes = root.ReadFile("NAND/SETTING.PAR");
  EXPECT_EQ(bytes, Header(ParmChecksum(payload.data(), 32), 32) + payload);
  EXPECT_NE(GetFileAttributesW(u"NAND\\SETTING.PAR") & FILE_ATTRIBUTE_HIDDEN, 0u);

  char back[32] = {};
  EXPECT_EQ(file.Read(u"NAND\\SETTING.PAR", back, 32, 32), 0);
  EXPECT_EQ(std::string(back, 32), payload);
}

TEST(ParmFile, ReadIgnoresTheReservedBytes) {
  TempDeviceRoot root;
  std::string payload = Payload32();
  root.WriteFile("NAND/SETTING.PAR", Header(ParmChecksum(payload.data(), 32), 32, '\x5A') + payload);
  char back[32];
  CParmFileRW file;
  EXPECT_EQ(file.Read(u"\\NAND\\setting.par", back, 32, 32), 0);
}

TEST(ParmFile, EveryRefusalHasItsOwnDiagnostic) {
  TempDeviceRoot root;
  std::string payload = Payload32();
  std::int32_t sum = ParmChecksum(payload.data(), 32);
  char buffer[32];
  CParmFileRW file;

  {
    DebugCapture log;  // checked before the file is looked at: this one does not exist
    EXPECT_EQ(file.Read(u"NAND\\NONE.PAR", buffer, 16, 32), -1);
    EXPECT_EQ(log.Text(), "CParmFileRW: read sz error\r\n");
  }
  {
    DebugCapture log;
    EXPECT_EQ(file.Read(u"NAND\\NONE.PAR", buffer, 32, 32), -1);
    EXPECT_EQ(log.Text(), "CParmFileRW: read fine name error NAND\\NONE.PAR\r\n");
  }
  {
    // A right checksum does not save a wrong size.
    std::string short31 = payload.substr(0, 31);
    root.WriteFile("NAND/A.PAR", Header(ParmChecksum(short31.data(), 31), 31) + short31);
    DebugCapture log;
    EXPECT_EQ(file.Read(u"NAND\\A.PAR", buffer, 32, 32), -1);
    EXPECT_EQ(log.Text(), "CParmFileRW: hdr.dateBytes != readCount \r\n");
  }
  {
    std::string flipped = payload;
    flipped[7] ^= 0x10;
    root.WriteFile("NAND/B.PAR", Header(sum, 32) + flipped);
    DebugCapture log;
    EXPECT_EQ(file.Read(u"NAND\\B.PAR", buffer, 32, 32), -1);
    EXPECT_EQ(log.Text(), "CParmFileRW: read chkSum error\r\n");
    // The bytes read stay in the caller's buffer.
    EXPECT_EQ(std::string(buffer, 32), flipped);
  }
  {
    root.WriteFile("NAND/C.PAR", "short");
    DebugCapture log;
    EXPECT_EQ(file.Read(u"NAND\\C.PAR", buffer, 32, 32), -1);
    EXPECT_EQ(log.Text(), "CParmFileRW: hdr.dateBytes != readCount \r\n");
  }
  {
    DebugCapture log;
    EXPECT_EQ(file.Write(u"NAND\\missing folder\\X.PAR", payload.data(), 32), -1);
    EXPECT_EQ(log.Text(), "CParmFileRW: write fine name error\r\n");
  }
}

TEST(ParmFile, LongNamesAreShortenedInTheOpenDiagnostic) {
  TempDeviceRoot root;
  WString name(300, u'x');
  char buffer[4];
  CParmFileRW file;
  DebugCapture log;
  EXPECT_EQ(file.Read(name.c_str(), buffer, 4, 4), -1);
  EXPECT_EQ(log.Text(), "CParmFileRW: read fine name error " + std::string(127, 'x') + "\r\n");
}
