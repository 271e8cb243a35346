#include "platform/windows/afx.h"

#include <mutex>
#include <utility>
#include <vector>

#include "platform/device/framebuffer.h"

#include "platform/windows/resources.h"

// ---- GDI wrappers ----------------------------------------------------------------------------

BOOL CGdiObject::DeleteObject() {
  if (!m_hObject) return FALSE;
  const BOOL ok = ::DeleteObject(m_hObject);
  m_hObject = nullptr;
  return ok;
}

BOOL CGdiObject::Attach(HGDIOBJ object) {
  DeleteObject();
  m_hObject = object;
  return object != nullptr;
}

HGDIOBJ CGdiObject::Detach() { return std::exchange(m_hObject, nullptr); }

BOOL CBitmap::LoadBitmap(UINT id) { return Attach(LoadBitmapResource(static_cast<int>(id))); }

CDC::~CDC() {
  if (m_previousBitmap) m_previousBitmap->Detach();
  if (m_owned) DeleteDC();
}

BOOL CDC::CreateCompatibleDC(CDC* other) {
  if (m_owned) DeleteDC();
  m_hDC = ::CreateCompatibleDC(other ? other->m_hDC : nullptr);
  m_owned = m_hDC != nullptr;
  return m_owned;
}

BOOL CDC::DeleteDC() {
  if (!m_hDC) return FALSE;
  const BOOL ok = ::DeleteDC(m_hDC);
  m_hDC = nullptr;
  m_owned = false;
  return ok;
}

CBitmap* CDC::SelectObject(CBitmap* bitmap) {
  if (!bitmap) return nullptr;
  HGDIOBJ previous = ::SelectObject(m_hDC, bitmap->m_hObject);
  if (!previous) return nullptr;
  if (!m_previousBitmap) m_previousBitmap = std::make_unique<CBitmap>();
  if (bitmap == m_previousBitmap.get()) return nullptr;
  m_previousBitmap->Detach();
  m_previousBitmap->m_hObject = previous;
  return m_previousBitmap.get();
}

void CDC::FillSolidRect(const RECT* rect, COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(m_hDC, rect, brush);
  ::DeleteObject(brush);
}

CPaintDC::CPaintDC(CWnd* window) : m_window(window->m_hWnd) { m_hDC = BeginPaint(m_window, &m_ps); }
CPaintDC::~CPaintDC() {
  EndPaint(m_window, &m_ps);
  m_hDC = nullptr;
}

CClientDC::CClientDC(CWnd* window) : m_window(window ? window->m_hWnd : nullptr) { m_hDC = ::GetDC(m_window); }
CClientDC::~CClientDC() {
  ::ReleaseDC(m_window, m_hDC);
  m_hDC = nullptr;
}

// ---- Windows ---------------------------------------------------------------------------------

namespace {

std::mutex g_wrappersLock;
std::map<HWND, std::unique_ptr<CWnd>> g_wrappers;  // plain wrappers of windows without an object

}  // namespace

CWnd::~CWnd() {
  if (m_hWnd && ::IsWindow(m_hWnd) && ::GetWindowHandler(m_hWnd) == this) ::SetWindowHandler(m_hWnd, m_previousHandler);
}

CWnd* CWnd::Lookup(HWND window) { return dynamic_cast<CWnd*>(::GetWindowHandler(window)); }

CWnd* CWnd::FromHandle(HWND window) {
  if (!window || !::IsWindow(window)) return nullptr;
  if (CWnd* own = Lookup(window)) return own;
  std::lock_guard lock(g_wrappersLock);
  std::erase_if(g_wrappers, [](const auto& entry) { return !::IsWindow(entry.first); });
  std::unique_ptr<CWnd>& wrapper = g_wrappers[window];
  if (!wrapper) {
    wrapper = std::make_unique<CWnd>();
    wrapper->m_hWnd = window;
  }
  return wrapper.get();
}

BOOL CWnd::SubclassWindow(HWND window) {
  if (!window || !::IsWindow(window)) return FALSE;
  m_hWnd = window;
  m_previousHandler = ::SetWindowHandler(window, this);
  if (CWnd* wrapper = dynamic_cast<CWnd*>(m_previousHandler); wrapper && wrapper != this) m_previousHandler = nullptr;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow() {
  HWND window = std::exchange(m_hWnd, nullptr);
  if (window) ::SetWindowHandler(window, m_previousHandler);
  m_previousHandler = nullptr;
  return window;
}

BOOL CWnd::DestroyWindow() {
  if (!m_hWnd) return FALSE;
  HWND window = m_hWnd;
  const BOOL ok = ::DestroyWindow(window);
  m_hWnd = nullptr;
  PostNcDestroy();
  return ok;
}

CWnd* CWnd::GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }

BOOL CWnd::SetWindowPos(const CWnd* after, int x, int y, int w, int h, UINT flags) {
  HWND insertAfter = reinterpret_cast<HWND>(const_cast<CWnd*>(after));
  // The framework's wndTopMost and friends are the special handles themselves.
  if (after != reinterpret_cast<const CWnd*>(HWND_TOPMOST) && after != reinterpret_cast<const CWnd*>(HWND_TOP) &&
      after != reinterpret_cast<const CWnd*>(HWND_BOTTOM) && after != reinterpret_cast<const CWnd*>(HWND_NOTOPMOST))
    insertAfter = after ? after->m_hWnd : HWND_TOP;
  return ::SetWindowPos(m_hWnd, insertAfter, x, y, w, h, flags);
}

CDC* CWnd::GetDC() {
  HDC dc = ::GetDC(m_hWnd);
  if (!dc) return nullptr;
  auto wrapper = std::make_unique<CDC>(dc);
  CDC* result = wrapper.get();
  m_dcs[dc] = std::move(wrapper);
  return result;
}

int CWnd::ReleaseDC(CDC* dc) {
  if (!dc) return 0;
  HDC handle = dc->m_hDC;
  const int released = ::ReleaseDC(m_hWnd, handle);
  dc->m_hDC = nullptr;
  m_dcs.erase(handle);
  return released;
}

HICON CWnd::SetIcon(HICON icon, BOOL big) { return std::exchange(m_icons[big ? 1 : 0], icon); }

int CWnd::MessageBox(const WString& text, const WString& caption, UINT type) {
  return MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), type);
}

LRESULT CWnd::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!m_hWnd) m_hWnd = window;
  const Current saved = m_current;
  m_current = Current{message, wParam, lParam};
  const LRESULT result = WindowProc(message, wParam, lParam);
  m_current = saved;
  return result;
}

LRESULT CWnd::Default() {
  if (m_previousHandler) return m_previousHandler->HandleMessage(m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
  return ::DefWindowProc(m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  const CPoint point(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
  switch (message) {
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_ERASEBKGND: {
      CDC dc(reinterpret_cast<HDC>(wParam));
      const BOOL erased = OnEraseBkgnd(&dc);
      dc.m_hDC = nullptr;
      return erased;
    }
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_LBUTTONDOWN:
      OnLButtonDown(static_cast<UINT>(wParam), point);
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(static_cast<UINT>(wParam), point);
      return 0;
    case WM_LBUTTONUP:
      OnLButtonUp(static_cast<UINT>(wParam), point);
      return 0;
    case WM_COMMAND:
      return OnCommand(wParam, lParam) ? 0 : Default();
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      return Default();
  }
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }
void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnDestroy() { Default(); }

HICON LoadIconFromResources(int id) {
  static std::mutex lock;
  static auto* icons = new std::map<int, HBITMAP>;  // kept, like the icons, to the end of the process
  std::lock_guard guard(lock);
  HBITMAP& icon = (*icons)[id];
  if (!icon) icon = LoadIconResource(id);
  return reinterpret_cast<HICON>(icon);
}

// ---- Dialogs ---------------------------------------------------------------------------------

HWND CDialog::CreateDialogWindow() {
  const DialogTemplate* t = FindDialogTemplate(static_cast<int>(m_templateId));
  const RECT rect = t ? t->rect : RECT{0, 0, kScreenWidth, kScreenHeight};
  HWND dialog = CreateWindowObject(WindowKind::Dialog, nullptr, rect, t ? t->caption : u"", 0, this);
  if (!dialog || !t) return dialog;
  for (size_t i = 0; i < t->controlCount; ++i) {
    const DialogControl& c = t->controls[i];
    HWND control = CreateWindowObject(c.kind == ControlKind::Button ? WindowKind::Button : WindowKind::Static, dialog,
                                      c.rect, c.caption, c.id, nullptr);
    ::EnableWindow(control, c.enabled);
    if (c.visible) ::ShowWindow(control, SW_SHOW);
  }
  return dialog;
}

INT_PTR CDialog::DoModal() {
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : GetForegroundWindow();
  m_ended = false;
  m_result = -1;
  m_hWnd = CreateDialogWindow();
  if (!m_hWnd) return -1;
  const bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
  if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
  ::SendMessage(m_hWnd, WM_INITDIALOG, 0, 0);
  if (!m_ended && m_hWnd) ::ShowWindow(m_hWnd, SW_SHOW);
  while (!m_ended) {
    MSG msg;
    if (!GetMessage(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      m_result = -1;
      break;
    }
    DispatchMessage(&msg);
  }
  if (ownerWasEnabled && ::IsWindow(owner)) ::EnableWindow(owner, TRUE);
  DestroyWindow();
  return m_result;
}

void CDialog::EndDialog(int result) {
  m_result = result;
  m_ended = true;
  if (m_hWnd) ::PostMessage(m_hWnd, WM_NULL, 0, 0);  // wakes the loop
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_CLOSE:
      OnCancel();
      return 0;
    default:
      return CWnd::WindowProc(message, wParam, lParam);
  }
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
  switch (LOWORD(wParam)) {
    case IDOK:
      OnOK();
      return TRUE;
    case IDCANCEL:
      OnCancel();
      return TRUE;
    default:
      return FALSE;
  }
}

// ---- Bitmap buttons --------------------------------------------------------------------------

BOOL CBitmapButton::LoadBitmaps(UINT up, UINT down, UINT focus, UINT disabled) {
  m_bitmap.DeleteObject();
  m_bitmapSel.DeleteObject();
  m_bitmapFocus.DeleteObject();
  m_bitmapDisabled.DeleteObject();
  const BOOL ok = m_bitmap.LoadBitmap(up);
  if (down) m_bitmapSel.LoadBitmap(down);
  if (focus) m_bitmapFocus.LoadBitmap(focus);
  if (disabled) m_bitmapDisabled.LoadBitmap(disabled);
  if (m_hWnd) Invalidate(FALSE);
  return ok;
}

void CBitmapButton::SizeToContent() {
  BITMAP bm;
  if (!m_bitmap.GetBitmap(&bm)) return;
  RECT r;
  ::GetWindowRect(m_hWnd, &r);
  POINT p{r.left, r.top};
  ::ScreenToClient(::GetParent(m_hWnd), &p);
  ::MoveWindow(m_hWnd, p.x, p.y, bm.bmWidth, bm.bmHeight, TRUE);
}

void CBitmapButton::OnPaint() {
  CPaintDC dc(this);
  CBitmap* picture = &m_bitmap;
  if (IsButtonDown(m_hWnd) && m_bitmapSel.m_hObject) picture = &m_bitmapSel;
  else if (!IsWindowEnabled() && m_bitmapDisabled.m_hObject) picture = &m_bitmapDisabled;
  if (!picture->m_hObject || !dc.m_hDC) return;
  BITMAP bm;
  picture->GetBitmap(&bm);
  CDC memory;
  memory.CreateCompatibleDC(&dc);
  CBitmap* old = memory.SelectObject(picture);
  dc.BitBlt(0, 0, bm.bmWidth, bm.bmHeight, &memory, 0, 0, SRCCOPY);
  memory.SelectObject(old);
}

// ---- The message box -------------------------------------------------------------------------

namespace {

class CMessageBox : public CDialog {
 public:
  CMessageBox(WString text, WString caption) : CDialog(0), m_text(std::move(text)), m_caption(std::move(caption)) {}

 protected:
  HWND CreateDialogWindow() override {
    const int w = 440, h = 200;
    const RECT rect{(kScreenWidth - w) / 2, (kScreenHeight - h) / 2, (kScreenWidth + w) / 2, (kScreenHeight + h) / 2};
    HWND box = CreateWindowObject(WindowKind::Dialog, nullptr, rect, m_caption.c_str(), 0, this);
    ::SetWindowPos(box, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    HWND ok = CreateWindowObject(WindowKind::Button, box, RECT{w / 2 - 60, h - 64, w / 2 + 60, h - 16}, u"OK", IDOK, nullptr);
    ::ShowWindow(ok, SW_SHOW);
    return box;
  }
  BOOL OnEraseBkgnd(CDC* dc) override {
    RECT r;
    GetClientRect(&r);
    dc->FillSolidRect(&r, RGB(40, 40, 48));
    HBRUSH border = CreateSolidBrush(RGB(230, 230, 230));
    RECT edges[4] = {{0, 0, r.right, 2}, {0, r.bottom - 2, r.right, r.bottom}, {0, 0, 2, r.bottom}, {r.right - 2, 0, r.right, r.bottom}};
    for (const RECT& e : edges) FillRect(dc->m_hDC, &e, border);
    ::DeleteObject(border);
    return TRUE;
  }
  void OnPaint() override {
    CPaintDC dc(this);
    if (!dc.m_hDC) return;
    LOGFONTW lf;
    lf.lfHeight = 22;
    HFONT font = CreateFontIndirectW(&lf);
    HGDIOBJ old = font ? dc.SelectObject(font) : nullptr;
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(RGB(255, 255, 255));
    RECT r;
    GetClientRect(&r);
    int top = 20;
    if (!m_caption.empty()) {
      RECT c{16, top, r.right - 16, top + 26};
      dc.DrawText(m_caption, &c, DT_CENTER);
      top += 30;
    }
    RECT t{16, top, r.right - 16, r.bottom - 72};
    dc.DrawText(m_text, &t, DT_CENTER);
    if (font) {
      dc.SelectObject(old);
      ::DeleteObject(font);
    }
  }

 private:
  WString m_text;
  WString m_caption;
};

}  // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT) {
  CMessageBox box(text ? WString(text) : WString(), caption ? WString(caption) : WString());
  (void)owner;
  const INT_PTR result = box.DoModal();
  return result == -1 ? IDCANCEL : static_cast<int>(result);
}

// ---- The application -------------------------------------------------------------------------

namespace {
CWinApp* g_app = nullptr;
}

CWinApp::CWinApp() { g_app = this; }
CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

void CWinApp::SetDialogBkColor(COLORREF background, COLORREF) { SetDialogBackground(background); }

CWinApp* AfxGetApp() { return g_app; }

int AfxWinMain() {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  if (app->InitInstance()) {
    MSG msg;
    while (GetMessage(&msg, nullptr, 0, 0)) DispatchMessage(&msg);
  }
  return app->ExitInstance();
}
