// The photo view on the screen: the dialog runs on this (the window) thread while a driver
// thread touches it as a person would and looks at the frame buffer.
#include "viewer/photo_view_dlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "app/launcher.h"
#include "browser/folder_nav.h"
#include "platform/device/framebuffer.h"
#include "platform/gdi/png_file.h"
#include "platform/imaging/com.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "platform/windows/resources.h"
#include "res/resources.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/temp_root.h"
#include "viewer/open_size.h"

namespace {

// A picture of two halves, left and right.
Picture Halves(int width, int height, COLORREF left, COLORREF right) {
  Picture p{width, height, std::vector<Rgb>(static_cast<size_t>(width) * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const COLORREF c = x < width / 2 ? left : right;
      p.at(x, y) = Rgb{static_cast<BYTE>(GetRValue(c)), static_cast<BYTE>(GetGValue(c)), static_cast<BYTE>(GetBValue(c))};
    }
  return p;
}

constexpr COLORREF kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255);

WORD Pixel(int x, int y) { return GetVisibleFrame()[y * kScreenWidth + x]; }
bool IsRed(WORD p) { return (p >> 11) > 24 && (p & 31) < 8; }
bool IsBlue(WORD p) { return (p & 31) > 24 && (p >> 11) < 8; }

// Screen position of a button's centre, by its place in the row.
POINT ButtonCentre(int position) { return POINT{25 + 108 * position + 50, 432}; }
constexpr int kPrevPos = 0, kNextPos = 1, kRotatePos = 2, kOriginalPos = 3, kZoomInPos = 4, kExitPos = 6;

void Tap(POINT p) {
  PostTouch(TouchKind::Down, p.x, p.y);
  PostTouch(TouchKind::Up, p.x, p.y);
}

// Two touches at once, long enough after any touch before for the first not to pair with it.
void DoubleTap(POINT p) {
  Sleep(400);
  Tap(p);
  Tap(p);
}

HWND Control(int id) { return GetDlgItem(GetForegroundWindow(), id); }

class PhotoViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallResources();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    SetClockSpeed(1);
  }
  void TearDown() override {
    SetClockSpeed(1);
    CoUninitialize();
  }

  void PutJpeg(const std::string& name, const Picture& picture) {
    const Bytes bytes = MakeJpeg(picture, 95);
    m_root.WriteFile("SDMMC/album/" + name, std::string(bytes.begin(), bytes.end()));
  }
  // The list of the album, and the entry index of a file in it (the listing's order is the
  // host's).
  void List() {
    m_list.Fill(u"\\SDMMC\\album\\");
    ASSERT_TRUE(FindPhotoRange(m_list, m_first, m_last));
  }
  int IndexOf(const std::string& name) const {
    for (int i = 0; i < m_list.GetCount(); ++i)
      if (m_list.GetName(i) == u"\\SDMMC\\album\\" + WString(name.begin(), name.end())) return i;
    return -1;
  }

  // Runs the view on the photo at index until it ends, with drive() on another thread once
  // the photo has been shown; the dialog's result.
  INT_PTR Run(int index, const std::function<void(CPhotoViewDlg&)>& drive) {
    CPhotoViewDlg view(&m_player, &m_list, &m_sysParam, index, m_first, m_last, &m_decoder);
    std::thread driver([&] {
      while (!GetForegroundWindow()) Sleep(1);
      HWND dialog = GetForegroundWindow();
      Settle(view);
      drive(view);
      // A failed check may leave the view up: close it as the launcher would.
      PostMessage(dialog, kLauncherMessage, 34, 0);
    });
    const INT_PTR result = view.DoModal();
    driver.join();
    m_shownLast = view.CurrentIndex();
    return result;
  }

  // Waits until the window thread and the view's worker have nothing left to do.
  static void Settle(const CPhotoViewDlg& view) {
    const DWORD start = GetTickCount();
    for (;;) {
      ASSERT_TRUE(WaitForWindowThreadIdle(20000));
      if (!view.IsWorkPending()) {
        ASSERT_TRUE(WaitForWindowThreadIdle(20000));
        if (!view.IsWorkPending()) return;
      }
      ASSERT_LT(GetTickCount() - start, 60000u) << "the view never settled";
      Sleep(1);
    }
  }
  static void Press(const CPhotoViewDlg& view, int position) {
    Tap(ButtonCentre(position));
    Settle(view);
  }

  TempDeviceRoot m_root;
  CPhotoList m_list;
  int m_first = 0, m_last = 0, m_shownLast = -1;
  Cplayerc m_player;
  CSysParam m_sysParam;
  CImageDecoder m_decoder;
  DebugCapture m_log;
};

int CountLines(const DebugCapture& log, const std::string& prefix) {
  int n = 0;
  for (const std::string& line : log.Lines()) n += line.rfind(prefix, 0) == 0;
  return n;
}

TEST_F(PhotoViewTest, ShowsThePhotoFittedAndGoesRoundTheFolder) {
  PutJpeg("a.jpg", Halves(640, 480, kRed, kBlue));
  PutJpeg("b.jpg", Halves(320, 240, kBlue, kRed));
  PutJpeg("c.jpg", Halves(160, 120, kBlue, kBlue));
  List();
  const int a = IndexOf("a.jpg");
  const INT_PTR result = Run(a, [&](CPhotoViewDlg& view) {
    // 640 x 480 fitted into the frame at (22, 20): 466 x 350 from x = 168; the rest of the
    // frame black, the background around it.
    EXPECT_TRUE(IsRed(Pixel(250, 195)));
    EXPECT_TRUE(IsBlue(Pixel(550, 195)));
    EXPECT_EQ(Pixel(100, 195), 0);
    EXPECT_EQ(view.ErrorState(), kPhotoShown);
    EXPECT_FALSE(IsWaitCursorShown());

    // Next from the last photo opens the first, previous from the first the last.
    for (int i = 0; i < 3 && view.CurrentIndex() != m_last; ++i) Press(view, kNextPos);
    ASSERT_EQ(view.CurrentIndex(), m_last);
    Press(view, kNextPos);
    EXPECT_EQ(view.CurrentIndex(), m_first);
    Press(view, kPrevPos);
    EXPECT_EQ(view.CurrentIndex(), m_last);
    EXPECT_EQ(view.ErrorState(), kPhotoShown);
    Press(view, kExitPos);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(m_shownLast, m_last);
  EXPECT_EQ(CountLines(m_log, " thread exit!!"), 1);
  EXPECT_EQ(CountLines(m_log, " OnButViewExit..."), 1);
}

TEST_F(PhotoViewTest, ALargePhotoOpensReducedAndAnUnreadableOneShowsTheDamagedPicture) {
  PutJpeg("big.jpg", Halves(4000, 3000, kRed, kRed));
  m_root.WriteFile("SDMMC/album/bad.jpg", "this is no photo");
  List();
  Run(IndexOf("big.jpg"), [&](CPhotoViewDlg& view) {
    // 12,000,000 pixels: opened at a third of the size. The JPEG pipeline then finds both
    // sides differ from its header and decodes at its own reduced size.
    EXPECT_TRUE(m_log.Contains("1. JPG SW PrepareImage->Width :1333, Height:1000\r\n"));
    EXPECT_TRUE(m_log.Contains("m_Width, : 1450, m_Height : 1088\r\n"));
    EXPECT_TRUE(IsRed(Pixel(400, 195)));

    Press(view, kNextPos);  // two photos: next is the other one, whichever order they are in
    ASSERT_EQ(view.CurrentIndex(), IndexOf("bad.jpg"));
    EXPECT_EQ(view.ErrorState(), kPhotoDamaged);
    EXPECT_TRUE(m_log.Contains(" ImageOpen GetTickCount = "));
    // Picture 179, stretched to 350 x 350 at (204, 0) of the frame, over black.
    HBITMAP damaged = LoadBitmapResource(179);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, damaged);
    HDC screen = GetDC(nullptr);
    HDC expected = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateCompatibleBitmap(screen, 350, 350);
    HGDIOBJ oldCanvas = SelectObject(expected, canvas);
    StretchBlt(expected, 0, 0, 350, 350, memory, 0, 0, 280, 280, SRCCOPY);
    int pitch = 0;
    const WORD* want = BitmapPixels(canvas, &pitch);
    int differing = 0;
    for (int y = 0; y < 350; ++y)
      for (int x = 0; x < 350; ++x) differing += Pixel(22 + 204 + x, 20 + y) != want[y * pitch + x];
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(Pixel(100, 195), 0);
    SelectObject(expected, oldCanvas);
    DeleteObject(canvas);
    DeleteDC(expected);
    ReleaseDC(nullptr, screen);
    SelectObject(memory, old);
    DeleteObject(damaged);
    DeleteDC(memory);

    // Nothing switches the layout, turns or zooms while the error picture is up.
    DoubleTap(POINT{400, 200});
    Settle(view);
    EXPECT_FALSE(view.IsFullScreen());
    Press(view, kRotatePos);
    Press(view, kZoomInPos);
    EXPECT_EQ(view.Geometry().m_ZoomLevel, kDefaultZoomLevel);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 2, 0);  // not a close for the view
    Settle(view);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 34, 0);
  });
}

TEST_F(PhotoViewTest, TurnsOnceForTwoQuickPressesAndGoesBackToTheOriginal) {
  PutJpeg("a.jpg", Halves(640, 480, kRed, kBlue));
  List();
  Run(IndexOf("a.jpg"), [&](CPhotoViewDlg& view) {
    // With the device clock slowed down, the drawing that makes the view ready again is
    // still 100 ms away when the second press comes.
    SetClockSpeed(0.01);
    Tap(ButtonCentre(kRotatePos));
    Tap(ButtonCentre(kRotatePos));
    ASSERT_TRUE(WaitForWindowThreadIdle(20));
    SetClockSpeed(1);
    Settle(view);
    EXPECT_EQ(view.Geometry().m_Rotation, 1);
    // A quarter turn in the decoder's direction: the left (red) half goes down. 480 x 640
    // fitted: 262 x 350, from x = 270.
    EXPECT_TRUE(IsBlue(Pixel(401, 100)));
    EXPECT_TRUE(IsRed(Pixel(401, 300)));
    EXPECT_EQ(Pixel(200, 195), 0);
    Press(view, kRotatePos);
    EXPECT_EQ(view.Geometry().m_Rotation, 2);
    EXPECT_TRUE(IsBlue(Pixel(250, 195)));

    Press(view, kZoomInPos);
    Press(view, kOriginalPos);
    const CPhotoViewGeometry g = view.Geometry();
    EXPECT_EQ(g.m_Rotation, 0);
    EXPECT_EQ(g.m_ZoomLevel, kDefaultZoomLevel);
    EXPECT_TRUE(IsRed(Pixel(250, 195)));
    PostMessage(GetForegroundWindow(), kLauncherMessage, 20, 0);
  });
}

TEST_F(PhotoViewTest, ZoomedPhotosFollowTheFingerAndADoubleTapSwitchesToFullScreen) {
  PutJpeg("a.jpg", Halves(640, 480, kRed, kBlue));
  List();
  const INT_PTR result = Run(IndexOf("a.jpg"), [&](CPhotoViewDlg& view) {
    Press(view, kZoomInPos);
    Press(view, kZoomInPos);  // 400 %: 1344 x 1008, wider and taller than the frame
    // Touches over the picture frame reach the dialog: the photo follows the finger.
    PostTouch(TouchKind::Down, 400, 200);
    PostTouch(TouchKind::Move, 400, 200);
    PostTouch(TouchKind::Move, 300, 150);
    Settle(view);
    EXPECT_TRUE(m_log.Contains("MouseDistance.x = -100 MouseDistance.y = -50\r\n"));
    PostTouch(TouchKind::Up, 300, 150);
    Settle(view);
    const CPhotoViewGeometry g = view.Geometry();
    EXPECT_EQ(g.MouseEndPoint.x, -100);
    EXPECT_EQ(g.MouseEndPoint.y, -50);
    EXPECT_TRUE(IsBlue(Pixel(400, 195)));  // dragged left: more of the right half

    // Two touches 400 ms apart are not a double tap.
    Sleep(400);
    Tap(POINT{400, 200});
    Settle(view);
    Sleep(400);
    Tap(POINT{400, 200});
    Settle(view);
    EXPECT_FALSE(view.IsFullScreen());

    DoubleTap(POINT{400, 200});
    Settle(view);
    ASSERT_TRUE(view.IsFullScreen());
    EXPECT_EQ(view.Geometry().m_ZoomLevel, kDefaultZoomLevel);
    // 640 x 480 from x = 80 over black; the buttons are gone.
    EXPECT_EQ(Pixel(79, 240), 0);
    EXPECT_TRUE(IsRed(Pixel(100, 240)));
    EXPECT_TRUE(IsBlue(Pixel(700, 240)));
    EXPECT_EQ(Pixel(ButtonCentre(kExitPos).x, ButtonCentre(kExitPos).y), 0);
    EXPECT_FALSE(IsWindowVisible(Control(CPhotoViewDlg::kExit)));
    EXPECT_FALSE(IsWindowVisible(Control(CPhotoViewDlg::kPictureFrame)));

    DoubleTap(POINT{400, 200});
    Settle(view);
    EXPECT_FALSE(view.IsFullScreen());
    EXPECT_TRUE(IsRed(Pixel(250, 195)));
    EXPECT_TRUE(IsWindowVisible(Control(CPhotoViewDlg::kExit)));
    EXPECT_TRUE(IsWindowVisible(Control(CPhotoViewDlg::kPictureFrame)));
    Press(view, kExitPos);
  });
  EXPECT_EQ(result, IDOK);
}

TEST_F(PhotoViewTest, PressesDuringAnOpenMergeIntoOneMoreOpen) {
  for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) PutJpeg(name, Halves(64, 48, kRed, kBlue));
  List();
  Run(m_first, [&](CPhotoViewDlg& view) {
    const int opensBefore = CountLines(m_log, "Call CheckJPGCodec");
    // Slowed down, the worker's delay before an open outlasts the five presses.
    SetClockSpeed(0.1);
    for (int i = 0; i < 5; ++i) Tap(ButtonCentre(kNextPos));
    ASSERT_TRUE(WaitForWindowThreadIdle(20000));
    SetClockSpeed(1);
    Settle(view);
    EXPECT_EQ(view.CurrentIndex(), m_first + 5 % (m_last - m_first + 1));
    EXPECT_LE(CountLines(m_log, "Call CheckJPGCodec") - opensBefore, 2);
    EXPECT_EQ(view.ErrorState(), kPhotoShown);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 32, 0);
  });
}

TEST_F(PhotoViewTest, ClosingDuringTheDelayBeforeAnOpenOpensNothing) {
  PutJpeg("a.jpg", Halves(64, 48, kRed, kBlue));
  PutJpeg("b.jpg", Halves(64, 48, kBlue, kRed));
  List();
  const INT_PTR result = Run(m_first, [&](CPhotoViewDlg& view) {
    SetClockSpeed(0.1);
    Tap(ButtonCentre(kNextPos));
    while (!view.IsBusy()) Sleep(1);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 34, 0);
  });
  EXPECT_EQ(result, kModalClosedByLauncher);
  EXPECT_EQ(CountLines(m_log, "Call CheckJPGCodec"), 1);
  EXPECT_EQ(CountLines(m_log, " thread exit!!"), 1);
}

}  // namespace
