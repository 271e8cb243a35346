#include "store/parm_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/kernel/debug.h"
#include "platform/storage/files.h"
#include "store/settings.h"
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

// The checksum adds the bytes as signed 8-bit values.
TEST(ParmFile, WriteLaysOutHeaderAndPayloadHidesTheFileAndReadIgnoresTheReservedBytes) {
  const unsigned char mixed[] = {0x01, 0xFF, 0x80};
  EXPECT_EQ(ParmChecksum(mixed, 3), -128);
  EXPECT_EQ(ParmChecksum(std::string(32, '\xFF').data(), 32), -32);
  EXPECT_EQ(ParmChecksum(mixed, 0), 0);
  EXPECT_EQ(ParmChecksum(mixed, -5), 0);

  TempDeviceRoot root;
  std::string payload = Payload32();
  CParmFileRW file;
  ASSERT_EQ(file.Write(u"NAND\\SETTING.PAR", payload.data(), 32), 0);
  EXPECT_EQ(root.ReadFile("NAND/SETTING.PAR"), Header(ParmChecksum(payload.data(), 32), 32) + payload);
  EXPECT_NE(GetFileAttributesW(u"NAND\\SETTING.PAR") & FILE_ATTRIBUTE_HIDDEN, 0u);
  char back[32] = {};
  EXPECT_EQ(file.Read(u"NAND\\SETTING.PAR", back, 32, 32), 0);
  EXPECT_EQ(std::string(back, 32), payload);

  root.WriteFile("NAND/SETTING.PAR", Header(ParmChecksum(payload.data(), 32), 32, '\x5A') + payload);
  EXPECT_EQ(file.Read(u"\\NAND\\setting.par", back, 32, 32), 0);
}

TEST(ParmFile, EveryRefusalHasItsOwnDiagnostic) {
  TempDeviceRoot root;
  const std::string payload = Payload32();
  std::string flipped = payload;
  flipped[7] ^= 0x10;
  const std::string short31 = payload.substr(0, 31);
  root.WriteFile("NAND/A.PAR", Header(ParmChecksum(short31.data(), 31), 31) + short31);  // right sum, wrong size
  root.WriteFile("NAND/B.PAR", Header(ParmChecksum(payload.data(), 32), 32) + flipped);
  root.WriteFile("NAND/C.PAR", "short");
  const struct {
    LPCWSTR name;
    int maxBufSz;
    std::string message;
  } cases[] = {
      {u"NAND\\NONE.PAR", 16, "CParmFileRW: read sz error\r\n"},  // before the file is looked at
      {u"NAND\\NONE.PAR", 32, "CParmFileRW: read fine name error NAND\\NONE.PAR\r\n"},
      {u"NAND\\A.PAR", 32, "CParmFileRW: hdr.dateBytes != readCount \r\n"},
      {u"NAND\\B.PAR", 32, "CParmFileRW: read chkSum error\r\n"},
      {u"NAND\\C.PAR", 32, "CParmFileRW: hdr.dateBytes != readCount \r\n"},
  };
  CParmFileRW file;
  for (const auto& c : cases) {
    char buffer[32];
    DebugCapture log;
    EXPECT_EQ(file.Read(c.name, buffer, c.maxBufSz, 32), -1);
    EXPECT_EQ(log.Text(), c.message);
    if (c.name == WStringView(u"NAND\\B.PAR")) {
      EXPECT_EQ(std::string(buffer, 32), flipped);  // the bytes read stay in the buffer
    }
  }
  DebugCapture log;
  EXPECT_EQ(file.Write(u"NAND\\missing folder\\X.PAR", payload.data(), 32), -1);
  // Names longer than the buffer are shortened in the message.
  char buffer[4];
  EXPECT_EQ(file.Read(WString(300, u'x').c_str(), buffer, 4, 4), -1);
  EXPECT_EQ(log.Text(), "CParmFileRW: write fine name error\r\nCParmFileRW: read fine name error " +
                            std::string(127, 'x') + "\r\n");
}

TEST(Settings, TheClickSwitchIsTheWordAtOffsetTwelveOfWhatTheFileHolds) {
  TempDeviceRoot root;
  CSettings missing;  // a zeroed payload: no click
  EXPECT_EQ(missing.ClickSwitch(), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(missing.Payload()), 32), std::string(32, '\0'));

  std::uint8_t payload[32];
  std::memset(payload, 0xFF, sizeof payload);  // bytes outside 12..15 have no effect
  CParmFileRW file;
  for (std::uint32_t value : {0u, 1u, 0x80000000u}) {  // any non-zero value is "on"
    std::memcpy(payload + 12, &value, 4);
    ASSERT_EQ(file.Write(u"NAND\\SETTING.PAR", payload, 32), 0);
    EXPECT_EQ(CSettings().ClickSwitch() != 0, value != 0) << value;
  }
  // A file failing its checksum is still used.
  std::string content(32, '\0');
  content[12] = 1;
  root.WriteFile("NAND/SETTING.PAR", Header(0, 32) + content);
  EXPECT_EQ(CSettings().ClickSwitch(), 1);
}
