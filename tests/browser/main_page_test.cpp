// The main page run modally on the test's (window) thread while a driver thread touches it
// and looks at the screen. What the screen must show is drawn afterwards with the skin's
// helpers in a plain window and compared pixel by pixel (thumbnails and the battery aside).
#include "browser/main_page_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <thread>

#include "app/launcher.h"
#include "folders/folder_nav.h"
#include "platform/kernel/debug.h"
#include "res/resources.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/support/screen.h"
#include "tests/support/temp_root.h"
#include "thumbs/thumb_index.h"

namespace {

using Frame = std::vector<WORD>;
using namespace std::chrono_literals;

Frame Snapshot() { return Frame(GetShownFrame(), GetShownFrame() + kScreenWidth * kScreenHeight); }

std::string Jpeg(int w, int h, const Bytes& exif = {}) {
  Bytes bytes = MakeJpeg(Pattern(w, h), 95, exif);
  return std::string(bytes.begin(), bytes.end());
}

// What one cell must show.
struct Cell {
  enum { Empty, Folder, Placeholder, Thumbnail } kind = Empty;
  WString name;
};
Cell FolderCell(const WString& name) { return {Cell::Folder, name}; }
const Cell kPlaceholder{Cell::Placeholder, u""};
const Cell kThumbnail{Cell::Thumbnail, u""};

struct ExpectedPage {
  ExpectedPage(WString t, WString n, std::vector<Cell> c, int s = -1, std::vector<int> p = {})
      : title(std::move(t)), counter(std::move(n)), cells(std::move(c)), selected(s), plainFrames(std::move(p)) {}
  WString title;
  WString counter;
  std::vector<Cell> cells;
  int selected;                  // cell with the selected frame
  std::vector<int> plainFrames;  // cells the selection left
};

// Draws the page as it must look and compares it with the frame, row 0 to 399 (the buttons
// below are windows of their own), leaving out the battery and thumbnails.
void ExpectScreen(const Frame& frame, const ExpectedPage& page, const std::string& what) {
  BackWindow window;
  CBitmap background, folder, placeholder, plain, selected;
  LoadSkinBitmap(background, skin::kMainBackground);
  LoadSkinBitmap(folder, skin::kFolder);
  LoadSkinBitmap(placeholder, skin::kPlaceholder);
  LoadSkinBitmap(plain, skin::kCellFrame);
  LoadSkinBitmap(selected, skin::kCellFrameSelected);
  BlitBitmap(&window, 0, 0, 0, 0, 0, 0, background);
  WString title = page.title;
  FitBracketedText(&window, title, 500);
  DrawSkinText(&window, 15, 20, 520, 35, title, 0, RGB(255, 255, 255), 0, 33);
  DrawSkinText(&window, 630, 18, 90, 30, page.counter, 0, RGB(255, 255, 255), 0, 28);
  std::vector<RECT> skipped = {RECT{740, 15, 785, 43}};
  for (size_t c = 0; c < page.cells.size(); ++c) {
    RECT r = CMainPageDlg::OuterCell(static_cast<int>(c));
    if (page.cells[c].kind == Cell::Folder) {
      BlitBitmap(&window, r.left, r.top, 0, 0, 0, 0, folder);
      WString name = page.cells[c].name;
      FitBracketedText(&window, name, 90);
      DrawSkinText(&window, r.left + 2, r.bottom - 25, r.right - r.left - 2, 22, name, 1, RGB(255, 255, 255), 0, 20);
    } else if (page.cells[c].kind == Cell::Placeholder) {
      BlitStretched(&window, r.left + 3, r.top + 3, 160, 119, 0, 0, placeholder);
    } else if (page.cells[c].kind == Cell::Thumbnail) {
      skipped.push_back(CMainPageDlg::InnerCell(static_cast<int>(c)));
    }
  }
  for (int c : page.plainFrames) {  // cells that were selected before
    RECT r = CMainPageDlg::OuterCell(c);
    BlitTransparent(&window, r.left, r.top, selected, kSkinTransparent);
    BlitTransparent(&window, r.left, r.top, plain, kSkinTransparent);
  }
  if (page.selected >= 0) {
    RECT r = CMainPageDlg::OuterCell(page.selected);
    BlitTransparent(&window, r.left, r.top, selected, kSkinTransparent);
  }
  Frame expected = Snapshot();

  int wrong = 0, firstX = -1, firstY = -1;
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < kScreenWidth; ++x) {
      POINT p{x, y};
      if (std::any_of(skipped.begin(), skipped.end(), [&](const RECT& r) { return PtInRect(&r, p); })) continue;
      if (frame[y * kScreenWidth + x] != expected[y * kScreenWidth + x] && wrong++ == 0) {
        firstX = x;
        firstY = y;
      }
    }
  }
  EXPECT_EQ(wrong, 0) << what << ": first wrong pixel at " << firstX << "," << firstY;
}

POINT CellCentre(int cell) {
  RECT r = CMainPageDlg::OuterCell(cell);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}
void TapCell(int cell) { Tap(CellCentre(cell)); }
// Both taps are queued together, so they are handled well within 400 ms of each other.
void DoubleTapCell(int cell) {
  TapCell(cell);
  TapCell(cell);
}
void Press(int buttonX) { Tap(buttonX + 50, 432); }
constexpr int kFolderUpX = 35, kPrevX = 285, kNextX = 410, kExitX = 660;

// Waits until the thumbnail thread has nothing to do and the window has painted it all.
void Settle(const CMainPageDlg& page) {
  for (;;) {
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    if (page.IsThumbThreadIdle()) {
      ASSERT_TRUE(WaitForWindowThreadIdle(60000));
      if (page.IsThumbThreadIdle()) return;
    }
    std::this_thread::sleep_for(1ms);
  }
}

class MainPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallResources();
    TheThumbIndex() = CThumbIndex();
    m_Root.ListInNameOrder();
  }
  void TearDown() override {
    SetClockSpeed(1.0);
    TheThumbIndex() = CThumbIndex();
  }
  void Folder(const std::string& path) const { std::filesystem::create_directories(m_Root.Path() / "SDMMC" / path); }

  // Runs the page until drive has run and the launcher's code 2 has closed it.
  void Run(CMainPageDlg& page, const std::function<void()>& drive) {
    std::thread driver([&] {
      while (!FindWindowW(nullptr, u"photo")) std::this_thread::sleep_for(1ms);
      Settle(page);
      CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);  // no touch of an earlier test counts
      drive();
      PostMessage(page.m_hWnd, kLauncherMessage, 2, 0);
    });
    page.DoModal();
    driver.join();
  }

  TempDeviceRoot m_Root;
  DebugCapture m_Log;
};

TEST_F(MainPageTest, AnEmptyCardShowsTheTopTitleAndNoCells) {
  CMainPageDlg page;
  Frame shown;
  Run(page, [&] { shown = Snapshot(); });
  ExpectScreen(shown, {u"\\", u"1/0", {}}, "empty card");
  EXPECT_TRUE(m_Log.Contains(" m_EvThumbDecNew...prrocessing\r\n m_EvThumbDecPage...prrocessing\r\n"
                             "  ThumbDecThreads: m_CurPage = 0\r\n"));
  EXPECT_NE(m_Log.Text().find(" ..............ThumbDecThreads exit\r\n"), std::string::npos);
}

TEST_F(MainPageTest, AFolderShowsParentFoldersAndPhotosInListingOrder) {
  for (const char* dir : {"Trips/A", "Trips/B", "Trips/C"}) Folder(dir);
  m_Root.WriteFile("SDMMC/Trips/x.jpg", Jpeg(320, 240, ExifBlock(0, MakeJpeg(Pattern(80, 60)))));
  m_Root.WriteFile("SDMMC/Trips/y.jpg", Jpeg(320, 240));
  m_Root.WriteFile("SDMMC/Trips/z.jpg", "not a photo");
  CMainPageDlg page;
  Frame top, trips, backUp;
  Run(page, [&] {
    top = Snapshot();
    DoubleTapCell(0);
    Settle(page);
    trips = Snapshot();
    Press(kFolderUpX);
    Settle(page);
    backUp = Snapshot();
  });
  ExpectScreen(top, {u"\\", u"1/1", {FolderCell(u"<Trips>")}, 0}, "top");
  ExpectScreen(trips,
               {u"Trips",
                u"1/1",
                {FolderCell(u"<..>"), FolderCell(u"<C>"), FolderCell(u"<B>"), FolderCell(u"<A>"), kThumbnail,
                 kThumbnail, kPlaceholder},
                0},
               "Trips");
  ExpectScreen(backUp, {u"\\", u"1/1", {FolderCell(u"<Trips>")}, 0}, "back up");
  // Only the photo without a thumbnail of its own was made and stored.
  EXPECT_EQ(TheThumbIndex().Entries(), (std::vector<WString>{u"\\SDMMC\\Trips\\y.jpg"}));
  EXPECT_TRUE(m_Root.Exists("NAND/_Thumbnails/0"));
}

TEST_F(MainPageTest, EightEntriesMakeOnePageAndNineMakeTwo) {
  for (const char* dir : {"A/1", "A/2", "A/3", "A/4", "A/5", "A/6", "A/7", "A/8", "B", "C", "D", "E", "F", "G", "H"})
    Folder(dir);
  CMainPageDlg page;
  Frame eight, nine, second, first;
  LONG pageAfterNext = -1;
  Run(page, [&] {
    Press(kNextX);  // one page only: nothing happens
    Settle(page);
    pageAfterNext = page.CurPage();
    eight = Snapshot();
    DoubleTapCell(7);  // <A>: the parent entry and eight folders
    Settle(page);
    nine = Snapshot();
    Press(kNextX);
    Settle(page);
    second = Snapshot();
    Press(kPrevX);
    Settle(page);
    first = Snapshot();
  });
  EXPECT_EQ(pageAfterNext, 0);
  std::vector<Cell> top;
  for (const char16_t* name : {u"<H>", u"<G>", u"<F>", u"<E>", u"<D>", u"<C>", u"<B>", u"<A>"})
    top.push_back(FolderCell(name));
  ExpectScreen(eight, {u"\\", u"1/1", top, 0}, "eight");
  std::vector<Cell> inA = {FolderCell(u"<..>")};
  for (const char16_t* name : {u"<8>", u"<7>", u"<6>", u"<5>", u"<4>", u"<3>", u"<2>"}) inA.push_back(FolderCell(name));
  ExpectScreen(nine, {u"A", u"1/2", inA, 0}, "nine, first page");
  ExpectScreen(second, {u"A", u"2/2", {FolderCell(u"<1>")}, 0}, "nine, second page");
  ExpectScreen(first, {u"A", u"1/2", inA, 0}, "back to the first page");
}

TEST_F(MainPageTest, ASecondTouchWithin400msOpensAndLaterOnlySelects) {
  for (const char* dir : {"A", "B", "C"}) Folder(dir);
  CMainPageDlg page;
  Frame selected;
  WString afterSlowTouch, afterQuickTouch;
  Run(page, [&] {
    SetClockSpeed(1e-9);  // the device clock stands still while the touches are handled
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 1000);
    TapCell(1);
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    selected = Snapshot();
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 400);
    TapCell(2);
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    afterSlowTouch = page.CurrentFolder();
    EXPECT_EQ(page.SelectedIndex(), 2);
    CMainPageDlg::SetLastSelectingTouch(GetTickCount() - 399);
    TapCell(0);  // not the selected cell, and still opened
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    afterQuickTouch = page.CurrentFolder();
    SetClockSpeed(1.0);
    Settle(page);
    Tap(400, 30);   // outside every cell
    Tap(198, 215);  // cell 0's bottom right corner belongs to it
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
  });
  ExpectScreen(selected,
               {u"\\", u"1/1", {FolderCell(u"<C>"), FolderCell(u"<B>"), FolderCell(u"<A>")}, 1, {0}}, "selection");
  EXPECT_EQ(afterSlowTouch, u"\\SDMMC\\");
  EXPECT_EQ(afterQuickTouch, u"\\SDMMC\\C\\");
  EXPECT_TRUE(m_Log.Contains("index = 1\r\nindex = 2\r\nindex = 0\r\n"));
  EXPECT_TRUE(m_Log.Contains("index = -1\r\nindex = 0\r\n"));
}

// A list whose MakeThumb waits at one index until the test lets it go on.
class GatedList : public CPhotoList {
 public:
  using CPhotoList::CPhotoList;
  void MakeThumb(int i) override {
    {
      std::unique_lock lock(m_Lock);
      if (i == m_GateAt) {
        m_Reached = true;
        m_Changed.notify_all();
        m_Changed.wait(lock, [&] { return m_GateAt < 0; });
      }
    }
    CPhotoList::MakeThumb(i);
  }
  void Close(int i) {
    std::lock_guard lock(m_Lock);
    m_GateAt = i;
  }
  void WaitUntilReached() {
    std::unique_lock lock(m_Lock);
    m_Changed.wait(lock, [&] { return m_Reached; });
  }
  void Open() {
    std::lock_guard lock(m_Lock);
    m_GateAt = -1;
    m_Changed.notify_all();
  }

 private:
  std::mutex m_Lock;
  std::condition_variable m_Changed;
  int m_GateAt = -1;
  bool m_Reached = false;
};

class GatedPage : public CMainPageDlg {
 public:
  GatedList* m_pList = nullptr;

 protected:
  CPhotoList* NewPhotoList() override { return m_pList = new GatedList(this); }
};

TEST_F(MainPageTest, TurningPagesQuicklyAbortsThePageInProgress) {
  for (int i = 0; i < 24; ++i) m_Root.WriteFile("SDMMC/p" + std::to_string(10 + i) + ".jpg", Jpeg(64, 48));
  GatedPage page;
  Frame last;
  std::vector<bool> needThumb;
  Run(page, [&] {
    page.m_pList->Close(8);
    Press(kNextX);
    page.m_pList->WaitUntilReached();  // the thread is making the first thumbnail of page 2
    Press(kNextX);
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    page.m_pList->Open();
    Settle(page);
    last = Snapshot();
    for (int i = 0; i < 24; ++i) needThumb.push_back(page.PhotoList()->NeedsThumb(i));
  });
  std::vector<bool> expected(24, false);
  for (int i = 9; i < 16; ++i) expected[i] = true;  // left when the user turned on
  EXPECT_EQ(needThumb, expected);
  ExpectScreen(last, {u"\\", u"3/3", std::vector<Cell>(8, kThumbnail), 0}, "third page");
  std::string log = m_Log.Text();
  size_t second = log.find("  ThumbDecThreads: m_CurPage = 1\r\n");
  EXPECT_NE(second, std::string::npos);
  EXPECT_GT(log.find("  ThumbDecThreads: m_CurPage = 2\r\n"), second);
  EXPECT_EQ(log.find("  ThumbDecThreads: m_CurPage = 1\r\n", second + 1), std::string::npos);
}

TEST_F(MainPageTest, HiddenByTheLauncherItDrawsNothingAndShownItRepaintsAll) {
  for (char c = 'A'; c <= 'I'; ++c) Folder(std::string(1, c));
  CMainPageDlg page;
  Frame beforeHiding, whileHidden, shownAgain;
  bool buttonsHidden = false, buttonsShown = false;
  Run(page, [&] {
    beforeHiding = Snapshot();
    SendMessage(page.m_hWnd, kLauncherMessage, 10, 0);
    buttonsHidden = !IsWindowVisible(GetDlgItem(page.m_hWnd, CMainPageDlg::kNextPage));
    PostMessage(page.m_hWnd, WM_COMMAND, CMainPageDlg::kNextPage, 0);
    Settle(page);
    whileHidden = Snapshot();
    SendMessage(page.m_hWnd, kLauncherMessage, 8, 0);
    buttonsShown = IsWindowVisible(GetDlgItem(page.m_hWnd, CMainPageDlg::kNextPage));
    Settle(page);
    shownAgain = Snapshot();
  });
  EXPECT_TRUE(buttonsHidden);
  EXPECT_TRUE(buttonsShown);
  EXPECT_TRUE(whileHidden == beforeHiding) << "something was drawn while hidden";
  // A whole repaint of a last page with fewer than eight cells draws no selected frame.
  ExpectScreen(shownAgain, {u"\\", u"2/2", {FolderCell(u"<A>")}}, "shown again on the second page");
}

TEST_F(MainPageTest, EveryClosingCodeStopsTheThreadBeforeThePageEnds) {
  for (WPARAM code : {20, 32, 34}) {
    CMainPageDlg page;
    std::thread driver([&] {
      while (!FindWindowW(nullptr, u"photo")) std::this_thread::sleep_for(1ms);
      Settle(page);
      PostMessage(page.m_hWnd, kLauncherMessage, code, 0);
    });
    EXPECT_EQ(page.DoModal(), IDOK);
    driver.join();
  }
  std::string log = m_Log.Text();
  size_t exits = 0;
  for (size_t at = log.find("ThumbDecThreads exit"); at != std::string::npos; at = log.find("ThumbDecThreads exit", at + 1))
    ++exits;
  EXPECT_EQ(exits, 3u);
  // The exit button does the same.
  CMainPageDlg page;
  std::thread driver([&] {
    while (!FindWindowW(nullptr, u"photo")) std::this_thread::sleep_for(1ms);
    Settle(page);
    Press(kExitX);
  });
  EXPECT_EQ(page.DoModal(), IDOK);
  driver.join();
}

TEST_F(MainPageTest, AFolderOfOverAThousandPhotosPagesToItsEnd) {
  for (int i = 0; i < 1003; ++i) m_Root.WriteFile("SDMMC/p" + std::to_string(1000 + i) + ".jpg", "");
  CMainPageDlg page;
  Frame last;
  Run(page, [&] {
    for (int i = 0; i < 125; ++i) PostMessage(page.m_hWnd, WM_COMMAND, CMainPageDlg::kNextPage, 0);
    Settle(page);
    last = Snapshot();
  });
  ExpectScreen(last, {u"\\", u"126/126", {kPlaceholder, kPlaceholder, kPlaceholder}, 0}, "last page");
}

TEST_F(MainPageTest, RefillsRacingPaintsLeaveAConsistentPage) {
  Folder("Sub/Inner");
  for (int i = 0; i < 10; ++i) m_Root.WriteFile("SDMMC/Sub/p" + std::to_string(i) + ".jpg", Jpeg(64, 48));
  CMainPageDlg page;
  Frame last;
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
    Settle(page);
    last = Snapshot();
  });
  EXPECT_EQ(page.EntryCount(), 1);
  // A whole repaint of a page with fewer than eight cells draws no selected frame.
  ExpectScreen(last, {u"\\", u"1/1", {FolderCell(u"<Sub>")}}, "back at the top");
}

// A gated page that counts the ticks of its whole-repaint timer.
class CountingPage : public GatedPage {
 public:
  std::atomic<int> m_RepaintTicks = 0;
  void OnTimer(UINT_PTR id) override {
    if (id == 7) ++m_RepaintTicks;
    GatedPage::OnTimer(id);
  }
};

// Settle, also past a 1 ms timer that was not due yet when the window thread went idle.
void SettlePastTimers(const CMainPageDlg& page) {
  Settle(page);
  Sleep(5);
  Settle(page);
}

constexpr int kInfoX = 535;
constexpr int kInfoExitX = 735, kInfoExitY = 433;

TEST_F(MainPageTest, InformationOpensOnlyForAPhotoOnAFinishedPageAndThePageComesBackWhole) {
  Folder("A");
  for (int i = 0; i < 15; ++i) m_Root.WriteFile("SDMMC/p" + std::to_string(10 + i) + ".jpg", Jpeg(64, 48));
  CountingPage page;
  bool openedOnFolder = true, openedWhileWorking = true, openedOnPhoto = false;
  Frame before, after;
  Run(page, [&] {
    Press(kInfoX);  // the folder <A> is selected
    Settle(page);
    openedOnFolder = GetForegroundWindow() != page.m_hWnd;

    page.m_pList->Close(8);
    Press(kNextX);
    page.m_pList->WaitUntilReached();  // the thread works on page 2, whose first photo is selected
    Press(kInfoX);
    ASSERT_TRUE(WaitForWindowThreadIdle(60000));
    openedWhileWorking = GetForegroundWindow() != page.m_hWnd;
    page.m_pList->Open();
    Settle(page);

    before = Snapshot();
    Press(kInfoX);
    SettlePastTimers(page);
    openedOnPhoto = GetForegroundWindow() != page.m_hWnd;
    Tap(kInfoExitX, kInfoExitY);
    SettlePastTimers(page);
    after = Snapshot();
  });
  EXPECT_FALSE(openedOnFolder);
  EXPECT_FALSE(openedWhileWorking);
  EXPECT_TRUE(openedOnPhoto);
  EXPECT_TRUE(m_Log.Contains("2.rendRect(18,49,419,345)"));
  EXPECT_EQ(page.m_RepaintTicks, 1);  // one whole repaint, then the timer stops
  EXPECT_TRUE(after == before) << "the page is not what it was before the information";
}

TEST_F(MainPageTest, TheLauncherClosingTheInformationClosesThePage) {
  m_Root.WriteFile("SDMMC/p.jpg", Jpeg(64, 48));
  CMainPageDlg page;
  std::thread driver([&] {
    while (!FindWindowW(nullptr, u"photo")) std::this_thread::sleep_for(1ms);
    Settle(page);
    Press(kInfoX);
    SettlePastTimers(page);
    PostMessage(GetForegroundWindow(), kLauncherMessage, 34, 0);
  });
  EXPECT_EQ(page.DoModal(), IDOK);
  driver.join();
  EXPECT_TRUE(m_Log.Contains(" ..............ThumbDecThreads exit\r\n"));
}

}  // namespace
