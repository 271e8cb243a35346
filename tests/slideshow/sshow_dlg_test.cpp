// The slideshow run modally on the test's (window) thread while a driver thread acts on it;
// what it shows and when is told by its two hooks, in device time.
#include "slideshow/sshow_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>

#include "app/launcher.h"
#include "folders/folder_nav.h"
#include "dialogs/volume_dlg.h"
#include "platform/kernel/debug.h"
#include "platform/kernel/wide.h"
#include "platform/storage/files.h"
#include "tests/platform/imaging/pictures.h"
#include "tests/platform/media/media_files.h"
#include "tests/support/screen.h"
#include "tests/support/temp_root.h"

namespace {

// Device time runs fast; slower under the sanitizers, whose delays the speed multiplies.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr double kSpeed = 5;
#else
constexpr double kSpeed = 20;
#endif
// Device ms a step may come late (host latencies times the speed); well below a picture's 3 s.
constexpr DWORD kSlack = 1000;

struct Happening {
  enum Kind { Shown, EffectStart, EffectEnd } kind;
  DWORD tick;
  int value;       // the entry shown, or the effect
  int result = 0;  // an effect's result
};

// The slideshow, telling what it does. Effects run only when asked for.
class TestShow : public CSshowDlg {
 public:
  using CSshowDlg::CSshowDlg;
  bool realEffects = false;
  std::function<void()> onShown;       // window thread, after a picture was drawn
  std::vector<WORD> frameAfterEffect;  // as the first effect left it

  std::vector<Happening> Of(Happening::Kind kind) {
    std::lock_guard guard(m_lock);
    return OfLocked(kind);
  }
  // Waits (bounded in host time) for the count-th happening of the kind.
  Happening WaitFor(Happening::Kind kind, size_t count) {
    std::unique_lock guard(m_lock);
    EXPECT_TRUE(m_changed.wait_for(guard, std::chrono::seconds(60), [&] { return OfLocked(kind).size() >= count; }))
        << "waited for " << count << " of kind " << kind;
    const std::vector<Happening> seen = OfLocked(kind);
    return seen.size() >= count ? seen[count - 1] : Happening{kind, 0, -1};
  }

 protected:
  void OnPictureShown() override {
    Add({Happening::Shown, GetTickCount(), ShownIndex()});
    if (onShown) onShown();
  }
  int RunTransition(int effect) override {
    Add({Happening::EffectStart, GetTickCount(), effect});
    const int result = realEffects ? CSshowDlg::RunTransition(effect) : 0;
    if (realEffects && frameAfterEffect.empty()) frameAfterEffect = ReadScreen();
    Add({Happening::EffectEnd, GetTickCount(), effect, result});
    return result;
  }

 private:
  std::vector<Happening> OfLocked(Happening::Kind kind) const {
    std::vector<Happening> out;
    std::copy_if(m_log.begin(), m_log.end(), std::back_inserter(out), [&](auto& h) { return h.kind == kind; });
    return out;
  }
  void Add(const Happening& h) {
    std::lock_guard guard(m_lock);
    m_log.push_back(h);
    m_changed.notify_all();
  }
  std::mutex m_lock;
  std::condition_variable m_changed;
  std::vector<Happening> m_log;
};

void DoubleTap() { Tap(400, 200), Tap(400, 200); }
// A button of the volume dialog, once it is there.
void Press(int x) { TapHandled(VolumeButton(x), 5000); }

// The main page's stand-in behind the slideshow is the back window.
class Slideshow : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    SetClockSpeed(kSpeed);
    m_root.ListInNameOrder();
  }

  // Photos of one colour each, 200 x 100, and the card's top folder listed.
  void Photos(std::initializer_list<const char*> names) {
    BYTE shade = 40;
    for (const char* name : names) {
      const Rgb colour{shade, static_cast<BYTE>(255 - shade), 90};
      shade = static_cast<BYTE>(shade + 70);
      m_root.WriteFile(std::string("SDMMC/") + name, MakeJpeg(Picture{200, 100, std::vector<Rgb>(200 * 100, colour)}, 95));
    }
    List();
  }
  void List() {
    m_list.Fill(u"\\SDMMC\\");
    ASSERT_TRUE(FindPhotoRange(m_list, m_first, m_last));
  }
  // keep: the bytes kept of the file, a track cut off in the middle.
  void Track(const std::string& name, double seconds = 20, size_t keep = std::string::npos) {
    ASSERT_EQ(WriteSteppedTrack((m_root.Path() / "SDMMC" / name).string(), seconds, keep), "");
  }
  std::unique_ptr<TestShow> Show(int start = -1) {
    return std::make_unique<TestShow>(&m_list, start < 0 ? m_first : start, m_first, m_last, &m_decoder);
  }
  // Runs the slideshow on this (the window) thread while `drive` runs on another; its result.
  static INT_PTR Run(TestShow& show, const std::function<void(TestShow&)>& drive) {
    return RunWithDriver([&] { return show.DoModal(); }, [&] { WaitForWindowThreadIdle(5000), drive(show); });
  }
  static void Close(TestShow& show, WPARAM code = 34) { PostMessage(show.m_hWnd, kLauncherMessage, code, 0); }

  ComApartment m_com;
  TempDeviceRoot m_root;
  DebugCapture m_log;
  CPhotoList m_list;
  int m_first = -1, m_last = -1;
  CImageDecoder m_decoder;
};

// Photos that cannot be shown (no size in the record, one that never decodes, one listed and
// then gone) are passed over without a pause.
TEST_F(Slideshow, StartsAtTheFirstPhotoHoldsEachThreeSecondsWipedByTheEffectsInTurnAndSkipsBadOnes) {
  m_root.WriteFile("SDMMC/folder/x.jpg", "");
  m_root.WriteFile("SDMMC/other/y.jpg", "");
  m_root.WriteFile("SDMMC/c-noise.jpg", std::string(4000, 'x'));
  Bytes cut = MakeJpeg(Pattern(320, 240), 90, {}, false, true);
  cut.resize(cut.size() / 3);
  m_root.WriteFile("SDMMC/d-cut.jpg", cut);
  Photos({"a.jpg", "b-gone.jpg", "e.jpg", "f.jpg"});
  std::filesystem::remove(m_root.Path() / "SDMMC" / "b-gone.jpg");
  ASSERT_EQ(m_first, 2);
  auto show = Show(0);  // a folder was selected
  std::vector<bool> fitted;
  show->onShown = [&] {
    // 200 x 100 fills the width: 800 x 400 from row 40, black above and below.
    fitted.push_back(Pixel(400, 39) == 0 && Pixel(400, 440) == 0 && Pixel(0, 40) != 0 && Pixel(799, 439) != 0);
  };
  EXPECT_EQ(Run(*show, [](TestShow& s) { s.WaitFor(Happening::EffectStart, 15), Close(s); }), kModalClosedByLauncher);
  const auto shown = show->Of(Happening::Shown), effects = show->Of(Happening::EffectStart),
             ends = show->Of(Happening::EffectEnd);
  ASSERT_GE(shown.size(), 15u);
  for (size_t i = 0; i < 15; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(shown[i].value, (std::vector<int>{2, 6, 7})[i % 3]);  // a, e, f, a, ...
    EXPECT_EQ(effects[i].value, static_cast<int>(i % 13));          // 0 .. 12, then 0 again
    EXPECT_GE(effects[i].tick - shown[i].tick, 3000u);
    EXPECT_LT(effects[i].tick - shown[i].tick, 3000u + kSlack);
    EXPECT_TRUE(fitted[i]);
    if (i % 3 == 0) {
      EXPECT_LT(shown[i + 1].tick - ends[i].tick, 3000u);  // three entries between a and e
    }
  }

  // A folder whose photos all went after it was listed shows nothing, also once the picture
  // thread has gone through every entry (and stopped on the one after the first), and still ends.
  for (const char* gone : {"a.jpg", "e.jpg", "f.jpg"}) std::filesystem::remove(m_root.Path() / "SDMMC" / gone);
  List();
  for (const char* gone : {"c-noise.jpg", "d-cut.jpg"}) std::filesystem::remove(m_root.Path() / "SDMMC" / gone);
  auto empty = Show();
  EXPECT_EQ(Run(*empty,
                [&](TestShow& s) {
                  EXPECT_TRUE(Await([&] { return s.CurrentIndex() == m_last; }));
                  Close(s, 20);
                }),
            kModalClosedByLauncher);
  EXPECT_TRUE(empty->Of(Happening::Shown).empty());
}

// The player's end of a.wma, cut off in the middle and played as far as it goes early in the
// first show, starts b.wma, which the later shows resume.
TEST_F(Slideshow, ADoubleTapStopsTheEffectForTheVolumeDialogAndACloseRequestEndsEverythingWith34) {
  Track("a.wma", 2.0, 9000);
  Track("b.wma", 60);
  Photos({"a.jpg", "b.jpg", "c.jpg"});
  auto show = Show();
  show->realEffects = true;
  DWORD tappedAt = 0, addAt = 0, dialogUpAt = 0;
  std::vector<WORD> underDialog;
  HWND front = nullptr;
  std::int64_t position = 0;
  const INT_PTR result = Run(*show, [&](TestShow& s) {
    s.WaitFor(Happening::EffectStart, 1);
    Sleep(500);  // effect 0 wipes for about 2.5 seconds
    tappedAt = GetTickCount();
    DoubleTap();
    s.WaitFor(Happening::EffectEnd, 1);
    addAt = GetTickCount();
    Press(kVolumeUpX);
    dialogUpAt = GetTickCount();
    front = GetForegroundWindow();
    underDialog = m_back->CopyScreen();
    s.WaitFor(Happening::Shown, 2);  // the dialog closed itself: the show goes on
    s.WaitFor(Happening::EffectStart, 2);
    s.WaitFor(Happening::Shown, 3);  // c, the last photo; a is loaded after it
    ASSERT_TRUE(Await([&] { return s.CurrentIndex() == m_first; }));
    WaitForWindowThreadIdle(5000);
    DoubleTap();
    Press(kVolumeUpX);
    s.Player().GetTimPos(&position);
    Press(kVolumeExitX);
  });
  EXPECT_NE(result, kModalClosedByLauncher);
  EXPECT_NE(result, kVolumeTimedOut);
  const auto shown = show->Of(Happening::Shown), starts = show->Of(Happening::EffectStart),
             ends = show->Of(Happening::EffectEnd);
  // The effect ended at once; the dialog is in front, the picture around its controls as the
  // effect left it, the wipe half-way down.
  EXPECT_EQ(ends.at(0).result, -1);
  EXPECT_LT(ends[0].tick - tappedAt, kSlack);
  EXPECT_NE(front, show->m_hWnd);
  ASSERT_EQ(underDialog.size(), show->frameAfterEffect.size());
  EXPECT_TRUE(std::equal(underDialog.begin(), underDialog.begin() + 400 * kScreenWidth, show->frameAfterEffect.begin()));
  EXPECT_NE(underDialog[200 * kScreenWidth + 400], 0);
  EXPECT_EQ(CVolumeDlg::LastDrawnLevel(), 14);
  // 4 seconds after the last touch the dialog had gone, and the next picture and effect came.
  EXPECT_EQ(shown.at(1).value, m_first + 1);
  EXPECT_GE(shown[1].tick - addAt, 4000u);
  EXPECT_LT(shown[1].tick - dialogUpAt, 4000u + kSlack);
  EXPECT_EQ(starts.at(1).value, 1);
  // The back button ended it while c was shown: the main page goes on with a.
  EXPECT_EQ(show->CurrentIndex(), m_first);
  EXPECT_EQ(Occurrences(m_log.Text(), "CSshowDlg Exit...\r\n"), 1);
  show.reset();

  // Each later show resumes the music where it was, at the same volume. A close request (20,
  // 32 or 34; 2 closes the main page only) ends it all with 34, and the bookmark is saved.
  for (WPARAM code : {20, 32, 34}) {
    SCOPED_TRACE(code);
    m_log.Clear();
    auto next = Show();
    EXPECT_EQ(Run(*next,
                  [&](TestShow& s) {
                    s.WaitFor(Happening::Shown, 1);
                    EXPECT_TRUE(s.MusicIndex() == 1 && s.VolumeLevel() == 14 && s.Player().GetVolume() == 14);
                    EXPECT_EQ(s.Player().Getsts(), 2);
                    EXPECT_GE(Position(s.Player()), position);
                    std::filesystem::remove(m_root.Path() / "SDMMC" / "bmkPho.rom");  // read at the start
                    PostMessage(s.m_hWnd, kLauncherMessage, 2, 0);
                    WaitForWindowThreadIdle(5000);
                    Close(s, code);
                  }),
              kModalClosedByLauncher);
    const std::string log = m_log.Text();
    EXPECT_EQ(Occurrences(log, " DRV_SD_RMV2 b\r\n"), 1);
    EXPECT_EQ(Occurrences(log, " thread exit!!\r\n"), 2);  // the picture and the music thread
    EXPECT_EQ(Occurrences(log, "CSshowDlg Exit...\r\n"), 1);
    EXPECT_TRUE(m_root.Exists("SDMMC/bmkPho.rom"));
    EXPECT_EQ(next->Player().Getsts(), 0);
  }
}

// The launcher's hide and message 52999 each pause the music and the pictures until the show
// is shown again. Each interruption stores the player's state anew, so that two in a row (the
// second while the show is already paused) leave the music paused when the pictures resume.
TEST_F(Slideshow, InterruptionsPauseMusicAndPicturesUntilTheShowIsShownAgain) {
  SetClockSpeed(4);
  Track("tune.wma", 60);
  Photos({"a.jpg", "b.jpg"});
  auto show = Show();
  show->realEffects = true;
  constexpr int kPlaying = 2, kPaused = 3;
  using Message = std::pair<UINT, WPARAM>;
  const Message hide{kLauncherMessage, kLauncherHide}, pause{kHideMessage, 0};
  const std::vector<Message> interruptions[] = {{hide}, {pause}, {hide, pause}, {pause, hide}, {hide, hide}};
  const auto interrupt = [&](TestShow& s) {
    ASSERT_TRUE(Await([&] { return s.ShownIndex() >= 0 && s.Player().Getsts() == kPlaying; }));
    for (const std::vector<Message>& messages : interruptions) {
      SCOPED_TRACE(messages.front().first + messages.back().first + messages.back().second);
      Sleep(1500);  // half-way through the picture's time: the next one has been loaded
      for (const auto& [message, code] : messages) {
        PostMessage(s.m_hWnd, message, code, 0);
        ASSERT_TRUE(Await([&] { return s.IsPaused() && s.Player().Getsts() == kPaused; }));
      }
      WaitForWindowThreadIdle(30000);
      const size_t shown = s.Of(Happening::Shown).size(), effects = s.Of(Happening::EffectStart).size();
      const std::int64_t before = Position(s.Player());
      Sleep(5000);  // longer than a picture is held
      EXPECT_EQ(Position(s.Player()), before);
      EXPECT_EQ(s.Of(Happening::Shown).size() + s.Of(Happening::EffectStart).size(), shown + effects);  // nothing shown, no effect
      PostMessage(s.m_hWnd, kLauncherMessage, kLauncherShow, 0);
      const Happening resumed = s.WaitFor(Happening::Shown, shown + 1);
      EXPECT_EQ(s.Player().Getsts(), messages.size() == 1 ? kPlaying : kPaused);
      EXPECT_GE(s.WaitFor(Happening::EffectStart, effects + 1).tick - resumed.tick, 3000u);
      s.Player().Play();
      s.WaitFor(Happening::Shown, shown + 2);
    }
  };
  EXPECT_EQ(Run(*show, [&](TestShow& s) { interrupt(s), Close(s); }), kModalClosedByLauncher);
}

}  // namespace
