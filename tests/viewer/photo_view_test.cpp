// The photo view on the screen: the dialog runs on this (the window) thread while a driver
// thread touches it as a person would and looks at the frame buffer.
#include "viewer/photo_view_dlg.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/launcher.h"
#include "folders/folder_nav.h"
#include "platform/kernel/debug.h"
#include "res/resources.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/screen.h"
#include "tests/support/temp_root.h"
#include "viewer/open_size.h"

namespace {

// Left half red, right half blue.
Picture RedBlue(int width, int height) {
  Picture p{width, height, std::vector<Rgb>(static_cast<size_t>(width) * height)};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.at(x, y) = x < width / 2 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
  return p;
}

bool IsRed(int x, int y) { return (Pixel(x, y) >> 11) > 24 && (Pixel(x, y) & 31) < 8; }
bool IsBlue(int x, int y) { return (Pixel(x, y) & 31) > 24 && (Pixel(x, y) >> 11) < 8; }

enum ButtonPlace { kPrev, kNext, kRotate, kOriginal, kZoomIn, kZoomOut, kExit };
constexpr POINT kOverPhoto{400, 200};

// Two touches at once, long enough after any touch before for the first not to pair with it.
void DoubleTap(POINT p) { Sleep(400), Tap(p), Tap(p); }
bool Visible(int id) { return IsWindowVisible(GetDlgItem(GetForegroundWindow(), id)); }

class PhotoViewTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallResources(); }
  void TearDown() override { SetClockSpeed(1); }

  // tag: stored as a camera with that orientation tag stores it, the tag in its EXIF block.
  void Put(const std::string& name, const Picture& picture, int tag = 0) {
    m_root.WriteFile("SDMMC/album/" + name, tag ? MakeJpeg(StoredFor(picture, tag), 95, ExifBlock(tag)) : MakeJpeg(picture, 95));
  }
  // The album's listing in name order: the parent entry, then the photos from index 1.
  void List() {
    m_root.ListInNameOrder();
    m_list.Fill(u"\\SDMMC\\album\\");
    ASSERT_TRUE(FindPhotoRange(m_list, m_first, m_last));
  }

  // Runs the view on the photo at index until it ends, with drive() on another thread once
  // the photo has been shown; the dialog's result.
  INT_PTR Run(int index, const std::function<void(CPhotoViewDlg&)>& drive) {
    CPhotoViewDlg view(&m_player, &m_list, &m_sysParam, index, m_first, m_last, &m_decoder);
    const INT_PTR result = RunWithDriver([&] { return view.DoModal(); },
                                         [&] {
                                           while (!GetForegroundWindow()) Sleep(1);
                                           HWND dialog = GetForegroundWindow();
                                           Settle(view);
                                           drive(view);
                                           PostMessage(dialog, kLauncherMessage, 34, 0);  // a failed check may have left it up
                                         });
    m_shownLast = view.CurrentIndex();
    return result;
  }

  // Waits until the window thread and the view's worker have nothing left to do.
  static void Settle(const CPhotoViewDlg& view) {
    ASSERT_TRUE(AwaitIdle([&] { return !view.IsWorkPending(); })) << "the view never settled";
  }
  static void Press(const CPhotoViewDlg& view, ButtonPlace place) {
    Tap(ViewButton(place));
    Settle(view);
  }

  ComApartment m_com;
  TempDeviceRoot m_root;
  CPhotoList m_list;
  int m_first = 0, m_last = 0, m_shownLast = -1;
  Cplayerc m_player;
  CSysParam m_sysParam;
  CImageDecoder m_decoder;
  DebugCapture m_log;
};

// Presses while a photo opens merge into one step; closing before an open opens nothing.
TEST_F(PhotoViewTest, ShowsThePhotoFittedGoesRoundTheFolderAndMergesPressesDuringAnOpen) {
  for (int i = 0; i < 4; ++i) Put(std::string(1, char('a' + i)) + ".jpg", RedBlue(640 >> i, 480 >> i));
  List();
  const INT_PTR result = Run(m_first, [&](CPhotoViewDlg& view) {
    // 466 x 350 from x = 22 + 146, the rest of the frame black.
    EXPECT_TRUE(IsRed(250, 195) && IsBlue(550, 195));
    EXPECT_EQ(Pixel(100, 195), 0);
    EXPECT_FALSE(IsWaitCursorShown());
    // Slowed down, the worker's delay before an open outlasts the five presses.
    SetClockSpeed(0.1);
    for (int i = 0; i < 5; ++i) Tap(ViewButton(kNext));
    ASSERT_TRUE(WaitForWindowThreadIdle(20000));
    SetClockSpeed(1);
    Settle(view);
    EXPECT_EQ(view.CurrentIndex(), m_first + 1);  // five steps round four photos
    EXPECT_LE(Occurrences(m_log.Text(), "Call CheckJPGCodec"), 1 + 2);
    for (int i = 0; i < 3 && view.CurrentIndex() != m_last; ++i) Press(view, kNext);
    Press(view, kNext);
    EXPECT_EQ(view.CurrentIndex(), m_first);
    Press(view, kPrev);
    EXPECT_EQ(view.CurrentIndex(), m_last);
    Press(view, kExit);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(m_shownLast, m_last);
  EXPECT_EQ(Occurrences(m_log.Text(), " thread exit!!"), 1);
  EXPECT_EQ(Occurrences(m_log.Text(), " OnButViewExit..."), 1);

  m_log.Clear();
  Run(m_first, [&](CPhotoViewDlg& view) {
    const int opens = Occurrences(m_log.Text(), "Call CheckJPGCodec");
    SetClockSpeed(0.1);
    Tap(ViewButton(kNext));
    while (!view.IsBusy()) Sleep(1);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 32, 0);
    while (Occurrences(m_log.Text(), " thread exit!!") == 0) Sleep(1);
    EXPECT_EQ(Occurrences(m_log.Text(), "Call CheckJPGCodec"), opens);
  });
}

TEST_F(PhotoViewTest, ALargePhotoOpensReducedAndAnUnreadableOneShowsTheDamagedPicture) {
  Put("big.jpg", Picture{4000, 3000, std::vector<Rgb>(12000000, Rgb{255, 0, 0})});
  m_root.WriteFile("SDMMC/album/bad.jpg", "this is no photo");
  List();
  Run(2, [&](CPhotoViewDlg& view) {  // big.jpg
    // Opened at a third; the JPEG pipeline then finds both sides wrong and uses its own size.
    EXPECT_TRUE(m_log.Contains("1. JPG SW PrepareImage->Width :1333, Height:1000\r\n"));
    EXPECT_TRUE(m_log.Contains("m_Width, : 1450, m_Height : 1088\r\n"));
    EXPECT_TRUE(IsRed(400, 195));

    Press(view, kNext);  // of two photos, the other one
    ASSERT_EQ(view.CurrentIndex(), 1);  // bad.jpg
    EXPECT_EQ(view.ErrorState(), kPhotoDamaged);
    EXPECT_TRUE(m_log.Contains(" ImageOpen GetTickCount = "));
    // Picture 179 stretched to 350 x 350 at (204, 0) of the frame, black around it.
    EXPECT_NE(Pixel(22 + 204 + 175, 20 + 175), 0);
    EXPECT_EQ(Pixel(22 + 203, 195), 0);
    EXPECT_EQ(Pixel(22 + 204 + 350, 195), 0);

    // Nothing switches the layout, turns or zooms over the error picture.
    DoubleTap(kOverPhoto);
    Press(view, kRotate);
    Press(view, kZoomIn);
    EXPECT_FALSE(view.IsFullScreen());
    EXPECT_EQ(view.Geometry().m_ZoomLevel, kDefaultZoomLevel);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 2, 0);  // closes the program, not the view
    Settle(view);
    EXPECT_TRUE(Visible(CPhotoViewDlg::kExit));
  });
}

// A photo stored sideways turns, zooms and pans from where it stands upright, as an upright one does.
TEST_F(PhotoViewTest, TurnsOnceForTwoQuickPressesGoesBackToTheOriginalAndZoomedFollowsTheFinger) {
  Put("a.jpg", RedBlue(640, 480));
  Put("sideways.jpg", RedBlue(640, 480), 6);
  List();
  for (int index : {1, 2}) {  // a.jpg, sideways.jpg
    const INT_PTR result = Run(index, [&](CPhotoViewDlg& view) {
      // With the clock slowed down, the drawing that makes the view ready again is still
      // 100 ms away when the second press comes.
      SetClockSpeed(0.01);
      Tap(ViewButton(kRotate));
      Tap(ViewButton(kRotate));
      ASSERT_TRUE(WaitForWindowThreadIdle(20));
      SetClockSpeed(1);
      Settle(view);
      EXPECT_EQ(view.Geometry().m_Rotation, 1);
      // The left (red) half went down; 262 x 350 from x = 22 + 248.
      EXPECT_TRUE(IsBlue(401, 100) && IsRed(401, 300));
      EXPECT_EQ(Pixel(200, 195), 0);
      Press(view, kRotate);
      EXPECT_TRUE(IsBlue(250, 195));  // upside down
      Press(view, kZoomIn);
      Press(view, kOriginal);
      EXPECT_TRUE(view.Geometry().m_Rotation == 0 && view.Geometry().m_ZoomLevel == kDefaultZoomLevel);
      EXPECT_TRUE(IsRed(250, 195));

      // Zoomed, the photo follows the finger; a double tap switches to full screen.
      Press(view, kZoomIn);
      Press(view, kZoomIn);  // 400 %: 1380 x 1036, centred on the boundary of the halves
      // Touches over the picture frame reach the dialog: dragged left, the photo shows more of
      // its right half.
      PostTouch(TouchKind::Down, 400, 200);
      PostTouch(TouchKind::Move, 400, 200);
      PostTouch(TouchKind::Move, 300, 150);
      PostTouch(TouchKind::Up, 300, 150);
      Settle(view);
      EXPECT_TRUE(m_log.Contains("MouseDistance.x = -100 MouseDistance.y = -50\r\n"));
      EXPECT_TRUE(IsBlue(400, 195));

      // Two touches 400 ms apart are not a double tap.
      for (int i = 0; i < 2; ++i, Settle(view)) Sleep(400), Tap(kOverPhoto);
      EXPECT_FALSE(view.IsFullScreen());

      DoubleTap(kOverPhoto);
      Settle(view);
      ASSERT_TRUE(view.IsFullScreen());
      // 640 x 480 from x = 80 over black, at 100 %; the buttons and the frame are gone.
      EXPECT_TRUE(Pixel(79, 240) == 0 && IsRed(100, 240) && IsBlue(700, 240));
      EXPECT_FALSE(Visible(CPhotoViewDlg::kExit) || Visible(CPhotoViewDlg::kPictureFrame));

      DoubleTap(kOverPhoto);
      Settle(view);
      EXPECT_FALSE(view.IsFullScreen());
      EXPECT_TRUE(IsRed(250, 195) && IsBlue(550, 195));
      EXPECT_TRUE(Visible(CPhotoViewDlg::kExit) && Visible(CPhotoViewDlg::kPictureFrame));
      PostMessage(GetForegroundWindow(), kLauncherMessage, 20, 0);
    });
    EXPECT_EQ(result, kModalClosedByLauncher) << index;
  }
}

}  // namespace
