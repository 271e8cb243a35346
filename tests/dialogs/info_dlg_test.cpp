#include "dialogs/info_dlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>

#include "app/launcher.h"
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
  CBitmap bitmap;
  LoadSkinBitmap(bitmap, id);
  BITMAP info{};
  bitmap.GetBitmap(&info);
  Canvas canvas(kScreenWidth, kScreenHeight);
  HDC source = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(source, bitmap.m_hObject);
  const RECT to = box ? *box : RECT{0, 0, info.bmWidth, info.bmHeight};
  StretchBlt(canvas.dc(), to.left, to.top, to.right - to.left, to.bottom - to.top, source, 0, 0, info.bmWidth,
             info.bmHeight, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  return canvas.Read().p;
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

class InfoDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    InstallResources();
    FillFrame(0);
    m_page = std::make_unique<BackWindow>();  // the main page stands behind the dialog
    m_decoder = std::make_unique<CImageDecoder>();
  }
  void TearDown() override {
    m_decoder.reset();
    m_page.reset();
    CoUninitialize();
  }

  // A photo of one colour under the card's top folder.
  void PutPhoto(const std::string& name, int width, int height, Rgb colour) {
    Put(name, MakeJpeg(Picture{width, height, std::vector<Rgb>(static_cast<size_t>(width) * height, colour)}, 95));
  }
  // A progressive JPEG whose header is whole but whose scans stop half-way.
  void PutCutPhoto(const std::string& name, int width, int height) {
    Bytes bytes = MakeJpeg(Pattern(width, height), 90, {}, false, true);
    bytes.resize(bytes.size() / 2);
    Put(name, bytes);
  }
  void Put(const std::string& name, const Bytes& bytes) {
    m_root.WriteFile("SDMMC/" + name, std::string(bytes.begin(), bytes.end()));
  }

  // Runs the dialog for the photo on this thread (the window thread) while `drive` runs on
  // another thread from the moment the dialog is idle; the dialog's result.
  INT_PTR Run(TestInfoDlg& dialog, const std::function<void(TestInfoDlg&)>& drive) {
    return RunWithDriver([&] { return dialog.DoModal(); },
                         [&] {
                           Settle();
                           drive(dialog);
                         });
  }
  std::unique_ptr<TestInfoDlg> Dialog(const std::string& name, CBatteryIcon* battery = nullptr) {
    m_list.Fill(u"\\SDMMC\\");
    const WString path = u"\\SDMMC\\" + FromUtf8(name);
    int index = -1;
    for (int i = 0; i < m_list.GetCount(); ++i)
      if (m_list.GetName(i) == path) index = i;
    EXPECT_GE(index, 0) << name;
    return std::make_unique<TestInfoDlg>(&m_player, &m_list, index, battery, m_decoder.get());
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : m_log.Lines())
      if (l == line) return true;
    return false;
  }

  TempDeviceRoot m_root;
  std::unique_ptr<BackWindow> m_page;
  DebugCapture m_log;
  Cplayerc m_player;
  CPhotoList m_list;
  std::unique_ptr<CImageDecoder> m_decoder;
};

TEST_F(InfoDialog, ShowsTheBackgroundTheFactsAndThePreviewInItsRectangle) {
  PutPhoto("red.jpg", 640, 480, Rgb{200, 40, 40});
  CBatteryIcon battery(m_page.get(), 1, skin::kBatteryFrames, skin::kMainBackground, 740, 15, 740, 15);
  battery.SetState(2, 0);  // blinking, until the dialog stops it
  auto dialog = Dialog("red.jpg", &battery);
  Screen shown;
  const INT_PTR result = Run(*dialog, [&](TestInfoDlg& d) {
    shown = ReadScreen();
    EXPECT_TRUE(IsWindowVisible(d.ExitButton()));
    EXPECT_TRUE(IsWindowEnabled(d.ExitButton()));
    Tap(kExitX, kExitY);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_TRUE(Logged("2.rendRect(18,49,419,345)"));
  EXPECT_EQ(dialog->Facts().format, u"JPEG");
  EXPECT_EQ(dialog->Facts().width, 640);

  const Screen background = Rendered(skin::kInfoBackground);
  // The photo fills its rectangle and nothing beside it.
  auto at = [&](int x, int y) { return shown[y * kScreenWidth + x]; };
  auto bare = [&](int x, int y) { return at(x, y) == background[y * kScreenWidth + x]; };
  EXPECT_TRUE(Near(at(218, 197), 200, 40, 40));
  EXPECT_TRUE(Near(at(18, 197), 200, 40, 40) && Near(at(418, 197), 200, 40, 40));
  EXPECT_TRUE(Near(at(218, 49), 200, 40, 40) && Near(at(218, 344), 200, 40, 40));
  EXPECT_TRUE(bare(17, 197) && bare(419, 197) && bare(218, 48) && bare(218, 345));
  // Six lines of text on the right, the rest of the right side untouched.
  for (int top : {40, 75, 110, 145, 180, 215})
    EXPECT_GT(Differences(shown, background, RECT{425, top, 783, top + 25}), 30) << "line at " << top;
  EXPECT_EQ(Differences(shown, background, RECT{425, 240, 800, 400}), 0);
  EXPECT_EQ(Differences(shown, background, RECT{0, 380, 680, 480}), 0);
}

TEST_F(InfoDialog, TheExitButtonCannotBePressedBeforeThePreviewIsDrawn) {
  PutPhoto("good.jpg", 320, 240, Rgb{20, 200, 20});
  PutCutPhoto("cut.jpg", 320, 240);
  for (const char* name : {"good.jpg", "cut.jpg"}) {
    SCOPED_TRACE(name);
    auto dialog = Dialog(name);
    dialog->afterInit = [](TestInfoDlg& d) {
      EXPECT_FALSE(IsWindowVisible(d.ExitButton()));
      EXPECT_FALSE(IsWindowEnabled(d.ExitButton()));
    };
    // The facts are drawn and the button shown; a tap now comes before the preview.
    dialog->beforeDecode = [](TestInfoDlg& d) {
      EXPECT_TRUE(IsWindowVisible(d.ExitButton()));
      Tap(kExitX, kExitY);
    };
    bool stillOpen = false;
    const INT_PTR result = Run(*dialog, [&](TestInfoDlg& d) {
      stillOpen = IsWindow(d.m_hWnd);
      Tap(kExitX, kExitY);
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(result, IDCANCEL);
  }
}

TEST_F(InfoDialog, UndecodablePhotosShowTheDamagedPictureWithTheirFacts) {
  m_root.WriteFile("SDMMC/noise.bmp", std::string(3000, '\x5a'));   // "NON": never opened
  PutCutPhoto("cut.jpg", 320, 240);                                   // opens, decodes to nothing
  const Screen damaged = Rendered(skin::kPlaceholder, &kDamagedBox);
  for (const char* name : {"noise.bmp", "cut.jpg"}) {
    SCOPED_TRACE(name);
    m_log.Clear();
    auto dialog = Dialog(name);
    Screen shown;
    Run(*dialog, [&](TestInfoDlg& d) {
      shown = ReadScreen();
      EXPECT_TRUE(IsWindowEnabled(d.ExitButton()));
      Tap(kExitX, kExitY);
    });
    EXPECT_EQ(Differences(shown, damaged, kDamagedBox), 0);
    EXPECT_GT(Differences(shown, Rendered(skin::kInfoBackground), RECT{425, 40, 783, 240}), 100);
    EXPECT_FALSE(m_log.Contains("rendRect"));
    EXPECT_EQ(dialog->Facts().format, name == std::string("cut.jpg") ? u"JPEG" : u"NON");
  }
}

TEST_F(InfoDialog, TheLauncherHidesShowsAndClosesIt) {
  PutPhoto("blue.jpg", 400, 300, Rgb{30, 30, 220});
  auto dialog = Dialog("blue.jpg");
  const INT_PTR result = Run(*dialog, [&](TestInfoDlg& d) {
    const Screen before = ReadScreen();
    for (UINT hide : {kLauncherMessage, kHideMessage}) {
      PostMessage(d.m_hWnd, hide, kLauncherHide, 0);
      WaitForWindowThreadIdle(5000);
      EXPECT_FALSE(IsWindowVisible(d.ExitButton()));
      // Hidden, it paints nothing.
      FillFrame(0);
      InvalidateRect(d.m_hWnd, nullptr, TRUE);
      WaitForWindowThreadIdle(5000);
      EXPECT_EQ(Differences(ReadScreen(), Screen(before.size(), 0), RECT{0, 0, 800, 480}), 0);
      // Shown again, everything comes back: background, facts, preview, button.
      PostMessage(d.m_hWnd, kLauncherMessage, kLauncherShow, 0);
      Settle();
      EXPECT_TRUE(IsWindowVisible(d.ExitButton()));
      EXPECT_EQ(Differences(ReadScreen(), before, RECT{0, 0, 800, 480}), 0);
    }
    PostMessage(d.m_hWnd, kLauncherMessage, 2, 0);  // the main page's close only
    WaitForWindowThreadIdle(5000);
    EXPECT_TRUE(IsWindow(d.m_hWnd));
    PostMessage(d.m_hWnd, kLauncherMessage, 32, 0);
  });
  EXPECT_EQ(result, kModalClosedByLauncher);
}

}  // namespace
