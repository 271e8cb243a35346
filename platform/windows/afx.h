// The dialog framework the screens are written against: the application object, windows with
// virtual message handlers, modal dialogs made from templates, bitmap buttons, bitmaps and
// device contexts.
#pragma once

#include <map>
#include <memory>

#include "platform/windows/window.h"

struct CPoint : POINT {
  CPoint() = default;
  CPoint(int px, int py) : POINT{px, py} {}
};

struct CRect : RECT {
  CRect() = default;
  CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  CRect(const RECT& r) : RECT(r) {}  // NOLINT: converts like the framework's
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  BOOL PtInRect(POINT p) const { return ::PtInRect(this, p); }
};

class CGdiObject {
 public:
  CGdiObject() = default;
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;
  virtual ~CGdiObject() { DeleteObject(); }
  BOOL DeleteObject();
  BOOL Attach(HGDIOBJ object);
  HGDIOBJ Detach();
  HGDIOBJ GetSafeHandle() const { return m_hObject; }
  HGDIOBJ m_hObject = nullptr;
};

class CBitmap : public CGdiObject {
 public:
  // A bitmap of the program's resources.
  BOOL LoadBitmap(UINT id);
  int GetBitmap(BITMAP* out) const { return GetObjectW(m_hObject, sizeof(BITMAP), out); }
  operator HBITMAP() const { return m_hObject; }
};

class CBitmap;

class CDC {
 public:
  CDC() = default;
  explicit CDC(HDC dc) : m_hDC(dc) {}
  CDC(const CDC&) = delete;
  CDC& operator=(const CDC&) = delete;
  virtual ~CDC();
  BOOL CreateCompatibleDC(CDC* other);
  BOOL DeleteDC();
  HDC GetSafeHdc() const { return m_hDC; }
  operator HDC() const { return m_hDC; }
  HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
  CBitmap* SelectObject(CBitmap* bitmap);  // the previous bitmap is not wrapped: nullptr
  BOOL BitBlt(int x, int y, int w, int h, CDC* source, int sx, int sy, DWORD rop) {
    return ::BitBlt(m_hDC, x, y, w, h, source->m_hDC, sx, sy, rop);
  }
  BOOL StretchBlt(int x, int y, int w, int h, CDC* source, int sx, int sy, int sw, int sh, DWORD rop) {
    return ::StretchBlt(m_hDC, x, y, w, h, source->m_hDC, sx, sy, sw, sh, rop);
  }
  void FillSolidRect(const RECT* rect, COLORREF colour);
  BOOL Rectangle(const RECT* r) { return ::Rectangle(m_hDC, r->left, r->top, r->right, r->bottom); }
  int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
  COLORREF SetBkColor(COLORREF c) { return ::SetBkColor(m_hDC, c); }
  COLORREF SetTextColor(COLORREF c) { return ::SetTextColor(m_hDC, c); }
  int DrawText(const WString& text, RECT* rect, UINT format) {
    return ::DrawTextW(m_hDC, text.c_str(), static_cast<int>(text.size()), rect, format);
  }
  HDC m_hDC = nullptr;

 protected:
  bool m_owned = false;  // created here and deleted with the object

 private:
  std::unique_ptr<CBitmap> m_previousBitmap;  // wraps, without owning, what SelectObject replaced
};

class CWnd;
struct HICON__;
using HICON = HICON__*;

// BeginPaint / EndPaint for the lifetime of the object.
class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps;

 private:
  HWND m_window;
};

// GetDC / ReleaseDC for the lifetime of the object.
class CClientDC : public CDC {
 public:
  explicit CClientDC(CWnd* window);
  ~CClientDC() override;

 private:
  HWND m_window;
};

class CWnd : public WindowHandler {
 public:
  CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
  ~CWnd() override;

  // The wrapper of a window: its own object when it has one, else a plain one kept until
  // the window is destroyed.
  static CWnd* FromHandle(HWND window);

  HWND GetSafeHwnd() const { return this ? m_hWnd : nullptr; }
  operator HWND() const { return m_hWnd; }

  // Gives the window this object's message handling.
  BOOL SubclassWindow(HWND window);
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  HWND UnsubclassWindow();
  BOOL DestroyWindow();

  CWnd* GetDlgItem(int id) const;
  CWnd* GetParent() const;
  BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  void MoveWindow(int x, int y, int w, int h, BOOL repaint = TRUE) { ::MoveWindow(m_hWnd, x, y, w, h, repaint); }
  void MoveWindow(const RECT* r, BOOL repaint = TRUE) {
    ::MoveWindow(m_hWnd, r->left, r->top, r->right - r->left, r->bottom - r->top, repaint);
  }
  BOOL SetWindowPos(const CWnd* after, int x, int y, int w, int h, UINT flags);
  void SetWindowText(const WString& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
  WString GetWindowText() const { return ::GetWindowTextW(m_hWnd); }
  void GetClientRect(RECT* r) const { ::GetClientRect(m_hWnd, r); }
  void GetWindowRect(RECT* r) const { ::GetWindowRect(m_hWnd, r); }
  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  void InvalidateRect(const RECT* r, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, r, erase); }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  CDC* GetDC();
  int ReleaseDC(CDC* dc);
  UINT_PTR SetTimer(UINT_PTR id, UINT period, TIMERPROC callback) { return ::SetTimer(m_hWnd, id, period, callback); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
  LRESULT SendMessage(UINT m, WPARAM w = 0, LPARAM l = 0) { return ::SendMessage(m_hWnd, m, w, l); }
  BOOL PostMessage(UINT m, WPARAM w = 0, LPARAM l = 0) { return ::PostMessage(m_hWnd, m, w, l); }
  HICON SetIcon(HICON icon, BOOL big);
  int MessageBox(const WString& text, const WString& caption = u"", UINT type = 0);

  // Handlers; the defaults pass the message to the default procedure.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual void OnPaint();
  virtual BOOL OnEraseBkgnd(CDC* dc);
  virtual void OnTimer(UINT_PTR id);
  virtual void OnLButtonDown(UINT flags, CPoint point);
  virtual void OnMouseMove(UINT flags, CPoint point);
  virtual void OnLButtonUp(UINT flags, CPoint point);
  virtual void OnDestroy();
  // After WM_DESTROY, once the window is gone.
  virtual void PostNcDestroy() {}
  // The default procedure for the message being handled.
  LRESULT Default();

  HWND m_hWnd = nullptr;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) final;
  static CWnd* Lookup(HWND window);

 private:
  struct Current {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  Current m_current{};
  WindowHandler* m_previousHandler = nullptr;
  std::map<HDC, std::unique_ptr<CDC>> m_dcs;
  HICON m_icons[2] = {};
};

HICON LoadIconFromResources(int id);  // the icon bitmap is kept for the process's life

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_templateId(templateId), m_pParentWnd(parent) {}
  // Makes the dialog from its template (a plain 800 x 480 dialog when there is none), runs
  // OnInitDialog, shows it and runs a modal loop on the window thread until EndDialog; the
  // owner window is disabled meanwhile. Loops nest. Returns the EndDialog result, or -1 when
  // the dialog could not be made or the loop ended by WM_QUIT (which is passed on).
  virtual INT_PTR DoModal();
  void EndDialog(int result);
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

 protected:
  // Makes the dialog's window and controls (from the template); nullptr on failure.
  virtual HWND CreateDialogWindow();
  UINT m_templateId;
  CWnd* m_pParentWnd;

 private:
  bool m_ended = false;
  int m_result = 0;
};

// A push button that draws itself from an up and a down bitmap of the resources.
class CBitmapButton : public CWnd {
 public:
  BOOL LoadBitmaps(UINT up, UINT down = 0, UINT focus = 0, UINT disabled = 0);
  // Sizes the button to its up bitmap.
  void SizeToContent();
  void OnPaint() override;
  BOOL OnEraseBkgnd(CDC*) override { return TRUE; }
  CBitmap m_bitmap;
  CBitmap m_bitmapSel;
  CBitmap m_bitmapFocus;
  CBitmap m_bitmapDisabled;
};

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;
  // FALSE ends the program without a message loop; ExitInstance runs in either case.
  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return 0; }
  // The colours dialogs erase with and write text in.
  void SetDialogBkColor(COLORREF background = RGB(192, 192, 192), COLORREF text = RGB(0, 0, 0));
  CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// Runs the application object: InitInstance, the message loop when it returned TRUE, then
// ExitInstance, whose result is returned.
int AfxWinMain();

// A box over everything with the text and an OK button; returns IDOK once it is tapped.
constexpr UINT MB_OK = 0;
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
