// The main page run modally on the test's (window) thread while a driver thread touches it
// and looks at the screen. What the screen must show is drawn afterwards with the skin's
// helpers in a plain window and compared pixel by pixel (thumbnails and the battery aside).
#include "browser/main_page_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <semaphore>
#include <thread>

#include "folders/folder_nav.h"
#include "platform/kernel/debug.h"
#include "tests/support/main_page_run.h"
#include "tests/support/screen.h"

namespace {

using namespace std::chrono_literals;

Screen Snapshot() { return Screen(GetShownFrame(), GetShownFrame() + kScreenWidth * kScreenHeight); }

Bytes Jpeg(int w, int h, const Bytes& exif = {}) { return MakeJpeg(Pattern(w, h), 95, exif); }

// What one cell must show: a folder's bracketed name, or one of these two.
const WString kPlaceholder = u"placeholder", kThumbnail = u"thumbnail";

struct ExpectedPage {
  WString title, counter;
  std::vector<WString> cells;
  int selected = -1;                  // cell with the selected frame
  std::vector<int> plainFrames = {};  // cells the selection left
};

// Draws the page as it must look and compares it with the frame, row 0 to 399 (the buttons
// below are windows of their own), leaving out the battery and thumbnails.
void ExpectScreen(const Screen& frame, const ExpectedPage& page, const std::string& what) {
  BackWindow window;
  SkinPixels background(skin::kMainBackground), folder(skin::kFolder), placeholder(skin::kPlaceholder),
      plain(skin::kCellFrame), selected(skin::kCellFrameSelected);
  BlitBitmap(&window, 0, 0, 0, 0, 0, 0, background.bitmap);
  WString title = page.title;
  FitBracketedText(&window, title, 500);
  DrawSkinText(&window, 15, 20, 520, 35, title, 0, RGB(255, 255, 255), 0, 33);
  DrawSkinText(&window, 630, 18, 90, 30, page.counter, 0, RGB(255, 255, 255), 0, 28);
  std::vector<RECT> skipped = {RECT{740, 15, 785, 43}};
  for (size_t c = 0; c < page.cells.size(); ++c) {
    RECT r = CMainPageDlg::OuterCell(static_cast<int>(c));
    if (page.cells[c] == kPlaceholder) {
      BlitStretched(&window, r.left + 3, r.top + 3, 160, 119, 0, 0, placeholder.bitmap);
    } else if (page.cells[c] == kThumbnail) {
      skipped.push_back(CMainPageDlg::InnerCell(static_cast<int>(c)));
    } else {
      BlitBitmap(&window, r.left, r.top, 0, 0, 0, 0, folder.bitmap);
      WString name = page.cells[c];
      FitBracketedText(&window, name, 90);
      DrawSkinText(&window, r.left + 2, r.bottom - 25, r.right - r.left - 2, 22, name, 1, RGB(255, 255, 255), 0, 20);
    }
  }
  for (int c : page.plainFrames) {  // cells that were selected before
    RECT r = CMainPageDlg::OuterCell(c);
    BlitTransparent(&window, r.left, r.top, selected.bitmap, kSkinTransparent);
    BlitTransparent(&window, r.left, r.top, plain.bitmap, kSkinTransparent);
  }
  if (page.selected >= 0) {
    RECT r = CMainPageDlg::OuterCell(page.selected);
    BlitTransparent(&window, r.left, r.top, selected.bitmap, kSkinTransparent);
  }
  Screen expected = Snapshot();
  for (const RECT& r : skipped)
    for (int y = r.top; y < r.bottom; ++y)
      std::copy_n(&frame[y * kScreenWidth + r.left], r.right - r.left, &expected[y * kScreenWidth + r.left]);
  const long at = std::mismatch(frame.begin(), frame.begin() + 400 * kScreenWidth, expected.begin()).first - frame.begin();
  EXPECT_EQ(at, 400 * kScreenWidth) << what << ": first wrong pixel at " << at % kScreenWidth << "," << at / kScreenWidth;
}

void TapCell(int cell) { Tap(CellCentre(cell)); }
// Both taps are queued together, so they are handled well within 400 ms of each other.
void DoubleTapCell(int cell) { TapCell(cell), TapCell(cell); }
void Press(int buttonX) { Tap(buttonX + 50, 432); }
constexpr int kFolderUpX = 35, kPrevX = 285, kNextX = 410, kExitX = 660;

void Settle(const CMainPageDlg& page) { ASSERT_TRUE(PageSettled(page)); }

Screen Settled(const CMainPageDlg& page) {
  Settle(page);
  return Snapshot();
}

class MainPageTest : public ::testing::Test {
 protected:
  void Folder(const std::string& path) const { std::filesystem::create_directories(m_Root.Path() / "SDMMC" / path); }

  // Runs the page until drive has run and then the launcher has closed it (unless drive
  // closed it itself: close false); the page's result.
  INT_PTR Run(CMainPageDlg& page, const std::function<void()>& drive, bool close = true) {
    return RunMainPage(page, [&] {
      CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);  // no touch of an earlier test counts
      drive();
    }, close);
  }

  MainPageCard m_Card{0};
  TempDeviceRoot& m_Root = m_Card.root;
  DebugCapture m_Log;
};

// An empty card has no pages; a folder of over a thousand photos pages to its end.
TEST_F(MainPageTest, AnEmptyCardShowsNoCellsAndAThousandPhotosPageToTheirEnd) {
  std::optional<CMainPageDlg> page(std::in_place);
  Screen empty, last;
  Run(*page, [&] { empty = Snapshot(); });
  ExpectScreen(empty, {u"\\", u"1/0", {}}, "empty card");
  EXPECT_TRUE(m_Log.Contains(" m_EvThumbDecNew...prrocessing\r\n m_EvThumbDecPage...prrocessing\r\n"
                             "  ThumbDecThreads: m_CurPage = 0\r\n"));

  for (int i = 0; i < 1003; ++i) m_Root.WriteFile("SDMMC/p" + std::to_string(1000 + i) + ".jpg", "");
  page.emplace();
  Run(*page, [&] {
    for (int i = 0; i < 125; ++i) PostMessage(page->m_hWnd, WM_COMMAND, CMainPageDlg::kNextPage, 0);
    last = Settled(*page);
  });
  ExpectScreen(last, {u"\\", u"126/126", {kPlaceholder, kPlaceholder, kPlaceholder}, 0}, "last page");
}

// A folder shows its parent entry, its folders in reverse listing order, then its photos in
// listing order; eight entries make one page and twelve make two. Hidden by the launcher the
// page draws nothing, also when it turns; shown again it repaints all, and a whole repaint of
// a last page with fewer than eight cells has no selected frame. Folder up goes back.
TEST_F(MainPageTest, AFolderShowsParentFoldersAndPhotosInPagesOfEightAndAHiddenPageDrawsNothing) {
  for (const char* dir : {"A/1", "A/2", "A/3", "A/4", "A/5", "A/6", "A/7", "A/8", "B", "C", "D", "E", "F", "G", "H"})
    Folder(dir);
  m_Root.WriteFile("SDMMC/A/x.jpg", Jpeg(320, 240, ExifBlock(0, MakeJpeg(Pattern(80, 60)))));
  m_Root.WriteFile("SDMMC/A/y.jpg", Jpeg(320, 240));
  m_Root.WriteFile("SDMMC/A/z.jpg", "not a photo");
  CMainPageDlg page;
  Screen eight, opened, second, first, whileHidden, shownAgain, backUp;
  LONG pageAfterNext = -1;
  bool buttonsHidden = false, buttonsShown = false;
  Run(page, [&] {
    Press(kNextX);  // one page only: nothing happens
    eight = Settled(page);
    pageAfterNext = page.CurPage();
    DoubleTapCell(7);  // <A>: the parent entry, eight folders and three photos
    opened = Settled(page);
    Press(kNextX);
    second = Settled(page);
    Press(kPrevX);
    first = Settled(page);
    SendMessage(page.m_hWnd, kLauncherMessage, 10, 0);
    buttonsHidden = !IsWindowVisible(GetDlgItem(page.m_hWnd, CMainPageDlg::kNextPage));
    PostMessage(page.m_hWnd, WM_COMMAND, CMainPageDlg::kNextPage, 0);
    whileHidden = Settled(page);
    SendMessage(page.m_hWnd, kLauncherMessage, 8, 0);
    buttonsShown = IsWindowVisible(GetDlgItem(page.m_hWnd, CMainPageDlg::kNextPage));
    shownAgain = Settled(page);
    Press(kFolderUpX);
    backUp = Settled(page);
  });
  EXPECT_EQ(pageAfterNext, 0);
  const std::vector<WString> top = {u"<H>", u"<G>", u"<F>", u"<E>", u"<D>", u"<C>", u"<B>", u"<A>"};
  ExpectScreen(eight, {u"\\", u"1/1", top, 0}, "eight");
  const std::vector<WString> inA = {u"<..>", u"<8>", u"<7>", u"<6>", u"<5>", u"<4>", u"<3>", u"<2>"};
  const std::vector<WString> inA2 = {u"<1>", kThumbnail, kThumbnail, kPlaceholder};
  ExpectScreen(opened, {u"A", u"1/2", inA, 0}, "A, first page");
  ExpectScreen(second, {u"A", u"2/2", inA2, 0}, "A, second page");
  ExpectScreen(first, {u"A", u"1/2", inA, 0}, "back to the first page");
  EXPECT_TRUE(buttonsHidden && buttonsShown);
  EXPECT_TRUE(whileHidden == first) << "something was drawn while hidden";
  ExpectScreen(shownAgain, {u"A", u"2/2", inA2}, "shown again on the second page");
  ExpectScreen(backUp, {u"\\", u"1/1", top, 0}, "back up");
  // Only the photo without a thumbnail of its own was made and stored.
  EXPECT_EQ(TheThumbIndex().Entries(), (std::vector<WString>{u"\\SDMMC\\A\\y.jpg"}));
  EXPECT_TRUE(m_Root.Exists("NAND/_Thumbnails/0"));
}

TEST_F(MainPageTest, ASecondTouchWithin400msOpensAndLaterOnlySelects) {
  for (const char* dir : {"A", "B", "C"}) Folder(dir);
  CMainPageDlg page;
  Screen selected;
  WString afterSlowTouch, afterQuickTouch;
  Run(page, [&] {
    SetClockSpeed(1e-9);  // the device clock stands still while the touches are handled
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);
    ASSERT_TRUE(TapHandled(CellCentre(1)));
    selected = Snapshot();
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 400);
    ASSERT_TRUE(TapHandled(CellCentre(2)));
    afterSlowTouch = page.CurrentFolder();
    EXPECT_EQ(page.SelectedIndex(), 2);
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 399);
    ASSERT_TRUE(TapHandled(CellCentre(0)));  // not the selected cell, and still opened
    afterQuickTouch = page.CurrentFolder();
    SetClockSpeed(1.0);
    Settle(page);
    Tap(400, 30);   // outside every cell
    Tap(198, 215);  // cell 0's bottom right corner belongs to it
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
  });
  ExpectScreen(selected, {u"\\", u"1/1", {u"<C>", u"<B>", u"<A>"}, 1, {0}}, "selection");
  EXPECT_EQ(afterSlowTouch, u"\\SDMMC\\");
  EXPECT_EQ(afterQuickTouch, u"\\SDMMC\\C\\");
  EXPECT_TRUE(m_Log.Contains("index = 1\r\nindex = 2\r\nindex = 0\r\n"));
  EXPECT_TRUE(m_Log.Contains("index = -1\r\nindex = 0\r\n"));
}

// A list whose MakeThumb, once at the index the gate is set to, waits until the test opens it.
class GatedList : public CPhotoList {
 public:
  using CPhotoList::CPhotoList;
  void MakeThumb(int i) override {
    if (int gate = i; i >= 0 && gateAt.compare_exchange_strong(gate, -1)) reached.release(), opened.acquire();
    CPhotoList::MakeThumb(i);
  }
  std::atomic<int> gateAt = -1;
  std::binary_semaphore reached{0}, opened{0};
};

// A page on a gated list that counts the ticks of its whole-repaint timer.
class GatedPage : public CMainPageDlg {
 public:
  GatedList* m_pList = nullptr;
  std::atomic<int> m_RepaintTicks = 0;
  void OnTimer(UINT_PTR id) override {
    if (id == 7) ++m_RepaintTicks;
    CMainPageDlg::OnTimer(id);
  }

 protected:
  CPhotoList* NewPhotoList() override { return m_pList = new GatedList(this); }
};

TEST_F(MainPageTest, RefillsRacingPaintsLeaveAConsistentPage) {
  Folder("Sub/Inner");
  for (int i = 0; i < 10; ++i) m_Root.WriteFile("SDMMC/Sub/p" + std::to_string(i) + ".jpg", Jpeg(64, 48));
  CMainPageDlg page;
  Screen last;
  Run(page, [&] {
    std::atomic<bool> done = false;
    std::thread painter([&] {
      while (!done) {
        InvalidateRect(page.m_hWnd, nullptr, FALSE);
        std::this_thread::sleep_for(100us);
      }
    });
    for (int round = 0; round < 20; ++round) {
      DoubleTapCell(0);  // into Sub, when the page is done; ignored otherwise
      ASSERT_TRUE(WaitForWindowThreadIdle(60000));
      Press(kFolderUpX);  // up whenever Sub is listed, while its page is in progress
      ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    }
    done = true;
    painter.join();
    Settle(page);
    if (page.CurrentFolder() != kCardFolder) {
      Press(kFolderUpX);
      Settle(page);
    }
    SendMessage(page.m_hWnd, kLauncherMessage, 8, 0);  // a whole repaint
    last = Settled(page);
  });
  EXPECT_EQ(page.EntryCount(), 1);
  // A whole repaint of a page with fewer than eight cells draws no selected frame.
  ExpectScreen(last, {u"\\", u"1/1", {u"<Sub>"}}, "back at the top");
}

// Settle, also past a 1 ms timer that was not due yet when the window thread went idle.
void SettlePastTimers(const CMainPageDlg& page) {
  Settle(page);
  Sleep(5);
  Settle(page);
}

constexpr int kInfoX = 535;
constexpr int kInfoExitX = 735, kInfoExitY = 433;

// The thread is held on the first thumbnail of page 2 while the user asks for the information
// and turns on to page 3; information opens only for a photo on a finished page.
TEST_F(MainPageTest, TurningPagesQuicklyAbortsThePageInProgressAndInformationWaitsForAFinishedPage) {
  Folder("A");
  for (int i = 0; i < 23; ++i) m_Root.WriteFile("SDMMC/p" + std::to_string(10 + i) + ".jpg", Jpeg(64, 48));
  GatedPage page;
  std::vector<bool> opened;  // whether information opened: on a folder, while working, on a photo
  Screen before, after;
  std::vector<bool> needThumb;
  Run(page, [&] {
    Press(kInfoX);  // the folder <A> is selected
    Settle(page);
    opened.push_back(GetForegroundWindow() != page.m_hWnd);

    page.m_pList->gateAt = 8;
    Press(kNextX);
    page.m_pList->reached.acquire();  // the thread is making the first thumbnail of page 2
    Press(kInfoX);
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    opened.push_back(GetForegroundWindow() != page.m_hWnd);
    Press(kNextX);
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    page.m_pList->opened.release();
    before = Settled(page);
    for (int i = 0; i < 24; ++i) needThumb.push_back(page.PhotoList()->NeedsThumb(i));
    Press(kInfoX);
    SettlePastTimers(page);
    opened.push_back(GetForegroundWindow() != page.m_hWnd);
    Tap(kInfoExitX, kInfoExitY);
    SettlePastTimers(page);
    after = Snapshot();
  });
  ASSERT_EQ(needThumb.size(), 24u);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(needThumb[i], i >= 9 && i < 16) << i;  // left when the user turned on
  ExpectScreen(before, {u"\\", u"3/3", std::vector<WString>(8, kThumbnail), 0}, "third page");
  const std::string log = m_Log.Text();
  const size_t second = log.find("  ThumbDecThreads: m_CurPage = 1\r\n");
  EXPECT_NE(second, std::string::npos);
  EXPECT_GT(log.find("  ThumbDecThreads: m_CurPage = 2\r\n"), second);
  EXPECT_EQ(log.find("  ThumbDecThreads: m_CurPage = 1\r\n", second + 1), std::string::npos);
  EXPECT_EQ(opened, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(page.m_RepaintTicks, 1);  // one whole repaint, then the timer stops
  EXPECT_TRUE(after == before) << "the page is not what it was before the information";
}

// The launcher's closing codes, the exit button, and the launcher closing the information
// dialog in front of the page: each stops the thumbnail thread before the page ends.
TEST_F(MainPageTest, EveryWayOfClosingStopsTheThreadBeforeThePageEnds) {
  m_Root.WriteFile("SDMMC/p.jpg", Jpeg(64, 48));
  const auto code = [](WPARAM c) { return [c](CMainPageDlg& page) { PostMessage(page.m_hWnd, kLauncherMessage, c, 0); }; };
  const std::function<void(CMainPageDlg&)> closings[] = {
      code(20), code(32), code(34), [](CMainPageDlg&) { Press(kExitX); },
      [](CMainPageDlg& page) {
        Press(kInfoX);
        SettlePastTimers(page);
        PostMessage(GetForegroundWindow(), kLauncherMessage, 34, 0);
      }};
  for (const auto& close : closings) {
    m_Log.Clear();
    CMainPageDlg page;
    EXPECT_EQ(Run(page, [&] { close(page); }, false), IDOK);
    EXPECT_TRUE(m_Log.Contains(" ..............ThumbDecThreads exit\r\n"));
  }
}

}  // namespace
