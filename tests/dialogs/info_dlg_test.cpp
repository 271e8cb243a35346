#include "dialogs/info_dlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <functional>
#include <memory>
#include <utility>

#include "app/launcher.h"
#include "dialogs/info_facts.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/wide.h"
#include "res/resources.h"
#include "tests/decode/decode_support.h"
#include "tests/support/screen.h"

namespace {

constexpr int kExitX = 735, kExitY = 433;  // the middle of the exit button
const RECT kDamagedBox{18, 75, 418, 325};

// A bitmap of the skin drawn over a black screen: stretched into box when given, else at the
// origin.
Screen Rendered(UINT id, const RECT* box = nullptr) {
  SkinPixels skin(id);
  Canvas canvas(kScreenWidth, kScreenHeight);
  HDC source = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(source, skin.bitmap.m_hObject);
  const RECT to = box ? *box : RECT{0, 0, skin.width, skin.height};
  StretchBlt(canvas.dc, to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, skin.width,
             skin.height, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  return canvas.Rows();
}

// How many pixels of the box differ between two screens.
int Differences(const Screen& a, const Screen& b, const RECT& box) {
  int n = 0;
  for (int y = box.top; y < box.bottom; ++y)
    for (int x = box.left; x < box.right; ++x) n += a[y * kScreenWidth + x] != b[y * kScreenWidth + x];
  return n;
}

bool Near(WORD pixel, int r, int g, int b) {
  const int pr = (pixel >> 11) << 3, pg = ((pixel >> 5) & 63) << 2, pb = (pixel & 31) << 3;
  return std::abs(pr - r) < 24 && std::abs(pg - g) < 24 && std::abs(pb - b) < 24;
}

// Waits until the dialog has done all it had to do. Its decode timer (1 ms) may still be
// waiting when the thread first goes idle: once that period has passed the timer is due,
// and the second wait covers it and the paint it asks for.
void Settle() {
  WaitForWindowThreadIdle(20000);
  Sleep(5);
  WaitForWindowThreadIdle(20000);
}

// The dialog with hooks that act at chosen moments of its run.
class TestInfoDlg : public CInfoDlg {
 public:
  using CInfoDlg::CInfoDlg;
  std::function<void(TestInfoDlg&)> afterInit, beforeDecode;
  BOOL OnInitDialog() override {
    const BOOL result = CInfoDlg::OnInitDialog();
    if (afterInit) afterInit(*this);
    return result;
  }
  void OnTimer(UINT_PTR id) override {
    if (id == kDecodeTimer && beforeDecode) std::exchange(beforeDecode, nullptr)(*this);
    CInfoDlg::OnTimer(id);
  }
  HWND ExitButton() const { return ::GetDlgItem(m_hWnd, kExitButton); }
};

// The main page behind the dialog is the back window.
class InfoDialog : public ScreenTest {
 protected:
  // Runs the dialog for the photo on this thread (the window thread) while `drive` runs on
  // another thread from the moment the dialog is idle; the dialog's result.
  INT_PTR Run(TestInfoDlg& dialog, const std::function<void(TestInfoDlg&)>& drive) {
    return RunWithDriver([&] { return dialog.DoModal(); }, [&] { Settle(), drive(dialog); });
  }
  // The dialog for the entry at index of the card's top folder, listed in name order.
  std::unique_ptr<TestInfoDlg> Dialog(int index, CBatteryIcon* battery = nullptr) {
    m_root.ListInNameOrder();
    m_list.Fill(u"\\SDMMC\\");
    return std::make_unique<TestInfoDlg>(&m_player, &m_list, index, battery, &m_decoder);
  }

  ComApartment m_com;
  TempDeviceRoot m_root;
  DebugCapture m_log;
  Cplayerc m_player;
  CPhotoList m_list;
  CImageDecoder m_decoder;
};

// The exit button is hidden and disabled until the facts are drawn, and a tap that comes
// before the preview (or the damaged picture) is drawn does not close the dialog; the tap
// afterwards does. A photo that decodes fills its preview rectangle and nothing beside it, one
// that does not shows the damaged picture; both with six lines of facts. The launcher hides
// the dialog (both of its messages), shows it and closes it: hidden it paints nothing, shown
// again everything comes back.
TEST_F(InfoDialog, ShowsTheFactsWithThePreviewOrTheDamagedPictureAndTheExitButtonWaitsForThem) {
  m_root.WriteFile("SDMMC/red.jpg", MakeJpeg(Picture{640, 480, std::vector<Rgb>(640 * 480, Rgb{200, 40, 40})}, 95));
  // A progressive JPEG whose header is whole but whose scans stop half-way: it opens and
  // decodes to nothing.
  Bytes cut = MakeJpeg(Pattern(320, 240), 90, {}, false, true);
  cut.resize(cut.size() / 2);
  m_root.WriteFile("SDMMC/cut.jpg", cut);
  m_root.WriteFile("SDMMC/noise.bmp", std::string(3000, '\x5a'));  // "NON": never opened
  CBatteryIcon battery(m_back.get(), 1, skin::kBatteryFrames, skin::kMainBackground, 740, 15, 740, 15);
  const Screen damaged = Rendered(skin::kPlaceholder, &kDamagedBox), background = Rendered(skin::kInfoBackground);
  for (const auto& [name, index] : {std::pair<std::string, int>{"red.jpg", 2}, {"cut.jpg", 0}, {"noise.bmp", 1}}) {
    SCOPED_TRACE(name);
    m_log.Clear();
    battery.SetState(2, 0);  // blinking, until a dialog given the icon stops it
    auto dialog = Dialog(index, name == "red.jpg" ? &battery : nullptr);  // the others have none
    dialog->afterInit = [](TestInfoDlg& d) {
      EXPECT_FALSE(IsWindowVisible(d.ExitButton()) || IsWindowEnabled(d.ExitButton()));
    };
    dialog->beforeDecode = [](TestInfoDlg& d) {
      EXPECT_TRUE(IsWindowVisible(d.ExitButton()));
      Tap(kExitX, kExitY);
    };
    bool stillOpen = false;
    Screen shown;
    const INT_PTR result = Run(*dialog, [&](TestInfoDlg& d) {
      stillOpen = IsWindow(d.m_hWnd);
      shown = ReadScreen();
      EXPECT_TRUE(IsWindowVisible(d.ExitButton()) && IsWindowEnabled(d.ExitButton()));
      if (name != "red.jpg") return Tap(kExitX, kExitY);
      for (UINT hide : {kLauncherMessage, kHideMessage}) {
        PostMessage(d.m_hWnd, hide, kLauncherHide, 0);
        WaitForWindowThreadIdle(5000);
        EXPECT_FALSE(IsWindowVisible(d.ExitButton()));
        FillFrame(0);
        InvalidateRect(d.m_hWnd, nullptr, TRUE);
        WaitForWindowThreadIdle(5000);
        EXPECT_EQ(Differences(ReadScreen(), Screen(shown.size(), 0), RECT{0, 0, 800, 480}), 0);
        PostMessage(d.m_hWnd, kLauncherMessage, kLauncherShow, 0);
        Settle();
        EXPECT_TRUE(IsWindowVisible(d.ExitButton()));
        EXPECT_EQ(Differences(ReadScreen(), shown, RECT{0, 0, 800, 480}), 0);
      }
      PostMessage(d.m_hWnd, kLauncherMessage, 2, 0);  // the main page's close only
      WaitForWindowThreadIdle(5000);
      EXPECT_TRUE(IsWindow(d.m_hWnd));
      PostMessage(d.m_hWnd, kLauncherMessage, 32, 0);
    });
    EXPECT_TRUE(stillOpen);
    // Six lines of text on the right, the rest of the right side untouched.
    for (int top : {40, 75, 110, 145, 180, 215})
      EXPECT_GT(Differences(shown, background, RECT{425, top, 783, top + 25}), 30) << "line at " << top;
    EXPECT_EQ(Differences(shown, background, RECT{425, 240, 800, 400}), 0);
    EXPECT_EQ(Differences(shown, background, RECT{0, 380, 680, 480}), 0);
    EXPECT_EQ(dialog->Facts().format, name == "noise.bmp" ? u"NON" : u"JPEG");
    if (name != "red.jpg") {
      EXPECT_EQ(result, IDCANCEL);
      EXPECT_EQ(Differences(shown, damaged, kDamagedBox), 0);
      EXPECT_FALSE(m_log.Contains("rendRect"));
      continue;
    }
    EXPECT_EQ(result, kModalClosedByLauncher);
    EXPECT_TRUE(m_log.Contains("2.rendRect(18,49,419,345)"));
    EXPECT_EQ(dialog->Facts().width, 640);
    // Red from edge to edge of the preview rectangle, the background just outside it.
    for (POINT p : {POINT{218, 197}, POINT{18, 197}, POINT{418, 197}, POINT{218, 49}, POINT{218, 344}})
      EXPECT_TRUE(Near(shown[p.y * kScreenWidth + p.x], 200, 40, 40)) << p.x << "," << p.y;
    for (POINT p : {POINT{17, 197}, POINT{419, 197}, POINT{218, 48}, POINT{218, 345}})
      EXPECT_EQ(shown[p.y * kScreenWidth + p.x], background[p.y * kScreenWidth + p.x]) << p.x << "," << p.y;
  }
}

// Sizes change unit exactly at each power of two; names lose the folder and only the last
// extension.
TEST(InfoFacts, SizeAndNameTextsAndThePreviewRectangle) {
  const std::pair<DWORD, const char*> sizes[] = {{1023, "1023Bytes"},  {1024, "1KB"},   {1048575, "1023KB"},
                                                 {1048576, "1.00MB"},   {5 * 1048576 + 524288, "5.50MB"},
                                                 {1073741824, "1.00GB"}, {0xFFFFFFFF, "4.00GB"}};
  for (const auto& [size, text] : sizes) EXPECT_EQ(ToUtf8(SizeText(size)), text) << size;
  const std::pair<const char16_t*, const char*> names[] = {{u"\\SDMMC\\DCIM\\IMG_0001.JPG", "IMG_0001"},
                                                           {u"\\SDMMC\\a.b.jpg", "a.b"},
                                                           {u"IMG_0002.JPG", "IMG_0002"},  // no folder at all
                                                           {u"\\SDMMC\\trip.2024\\beach", "beach"}};  // a dot in the folder only
  for (const auto& [path, name] : names) EXPECT_EQ(ToUtf8(InfoFileName(path)), name);
  // The preview is fitted, centred and widened.
  EXPECT_EQ(PreviewRect(2048, 1536), (RECT{18, 49, 419, 345}));  // the width decides: 395 x 296
  EXPECT_EQ(PreviewRect(1536, 2048), (RECT{86, 25, 351, 369}));  // the height decides: 258 x 345
  EXPECT_EQ(PreviewRect(100, 50), (RECT{18, 99, 419, 295}));     // small photos grow: 395 x 197
}

// The lines carry their labels and a long name is cut close to its width; the size and the
// creation come from the file, in local time, and a file that cannot be opened shows zeros.
TEST(InfoFacts, LinesCarryTheirLabelsAndTheFileFactsInLocalTime) {
  InstallResources();
  TempDeviceRoot root;
  InfoFacts facts{.path = u"\\SDMMC\\trip\\a.b.jpg", .format = u"JPEG",
                  .file = {.size = 1048576, .created = SYSTEMTIME{2024, 3, 2, 5, 7, 8, 9, 0}},
                  .width = 640, .height = 480, .colourDepth = 24};
  std::vector<std::string> lines;
  for (const WString& line : InfoLines(nullptr, facts)) lines.push_back(ToUtf8(line));
  EXPECT_EQ(lines, (std::vector<std::string>{"檔 案 名 稱: a.b", "檔 案 格 式: JPEG", "檔 案 大 小: 1.00MB",
                                             "日 期 時 間: 2024/03/05   07:08:09", "像 素 大 小: 640 X 480",
                                             "色 彩 數 目: 24bits"}));

  facts.path = u"\\SDMMC\\a_very_long_file_name_from_a_camera_that_never_ends_0001.jpg";
  facts.file = ReadFileFacts(facts.path.c_str());  // not there
  // Cut as the skin's FitText cuts at a width (its own tests look at where).
  WString cut = u"檔 案 名 稱: a_very_long_file_name_from_a_camera_that_never_ends_0001";
  EXPECT_EQ(FitText(nullptr, kNameLineWidth, cut), 0);
  const auto missing = InfoLines(nullptr, facts);
  EXPECT_EQ(missing[0], cut);
  EXPECT_EQ(ToUtf8(missing[2]), "檔 案 大 小: 0Bytes");
  EXPECT_EQ(ToUtf8(missing[3]), "日 期 時 間: 00/00/00   00:00:00");

  root.WriteFile("SDMMC/a.jpg", std::string(1500, 'x'));
  setenv("TZ", "XST-5:30", 1);  // 5 h 30 min east of UTC
  tzset();
  const time_t before = time(nullptr);
  const FileFacts file = ReadFileFacts(u"\\SDMMC\\a.jpg");
  unsetenv("TZ");
  tzset();
  EXPECT_EQ(file.size, 1500u);
  const SYSTEMTIME& c = file.created;
  tm fields{};
  fields.tm_year = c.wYear - 1900;
  fields.tm_mon = c.wMonth - 1;
  fields.tm_mday = c.wDay;
  fields.tm_hour = c.wHour;
  fields.tm_min = c.wMinute;
  fields.tm_sec = c.wSecond;
  const time_t shownUtc = timegm(&fields) - (5 * 3600 + 30 * 60);
  EXPECT_LE(std::abs(static_cast<long>(shownUtc - before)), 60L);
}

}  // namespace
