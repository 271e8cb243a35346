#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/kernel/debug.h"

using Lines = std::vector<std::string>;

namespace {

class DebugSink : public ::testing::Test {
 protected:
  void SetUp() override { DebugSinkSilence(); }
  void TearDown() override { DebugSinkToStderr(); }
};

TEST_F(DebugSink, PrintsFormatCutAndKeepToTheirZonesCapturesSplitLinesAndSeeWhatCameWhileOpen) {
  DebugCapture capture;
  // %s is wide and %S narrow in a wide format.
  NKDbgPrintfW(u"[%s] [%S] [%hs] [%ls] %d %u %c %5s|%-4d|\r\n", u"w\u00e9de", "narrow", "h", u"l", -3, 4u,
               u'\u20ac', u"ab", 9);
  EXPECT_EQ(capture.Lines(), Lines{"[w\xc3\xa9" "de] [narrow] [h] [l] -3 4 \xe2\x82\xac    ab|9   |"});
  capture.Clear();
  DebugPrintW(u"%s\r\n", WString(1500, u'x').c_str());
  EXPECT_EQ(capture.Text(), std::string(1023, 'x')) << "the cut also drops the line end";
  capture.Clear();
  DebugPrintW(u"short %d\r\n", 1);
  EXPECT_EQ(capture.Text(), "short 1\r\n");
  capture.Clear();

  // Zone prints: only for zones in the mask, cut at 255 units.
  DebugZonePrint(1, u"zone one\r\n");
  DebugZonePrint(8, u"zone eight\r\n");
  EXPECT_EQ(capture.Text(), "");
  DebugZonePrint(4, u"zone %d\r\n", 4);
  DebugZonePrint(6, u"zones two and four\r\n");
  EXPECT_EQ(capture.Lines(), (Lines{"zone 4", "zones two and four"}));
  capture.Clear();
  DebugZonePrint(4, u"%s", WString(300, u'z').c_str());
  EXPECT_EQ(capture.Text(), std::string(255, 'z'));

  // Captures split lines on CR LF and LF, and each sees what came while it was open.
  capture.Clear();
  OutputDebugStringW(u"one\r\ntwo\nthree\r\n\r\nlast");
  EXPECT_EQ(capture.Lines(), (Lines{"one", "two", "three", "", "last"}));
  EXPECT_TRUE(capture.Contains("two\nthree"));
  capture.Clear();
  OutputDebugStringW(u"a\rb\r\n");
  EXPECT_EQ(capture.Lines(), Lines{"a\rb"}) << "a lone carriage return does not end a line";

  // The printf macro writes narrow text; every open capture sees what is written while it exists.
  capture.Clear();
  EXPECT_EQ(printf("%s %d 0x%08x\n", "before", 7, 0x2a), 20);
  {
    DebugCapture inner;
    printf("during\n");
    EXPECT_EQ(inner.Lines(), Lines{"during"});
  }
  printf("after\n");
  EXPECT_EQ(capture.Lines(), (Lines{"before 7 0x0000002a", "during", "after"}));
}

}  // namespace
