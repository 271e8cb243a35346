#include "slideshow/sshow_dlg.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "app/launcher.h"
#include "browser/folder_nav.h"
#include "dialogs/volume_dlg.h"
#include "platform/device/framebuffer.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/wide.h"
#include "platform/storage/files.h"
#include "res/resources.h"
#include "skin/skin.h"
#include "slideshow/music_bookmark.h"
#include "store/parm_file.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/platform/media/media_files.h"
#include "tests/support/temp_root.h"

namespace {

// Device time runs fast; slower under the sanitizers, whose delays the speed multiplies.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr double kSpeed = 5;
#else
constexpr double kSpeed = 20;
#endif
// Device ms a step of the show may come late: the host's latencies, multiplied by the speed
// (and by ThreadSanitizer's slowness). Well below a picture's 3 seconds.
constexpr DWORD kSlack = 1000;
constexpr auto kGiveUp = std::chrono::seconds(60);

// What the slideshow did, in device time.
struct Happening {
  enum Kind { Shown, EffectStart, EffectEnd } kind;
  DWORD tick;
  int value;       // the entry shown, or the effect
  int result = 0;  // an effect's result
};

// The slideshow, telling what it does as it does it. Effects only run when asked for, so that
// the rest of the tests need not wait for them.
class TestShow : public CSshowDlg {
 public:
  using CSshowDlg::CSshowDlg;
  bool realEffects = false;
  std::function<void()> onShown;  // window thread, after the picture was drawn
  std::vector<WORD> frameAfterEffect;  // as the first effect left it

  std::vector<Happening> Log() {
    std::lock_guard guard(m_lock);
    return m_log;
  }
  std::vector<Happening> Of(Happening::Kind kind) {
    std::vector<Happening> out;
    for (const Happening& h : Log())
      if (h.kind == kind) out.push_back(h);
    return out;
  }
  // Waits (host time, bounded) until the log holds `count` happenings of the kind.
  Happening WaitFor(Happening::Kind kind, size_t count) {
    std::unique_lock guard(m_lock);
    auto have = [&] { return std::count_if(m_log.begin(), m_log.end(), [&](auto& h) { return h.kind == kind; }); };
    EXPECT_TRUE(m_changed.wait_for(guard, kGiveUp, [&] { return static_cast<size_t>(have()) >= count; }))
        << "waited for " << count << " of kind " << kind;
    Happening last{kind, 0, -1};
    size_t seen = 0;
    for (const Happening& h : m_log)
      if (h.kind == kind && ++seen <= count) last = h;
    return last;
  }

 protected:
  void OnPictureShown() override {
    Add({Happening::Shown, GetTickCount(), ShownIndex()});
    if (onShown) onShown();
  }
  int RunTransition(int effect) override {
    Add({Happening::EffectStart, GetTickCount(), effect});
    const int result = realEffects ? CSshowDlg::RunTransition(effect) : 0;
    if (realEffects && frameAfterEffect.empty()) frameAfterEffect.assign(GetVisibleFrame(), GetVisibleFrame() + kScreenWidth * kScreenHeight);
    Add({Happening::EffectEnd, GetTickCount(), effect, result});
    return result;
  }

 private:
  void Add(const Happening& h) {
    std::lock_guard guard(m_lock);
    m_log.push_back(h);
    m_changed.notify_all();
  }
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Happening> m_log;
};

WORD Pixel(int x, int y) { return GetVisibleFrame()[y * kScreenWidth + x]; }

// The main page's stand-in behind the slideshow. It also copies the screen on the window
// thread for a driver thread, so that the copy is ordered with the window thread's drawing.
struct PageWindow : WindowHandler {
  static constexpr UINT kCopyScreen = WM_USER + 1;
  HWND hwnd = nullptr;
  std::vector<WORD> copy;
  PageWindow() {
    hwnd = CreateWindowObject(WindowKind::Plain, nullptr, RECT{0, 0, 800, 480}, u"", 0, this);
    ShowWindow(hwnd, SW_SHOW);
    ValidateRect(hwnd, nullptr);
  }
  ~PageWindow() override { ::DestroyWindow(hwnd); }
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != kCopyScreen) return DefWindowProc(window, message, wParam, lParam);
    copy.assign(GetVisibleFrame(), GetVisibleFrame() + kScreenWidth * kScreenHeight);
    return 0;
  }
  std::vector<WORD> CopyScreen() {
    SendMessage(hwnd, kCopyScreen, 0, 0);
    return copy;
  }
};

bool Near(WORD pixel, Rgb c) {
  const int r = (pixel >> 11) << 3, g = ((pixel >> 5) & 63) << 2, b = (pixel & 31) << 3;
  return std::abs(r - c.r) < 24 && std::abs(g - c.g) < 24 && std::abs(b - c.b) < 24;
}

void DoubleTap() {
  PostTouch(TouchKind::Down, 400, 200);
  PostTouch(TouchKind::Up, 400, 200);
  PostTouch(TouchKind::Down, 400, 200);
  PostTouch(TouchKind::Up, 400, 200);
}
void Tap(int x, int y) {
  WaitForWindowThreadIdle(5000);
  PostTouch(TouchKind::Down, x, y);
  PostTouch(TouchKind::Up, x, y);
  WaitForWindowThreadIdle(5000);
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class Slideshow : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    InstallResources();
    SetClockSpeed(kSpeed);
    SetFindOrderForTests([](std::vector<std::string>& names) { std::sort(names.begin(), names.end()); });
    std::memset(GetVisibleFrame(), 0, kFrameBytes);
    // The main page stands behind the slideshow and keeps a window alive for the idle waits.
    m_page = std::make_unique<PageWindow>();
    m_decoder = std::make_unique<CImageDecoder>();
  }
  void TearDown() override {
    m_decoder.reset();
    m_page.reset();
    SetFindOrderForTests({});
    SetCardTakenOut(false);
    SetClockSpeed(1);
    CoUninitialize();
  }

  // A photo of one colour on the card.
  void Photo(const std::string& path, Rgb colour, int width = 200, int height = 100) {
    const Bytes jpeg = MakeJpeg(Picture{width, height, std::vector<Rgb>(static_cast<size_t>(width) * height, colour)}, 95);
    m_root.WriteFile("SDMMC/" + path, std::string(jpeg.begin(), jpeg.end()));
  }
  void Track(const std::string& name, double seconds = 20) {
    ASSERT_EQ(EncodeAudioFile((m_root.Path() / "SDMMC" / name).string(), "wmav2", "asf", seconds, SteppedTone), "");
  }
  // The card's top folder listed as the main page lists it.
  void List() {
    m_list.Fill(u"\\SDMMC\\");
    ASSERT_TRUE(FindPhotoRange(m_list, m_first, m_last));
  }
  int IndexOf(const std::string& name) {
    for (int i = 0; i < m_list.GetCount(); ++i)
      if (m_list.GetName(i) == u"\\SDMMC\\" + FromUtf8(name)) return i;
    ADD_FAILURE() << name << " is not listed";
    return -1;
  }
  std::unique_ptr<TestShow> Show(int start) {
    return std::make_unique<TestShow>(&m_list, start, m_first, m_last, m_decoder.get());
  }

  // Runs the slideshow on this (the window) thread while `drive` runs on another; its result.
  INT_PTR Run(TestShow& show, const std::function<void(TestShow&)>& drive) {
    std::thread driver([&] {
      WaitForWindowThreadIdle(5000);
      drive(show);
    });
    const INT_PTR result = show.DoModal();
    driver.join();
    return result;
  }
  static void Close(TestShow& show, WPARAM code = 34) { PostMessage(show.m_hWnd, kLauncherMessage, code, 0); }

  TempDeviceRoot m_root;
  DebugCapture m_log;
  std::unique_ptr<PageWindow> m_page;
  CPhotoList m_list;
  int m_first = -1, m_last = -1;
  std::unique_ptr<CImageDecoder> m_decoder;
};

const Rgb kRed{220, 30, 30}, kGreen{30, 200, 30}, kBlue{30, 30, 220};

TEST_F(Slideshow, StartsAtTheFirstPhotoAndHoldsEachThreeSecondsWipedByTheEffectsInTurn) {
  m_root.WriteFile("SDMMC/folder/x.jpg", "");
  m_root.WriteFile("SDMMC/other/y.jpg", "");
  Photo("a.jpg", kRed);
  Photo("b.jpg", kGreen);
  Photo("c.jpg", kBlue);
  List();
  ASSERT_EQ(m_first, 2);
  auto show = Show(0);  // the first folder was selected
  std::vector<bool> fitted;
  show->onShown = [&] {
    // 200 x 100 fills the width: 800 x 400 from row 40, black above and below.
    fitted.push_back(Pixel(400, 39) == 0 && Pixel(400, 440) == 0 && !Near(Pixel(0, 40), Rgb{}) &&
                     !Near(Pixel(799, 439), Rgb{}));
  };
  const INT_PTR result = Run(*show, [&](TestShow& s) {
    s.WaitFor(Happening::EffectStart, 15);
    Close(s);
  });
  EXPECT_EQ(result, kModalClosedByLauncher);

  const auto shown = show->Of(Happening::Shown), effects = show->Of(Happening::EffectStart);
  ASSERT_GE(shown.size(), 15u);
  for (size_t i = 0; i < 15; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown[i].value, 2 + static_cast<int>(i % 3));  // a, b, c, a, ...
    EXPECT_EQ(effects[i].value, static_cast<int>(i % 13));     // 0 .. 12, then 0 again
    EXPECT_GE(effects[i].tick - shown[i].tick, 3000u);
    EXPECT_LT(effects[i].tick - shown[i].tick, 3000u + kSlack);
    EXPECT_TRUE(fitted[i]);
  }
}

TEST_F(Slideshow, PhotosThatCannotBeShownArePassedOverWithoutAPause) {
  Photo("a.jpg", kRed);
  Photo("b-gone.jpg", kGreen);
  m_root.WriteFile("SDMMC/c-noise.jpg", std::string(4000, 'x'));
  Bytes cut = MakeJpeg(Pattern(320, 240), 90, {}, false, true);
  cut.resize(cut.size() / 3);
  m_root.WriteFile("SDMMC/d-cut.jpg", std::string(cut.begin(), cut.end()));
  Photo("e.jpg", kBlue);
  List();
  std::filesystem::remove(m_root.Path() / "SDMMC" / "b-gone.jpg");  // listed, then gone

  auto show = Show(IndexOf("a.jpg"));
  Run(*show, [&](TestShow& s) {
    s.WaitFor(Happening::Shown, 4);
    Close(s);
  });
  const auto shown = show->Of(Happening::Shown), ends = show->Of(Happening::EffectEnd);
  ASSERT_GE(shown.size(), 4u);
  const int a = IndexOf("a.jpg"), e = IndexOf("e.jpg");
  EXPECT_EQ(shown[0].value, a);
  for (size_t i = 1; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown[i].value, i % 2 ? e : a);
    // Three entries lie in between; none of them was held.
    EXPECT_LT(shown[i].tick - ends[i - 1].tick, 3000u);
  }

  // A folder of nothing but such photos shows nothing, and still ends.
  std::filesystem::remove(m_root.Path() / "SDMMC" / "a.jpg");
  std::filesystem::remove(m_root.Path() / "SDMMC" / "e.jpg");
  List();
  auto empty = Show(0);
  EXPECT_EQ(Run(*empty, [](TestShow& s) { Close(s, 20); }), kModalClosedByLauncher);
  EXPECT_TRUE(empty->Of(Happening::Shown).empty());
}

TEST_F(Slideshow, ADoubleTapEndsTheEffectAtOnceAndTheVolumeDialogClosingItselfLetsTheShowGoOn) {
  Photo("a.jpg", kRed);
  Photo("b.jpg", kGreen);
  Photo("c.jpg", kBlue);
  List();
  auto show = Show(m_first);
  show->realEffects = true;
  DWORD tappedAt = 0, dialogUpAt = 0;
  std::vector<WORD> underDialog;
  HWND front = nullptr;
  Run(*show, [&](TestShow& s) {
    s.WaitFor(Happening::EffectStart, 1);
    Sleep(500);  // effect 0 wipes for about 2.5 seconds
    tappedAt = GetTickCount();
    DoubleTap();
    s.WaitFor(Happening::EffectEnd, 1);
    WaitForWindowThreadIdle(5000);
    dialogUpAt = GetTickCount();
    front = GetForegroundWindow();
    underDialog = m_page->CopyScreen();
    s.WaitFor(Happening::Shown, 2);
    s.WaitFor(Happening::EffectStart, 2);
    Close(s);
  });
  const auto shown = show->Of(Happening::Shown), starts = show->Of(Happening::EffectStart),
             ends = show->Of(Happening::EffectEnd);
  ASSERT_GE(ends.size(), 1u);
  EXPECT_EQ(ends[0].result, -1);
  EXPECT_LT(ends[0].tick - tappedAt, kSlack);  // the wipe had 2 seconds to go
  // The dialog is in front, the picture as the stopped effect left it around its controls.
  EXPECT_NE(front, show->m_hWnd);
  ASSERT_EQ(show->frameAfterEffect.size(), underDialog.size());
  EXPECT_TRUE(std::equal(underDialog.begin(), underDialog.begin() + 400 * kScreenWidth, show->frameAfterEffect.begin()));
  EXPECT_NE(underDialog[200 * kScreenWidth + 400], 0);  // the wipe had not come down to the middle
  {
    CBitmap bar;
    LoadSkinBitmap(bar, skin::kVolumeBar);
    int pitch = 0;
    const WORD* pixels = BitmapPixels(static_cast<HBITMAP>(bar.m_hObject), &pitch);
    EXPECT_EQ(underDialog[420 * kScreenWidth + 240], pixels[20 * pitch + 14]);
  }
  // 4 seconds later the dialog has gone and the next picture comes, then the next effect.
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(shown[1].value, m_first + 1);
  EXPECT_GE(shown[1].tick - tappedAt, 4000u);
  EXPECT_LT(shown[1].tick - dialogUpAt, 4000u + kSlack);
  ASSERT_GE(starts.size(), 2u);
  EXPECT_EQ(starts[1].value, 1);
}

TEST_F(Slideshow, TheVolumeDialogsBackButtonEndsTheShowAndTheNextShowResumesTheMusic) {
  Track("a.wma");
  Track("b.wma");
  Photo("a.jpg", kRed);
  Photo("b.jpg", kGreen);
  List();
  auto show = Show(m_first);
  std::int64_t position = 0;
  const INT_PTR result = Run(*show, [&](TestShow& s) {
    s.WaitFor(Happening::Shown, 2);  // b, the last photo, is shown; a is loaded after it
    WaitForWindowThreadIdle(5000);
    DoubleTap();
    Tap(634, 428);  // ADD
    Tap(634, 428);
    s.Player().GetTimPos(&position);
    Tap(64, 428);  // EXIT
  });
  EXPECT_NE(result, kModalClosedByLauncher);
  EXPECT_NE(result, kVolumeTimedOut);
  EXPECT_EQ(show->Of(Happening::Shown).back().value, m_first + 1);
  EXPECT_EQ(show->CurrentIndex(), m_first);  // the picture after the last is the first
  EXPECT_EQ(Count(m_log.Text(), "CSshowDlg Exit...\r\n"), 1u);
  show.reset();

  auto next = Show(m_first);
  Run(*next, [&](TestShow& s) {
    s.WaitFor(Happening::Shown, 1);
    EXPECT_EQ(s.VolumeLevel(), 14);
    EXPECT_EQ(s.Player().GetVolume(), 14);
    EXPECT_EQ(s.Player().Getsts(), 2);
    std::int64_t resumed = 0;
    s.Player().GetTimPos(&resumed);
    EXPECT_GE(resumed, position);
    Close(s);
  });
}

TEST_F(Slideshow, TheLaunchersHideAndMessage52999PauseMusicAndPicturesUntilTheShowIsShownAgain) {
  Track("a.wma");
  Photo("a.jpg", kRed);
  Photo("b.jpg", kGreen);
  List();
  auto show = Show(m_first);
  Run(*show, [&](TestShow& s) {
    s.WaitFor(Happening::Shown, 1);
    for (auto [message, code] : {std::pair<UINT, WPARAM>{kLauncherMessage, 10}, {kHideMessage, 0}}) {
      SCOPED_TRACE(message);
      Sleep(1500);  // half-way through the picture's time: the next one has been loaded
      PostMessage(s.m_hWnd, message, code, 0);
      WaitForWindowThreadIdle(5000);
      EXPECT_TRUE(s.IsPaused());
      EXPECT_EQ(s.Player().Getsts(), 3);
      const size_t happenings = s.Log().size();
      const size_t shown = s.Of(Happening::Shown).size(), effects = s.Of(Happening::EffectStart).size();
      std::int64_t before = 0, after = 0;
      s.Player().GetTimPos(&before);
      Sleep(5000);  // longer than a picture is held
      s.Player().GetTimPos(&after);
      EXPECT_EQ(after, before);
      EXPECT_EQ(s.Log().size(), happenings);  // nothing shown, no effect
      PostMessage(s.m_hWnd, kLauncherMessage, kLauncherShow, 0);
      const Happening resumed = s.WaitFor(Happening::Shown, shown + 1);
      EXPECT_FALSE(s.IsPaused());
      EXPECT_EQ(s.Player().Getsts(), 2);
      EXPECT_GE(s.WaitFor(Happening::EffectStart, effects + 1).tick - resumed.tick, 3000u);
      s.WaitFor(Happening::Shown, shown + 2);
    }
    Close(s);
  });
}

TEST_F(Slideshow, ACloseRequestEndsEverythingWith34AndTheBookmarkIsSavedOnlyWithTheCardIn) {
  Track("a.wma");
  Photo("a.jpg", kRed);
  List();
  for (WPARAM code : {20, 32, 34}) {
    SCOPED_TRACE(code);
    std::filesystem::remove(m_root.Path() / "SDMMC" / "bmkPho.rom");
    m_log.Clear();
    auto show = Show(m_first);
    const INT_PTR result = Run(*show, [&](TestShow& s) {
      s.WaitFor(Happening::Shown, 1);
      PostMessage(s.m_hWnd, kLauncherMessage, 2, 0);  // the main page's close only
      WaitForWindowThreadIdle(5000);
      EXPECT_TRUE(IsWindow(s.m_hWnd));
      Close(s, code);
    });
    EXPECT_EQ(result, kModalClosedByLauncher);
    const std::string log = m_log.Text();
    EXPECT_EQ(Count(log, " DRV_SD_RMV2 b\r\n"), 1u);
    EXPECT_EQ(Count(log, " thread exit!!\r\n"), 2u);  // the picture and the music thread
    EXPECT_EQ(Count(log, "CSshowDlg Exit...\r\n"), 1u);
    EXPECT_TRUE(m_root.Exists("SDMMC/bmkPho.rom"));
    EXPECT_EQ(show->Player().Getsts(), 0);
  }

  std::filesystem::remove(m_root.Path() / "SDMMC" / "bmkPho.rom");
  auto show = Show(m_first);
  Run(*show, [&](TestShow& s) {
    s.WaitFor(Happening::Shown, 1);
    SetCardTakenOut(true);
    Close(s);
  });
  SetCardTakenOut(false);
  EXPECT_FALSE(m_root.Exists("SDMMC/bmkPho.rom"));
}

TEST_F(Slideshow, TheEndOfATrackStartsTheNext) {
  Track("a.wma", 1.0);
  Track("b.wma", 20.0);
  Photo("a.jpg", kRed);
  List();
  auto show = Show(m_first);
  Run(*show, [&](TestShow& s) {
    for (int i = 0; i < 100 && (s.MusicIndex() == 0 || s.Player().Getsts() != 2); ++i) Sleep(100);
    EXPECT_EQ(s.MusicIndex(), 1);
    EXPECT_EQ(s.Player().Getsts(), 2);
    Close(s);
  });
}

}  // namespace
