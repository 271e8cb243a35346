// A test dialog built from the real skin, to see and drive the window system and the skin
// on their own: the main page's layout with its background, cells, frames, battery and six
// buttons, a nested volume dialog and a message box.
//
//   vellumet-skin-demo [--headless] [--script FILE] [--shots DIR] [--scale N] [--speed X]
//
// Cells select on a tap; "info" opens a message box; "slideshow" opens the volume dialog
// over the page (it closes itself 4 s after the last touch); "exit" ends the demo.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/windows/afx.h"
#include "platform/kernel/kernel.h"
#include "platform/host/screen_host.h"
#include "res/resources.h"
#include "skin/skin.h"
#include "skin/skin_button.h"

#undef printf

namespace {

RECT Cell(int c) {
  const int left = 28 + 190 * (c % 4), top = 85 + 145 * (c / 4);
  return RECT{left, top, left + 170, top + 130};
}

class CVolumeDemo : public CDialog {
 public:
  CVolumeDemo() : CDialog(IDD_VOLUME) {}
  BOOL OnInitDialog() override {
    const struct {
      int id;
      UINT up, down;
      int x;
    } buttons[] = {{1009, skin::kBackUp, skin::kBackDown, 20},
                   {1014, skin::kVolumeDecUp, skin::kVolumeDecDown, 130},
                   {1013, skin::kVolumeAddUp, skin::kVolumeAddDown, 590},
                   {1015, skin::kPauseUp, skin::kPauseDown, 685}};
    for (int i = 0; i < 4; ++i) {
      m_buttons[i].Bind(this, buttons[i].id, buttons[i].up, buttons[i].down);
      m_buttons[i].Place(buttons[i].x, 400, 88, 56);
    }
    LoadSkinBitmap(m_fill, skin::kVolumeFill);
    LoadSkinBitmap(m_bar, skin::kVolumeBar);
    SetWindowPos(reinterpret_cast<const CWnd*>(HWND_TOPMOST), 0, 0, 800, 480, SWP_NOMOVE);
    return TRUE;
  }
  BOOL OnEraseBkgnd(CDC*) override {
    DrawBar();
    SetTimer(4, 4000, nullptr);
    return TRUE;
  }
  void OnPaint() override { CPaintDC dc(this); }
  BOOL OnCommand(WPARAM w, LPARAM l) override {
    switch (LOWORD(w)) {
      case 1013: m_level = std::min(24, m_level + 1); break;
      case 1014: m_level = std::max(0, m_level - 1); break;
      case 1015:
        m_playing = !m_playing;
        m_buttons[3].LoadBitmaps(m_playing ? skin::kPauseUp : skin::kPlayUp, m_playing ? skin::kPauseDown : skin::kPlayDown);
        break;
      case 1009: EndDialog(IDCANCEL); return TRUE;
      default: return CDialog::OnCommand(w, l);
    }
    SetTimer(4, 4000, nullptr);
    DrawBar();
    return TRUE;
  }
  void OnTimer(UINT_PTR id) override {
    if (id != 4) return;
    KillTimer(4);
    EndDialog(8893);
  }

 private:
  void DrawBar() {
    BlitBitmap(this, 226, 400, 0, 0, 0, 0, m_bar);
    if (m_level > 0) BlitBitmap(this, 306, 410, std::min(259, 11 * m_level), 36, 0, 0, m_fill);
  }
  CSkinButton m_buttons[4];
  CBitmap m_fill, m_bar;
  int m_level = 12;
  bool m_playing = true;
};

class CSkinDemo : public CDialog {
 public:
  CSkinDemo() : CDialog(IDD_MAINPAGE) {}
  BOOL OnInitDialog() override {
    SetIcon(LoadIconFromResources(IDI_APP), TRUE);
    SetWindowText(u"photo");
    LoadSkinBitmap(m_background, skin::kMainBackground);
    LoadSkinBitmap(m_folder, skin::kFolder);
    LoadSkinBitmap(m_placeholder, skin::kPlaceholder);
    LoadSkinBitmap(m_frame, skin::kCellFrame);
    LoadSkinBitmap(m_selected, skin::kCellFrameSelected);
    LoadSkinBitmap(m_battery, skin::kBatteryFrames[3]);
    const struct {
      int id;
      UINT up, down;
    } buttons[] = {{1014, skin::kFolderUpUp, skin::kFolderUpDown}, {1013, skin::kSlideshowUp, skin::kSlideshowDown},
                   {1012, skin::kPrevPageUp, skin::kPrevPageDown},  {1011, skin::kNextPageUp, skin::kNextPageDown},
                   {1010, skin::kInfoUp, skin::kInfoDown},          {1009, skin::kExitUp, skin::kExitDown}};
    for (int i = 0; i < 6; ++i) {
      m_buttons[i].Bind(this, buttons[i].id, buttons[i].up, buttons[i].down);
      m_buttons[i].Place(35 + 125 * i, 400, 100, 64);
    }
    SetWindowPos(reinterpret_cast<const CWnd*>(HWND_TOPMOST), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ShowCursor(FALSE);
    return TRUE;
  }
  BOOL OnEraseBkgnd(CDC*) override { return FALSE; }
  void OnPaint() override {
    CPaintDC dc(this);
    if (m_hidden) return;
    BlitBitmap(this, 0, 0, 0, 0, 0, 0, m_background);
    BlitBitmap(this, 740, 15, 45, 28, 740, 15, m_background);
    BlitTransparent(this, 740, 15, m_battery, kSkinTransparent);
    WString title = u"<A folder with a rather long name for a title line>";
    FitBracketedText(this, title, 500);
    DrawSkinText(this, 15, 20, 520, 35, title, 0, RGB(255, 255, 255), 0, 33);
    DrawSkinText(this, 630, 18, 90, 30, m_page == 0 ? u"1/2" : u"2/2", 0, RGB(255, 255, 255), 0, 28);
    const char16_t* folders[] = {u"<..>", u"<Holidays by the sea>", u"<Family>"};
    for (int c = 0; c < 8; ++c) {
      const RECT r = Cell(c);
      if (c < 3 && m_page == 0) {
        BlitBitmap(this, r.left, r.top, 0, 0, 0, 0, m_folder);
        WString name = folders[c];
        FitBracketedText(this, name, 90);
        DrawSkinText(this, r.left + 2, r.bottom - 25, r.right - r.left - 2, 22, name, 1, RGB(255, 255, 255), 0, 20);
      } else {
        BlitStretched(this, r.left + 3, r.top + 3, 160, 119, 0, 0, m_placeholder);
      }
      BlitTransparent(this, r.left, r.top, c == m_selected_cell ? m_selected : m_frame, kSkinTransparent);
    }
  }
  void OnLButtonDown(UINT, CPoint p) override {
    for (int c = 0; c < 8; ++c) {
      RECT r = Cell(c);
      if (p.x < r.left || p.x > r.right || p.y < r.top || p.y > r.bottom) continue;
      if (c != m_selected_cell) {
        const RECT old = Cell(m_selected_cell);
        BlitTransparent(this, old.left, old.top, m_frame, kSkinTransparent);
        BlitTransparent(this, r.left, r.top, m_selected, kSkinTransparent);
        m_selected_cell = c;
      }
      return;
    }
  }
  BOOL OnCommand(WPARAM w, LPARAM l) override {
    switch (LOWORD(w)) {
      case 1009: EndDialog(IDOK); return TRUE;
      case 1010: MessageBoxW(m_hWnd, u"\u6a94 \u6848 \u540d \u7a31: demo", u"Information", MB_OK); return TRUE;
      case 1011:
      case 1012:
        m_page = LOWORD(w) == 1011 ? 1 : 0;
        Invalidate(TRUE);
        return TRUE;
      case 1013: {
        CVolumeDemo volume;
        std::fprintf(stderr, "vellumet-skin-demo: the volume dialog ended with %d\n", static_cast<int>(volume.DoModal()));
        return TRUE;
      }
      default: return CDialog::OnCommand(w, l);
    }
  }
  LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
    if (message == kLauncherMessage) {
      if (w == 2 || w == 20 || w == 32 || w == 34) EndDialog(34);
      if (w == 10 || w == 8) {
        m_hidden = w == 10;
        for (CSkinButton& b : m_buttons) b.ShowWindow(m_hidden ? SW_HIDE : SW_SHOW);
        if (!m_hidden) Invalidate(TRUE);
      }
    }
    return CDialog::WindowProc(message, w, l);
  }

 private:
  CBitmap m_background, m_folder, m_placeholder, m_frame, m_selected, m_battery;
  CSkinButton m_buttons[6];
  int m_selected_cell = 0;
  int m_page = 0;
  bool m_hidden = false;
};

class CDemoApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    SetDialogBkColor(RGB(1, 1, 1), RGB(0, 0, 0));
    CSkinDemo page;
    m_pMainWnd = &page;
    result = static_cast<int>(page.DoModal());
    m_pMainWnd = nullptr;
    return FALSE;
  }
  int result = 0;
};

}  // namespace

int main(int argc, char** argv) {
  KeepOffAnUnnamedSessionBus();
  ScreenHostOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool value = i + 1 < argc;
    if (arg == "--headless") options.headless = true;
    else if (arg == "--script" && value) options.script = argv[++i];
    else if (arg == "--shots" && value) options.shotsDir = argv[++i];
    else if (arg == "--scale" && value) options.scale = std::atoi(argv[++i]);
    else if (arg == "--speed" && value) SetClockSpeed(std::atof(argv[++i]));
    else {
      std::fputs("usage: vellumet-skin-demo [--headless] [--script FILE] [--shots DIR] [--scale N] [--speed X]\n", stderr);
      return 2;
    }
  }
  InstallResources();
  if (!StartScreenHost(options)) return 2;
  CDemoApp app;
  AfxWinMain();
  StopScreenHost();
  std::fprintf(stderr, "vellumet-skin-demo: the page ended with %d\n", app.result);
  return 0;
}
