// Windows and messages on the device's screen.
//
// One window thread runs every window of the process: the first thread that creates a window
// becomes it. Other threads may post, send (waiting until the window thread has handled the
// message), invalidate and feed input. Windows draw straight into the visible frame buffer,
// each clipped to its visible part: windows above it and its own visible children are left
// out. There is no back buffer.
#pragma once

#include <cstdint>

#include "platform/gdi/gdi.h"

struct WindowObject;
using HWND = WindowObject*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(int lo, int hi) {
  return static_cast<LPARAM>(static_cast<DWORD>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)));
}
// Signed coordinates of a mouse message's lParam.
constexpr int GET_X_LPARAM(LPARAM l) { return static_cast<short>(l & 0xFFFF); }
constexpr int GET_Y_LPARAM(LPARAM l) { return static_cast<short>((l >> 16) & 0xFFFF); }

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_SETICON = 0x0080;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_USER = 0x0400;
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WORD BN_CLICKED = 0;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// What a window does with its messages. The framework's CWnd implements it.
struct WindowHandler {
  virtual ~WindowHandler() = default;
  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// What a window is for the default procedure: dialogs erase with the dialog colour, statics
// neither paint nor take touches, buttons draw their caption.
enum class WindowKind { Plain, Dialog, Button, Static };

// A window at rect (parent client coordinates, or screen coordinates for a top-level window).
// The handler may be null (the default procedure handles everything) and must outlive the
// window. The window is created hidden.
HWND CreateWindowObject(WindowKind kind, HWND parent, const RECT& rect, LPCWSTR text, int id, WindowHandler* handler);
// Sends WM_DESTROY to the window, then to its children, then removes them; what they covered
// is invalidated, with erasing, on the windows below.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
WindowHandler* GetWindowHandler(HWND window);
// Replaces the window's handler; returns the previous one.
WindowHandler* SetWindowHandler(HWND window, WindowHandler* handler);
WindowKind GetWindowKind(HWND window);
HWND GetParent(HWND window);
int GetDlgCtrlID(HWND window);
HWND GetDlgItem(HWND dialog, int id);

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Makes the window thread's modal loops end in turn (each passes WM_QUIT on to the next).
void PostQuitMessage(int exitCode);

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
// Returns whether the window was visible before.
BOOL ShowWindow(HWND window, int command);
BOOL IsWindowVisible(HWND window);  // the window and all its ancestors
BOOL EnableWindow(HWND window, BOOL enable);  // returns whether it was disabled before
BOOL IsWindowEnabled(HWND window);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);

inline const HWND HWND_TOP = reinterpret_cast<HWND>(0);
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(1);
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(-1);
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(-2);
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
BOOL SetWindowPos(HWND window, HWND after, int x, int y, int width, int height, UINT flags);

// Push buttons: whether the button shows its down state (a touch went down on it and is
// still over it).
BOOL IsButtonDown(HWND button);

BOOL SetWindowTextW(HWND window, LPCWSTR text);
WString GetWindowTextW(HWND window);
// A top-level window of this process by its title (the class name is not looked at).
HWND FindWindowW(LPCWSTR className, LPCWSTR title);
// The top-level window in front (topmost and visible), or null.
HWND GetForegroundWindow();
BOOL GetClientRect(HWND window, RECT* rect);
BOOL GetWindowRect(HWND window, RECT* rect);  // screen coordinates
BOOL ClientToScreen(HWND window, POINT* point);
BOOL ScreenToClient(HWND window, POINT* point);

// ---- Painting ------------------------------------------------------------------------------

// Adds rect (all the window when null) to the update region. When the window thread has
// nothing else to do it paints: BeginPaint sends WM_ERASEBKGND if any invalidation asked for
// erasing, then WM_PAINT is handled. Parents paint before their children.
BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL ValidateRect(HWND window, const RECT* rect);
BOOL GetUpdateRect(HWND window, RECT* rect, BOOL erase);
// Paints the window now if it has an update region.
BOOL UpdateWindow(HWND window);

struct PAINTSTRUCT {
  HDC hdc = nullptr;
  BOOL fErase = FALSE;  // TRUE when the erase was not done (WM_ERASEBKGND returned 0)
  RECT rcPaint;
};
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
// A context on the window's visible part (the whole screen for null), at any time.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

// ---- Timers --------------------------------------------------------------------------------

// Starts or restarts timer id of the window. Its WM_TIMER (or the callback, when given)
// comes when the window thread has nothing else to do, at most once per period.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC callback);
BOOL KillTimer(HWND window, UINT_PTR id);

// ---- The message loop ----------------------------------------------------------------------

struct MSG {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  DWORD time = 0;
  POINT pt;
};
// Waits for the next message of the window thread; FALSE for WM_QUIT. Messages sent from other
// threads are handled inside. Input is delivered to the window under the touch.
BOOL GetMessage(MSG* msg, HWND window, UINT first, UINT last);
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;
BOOL PeekMessage(MSG* msg, HWND window, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);

// ---- Input and the hosts -------------------------------------------------------------------

enum class TouchKind { Down, Move, Up };
// Queues a touch at screen coordinates (any thread). A touch goes to the topmost visible,
// enabled window under it (statics let it through to their parent); after a down, moves and
// the up go to the same window.
void PostTouch(TouchKind kind, int x, int y);
// Waits until the window thread waits for messages with nothing to do: nothing queued, nothing
// to paint, no timer due, and no newly started timer about to tick for the first time within
// 20 ms (a screen that starts a 1 ms timer from its paint to finish drawing has not settled
// yet; a timer that keeps ticking is not waited for). False when that did not happen within timeoutMs of device time.
// With no window alive it returns at once: the window thread may be busy between two dialogs.
bool WaitForWindowThreadIdle(DWORD timeoutMs);
// Ends the window thread's loops from any thread (the end of a script).
void PostQuitToWindowThread(int exitCode);
// True once some thread has created a window.
bool HasWindowThread();
// True once some top-level window has been shown.
bool WindowWasShown();

// The wait cursor and the mouse cursor: overlays of the host, never drawn into the frame.
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
HCURSOR LoadCursorW(void* instance, LPCWSTR name);
inline LPCWSTR const IDC_WAIT = reinterpret_cast<LPCWSTR>(32514);
inline LPCWSTR const IDC_ARROW = reinterpret_cast<LPCWSTR>(32512);
HCURSOR SetCursor(HCURSOR cursor);
int ShowCursor(BOOL show);
// For hosts: whether the wait cursor is up, and the show count of the mouse cursor.
bool IsWaitCursorShown();
int CursorShowCount();

// The colour dialogs erase with (the framework's dialog background colour).
void SetDialogBackground(COLORREF colour);
COLORREF GetDialogBackground();
