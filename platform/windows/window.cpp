// The window manager: the window tree, the window thread's queue, painting, timers, input.
//
// All state is guarded by one mutex, which is never held while a window procedure runs.
#include "platform/windows/window.h"
#include "platform/windows/window_link.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <unordered_set>
#include <vector>

#include "platform/kernel/clock.h"
#include "platform/device/framebuffer.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/local_memory.h"

namespace {

struct Timer {
  UINT_PTR id;
  UINT period;
  TIMERPROC callback;
  std::uint64_t due;
  bool fired = false;  // has ticked since it was (re)started
};

using Region = std::vector<RECT>;

}  // namespace

struct WindowObject {
  WindowKind kind = WindowKind::Plain;
  HWND parent = nullptr;
  std::vector<HWND> children;  // back to front
  RECT rect;                   // parent client coordinates (screen for top-level windows)
  bool visible = false;
  bool enabled = true;
  bool topmost = false;
  bool pressed = false;  // push buttons: a touch is down on the button
  bool pressInside = false;
  WString text;
  int id = 0;
  WindowHandler* handler = nullptr;
  Region update;  // client coordinates
  bool erase = false;
  int paints = 0;  // BeginPaint calls, to see whether a paint handler validated
  std::vector<Timer> timers;
};

namespace {

struct SentCall {
  bool done = false;
  LRESULT result = 0;
};

struct Item {
  enum Kind { Posted, Sent, Touch } kind = Posted;
  MSG msg;
  TouchKind touch = TouchKind::Down;
  std::shared_ptr<SentCall> call;
};

struct State {
  std::mutex mutex;
  std::condition_variable_any wake;  // the window thread's queue changed
  std::condition_variable_any done;  // a sent message was handled, or the thread went idle
  std::vector<HWND> top;             // top-level windows, back to front, topmost ones last
  std::unordered_set<HWND> live;
  std::deque<Item> queue;
  bool hasThread = false;
  bool windowShown = false;  // some top-level window has been shown
  std::thread::id thread;
  bool quit = false;
  int quitCode = 0;
  bool idle = false;
  HWND capture = nullptr;
  // The window thread has worked since the heaps' free pages last went back to the system, and
  // the device time before which they are not given back again.
  bool workedSinceFreeMemory = false;
  std::uint64_t nextFreeMemoryMs = 0;
};

// The pause between two givings back of free memory: one a second is plenty and costs next
// to nothing.
constexpr std::uint64_t kFreeMemoryPeriodMs = 1000;

State& S() {
  static State* state = new State;  // outlives every window thread
  return *state;
}

using Lock = std::unique_lock<std::mutex>;

bool OnWindowThread() {
  State& s = S();
  return !s.hasThread || s.thread == std::this_thread::get_id();
}

bool Live(HWND w) { return w && S().live.count(w); }

RECT Intersection(const RECT& a, const RECT& b) {
  RECT r;
  IntersectRect(&r, &a, &b);
  return r;
}

// Screen position of a window's client origin.
POINT Origin(HWND w) {
  POINT p{w->rect.left, w->rect.top};
  for (HWND a = w->parent; a; a = a->parent) p.x += a->rect.left, p.y += a->rect.top;
  return p;
}

RECT ScreenRect(HWND w) {
  const POINT o = Origin(w);
  return RECT{o.x, o.y, o.x + (w->rect.right - w->rect.left), o.y + (w->rect.bottom - w->rect.top)};
}

bool VisibleChain(HWND w) {
  for (; w; w = w->parent)
    if (!w->visible) return false;
  return true;
}

void Subtract(Region& region, const RECT& cut) {
  Region out;
  for (const RECT& r : region) {
    RECT i;
    if (!IntersectRect(&i, &r, &cut)) {
      out.push_back(r);
      continue;
    }
    if (r.top < i.top) out.push_back(RECT{r.left, r.top, r.right, i.top});
    if (i.bottom < r.bottom) out.push_back(RECT{r.left, i.bottom, r.right, r.bottom});
    if (r.left < i.left) out.push_back(RECT{r.left, i.top, i.left, i.bottom});
    if (i.right < r.right) out.push_back(RECT{i.right, i.top, r.right, i.bottom});
  }
  region.swap(out);
}

const std::vector<HWND>& Siblings(HWND w) { return w->parent ? w->parent->children : S().top; }

// What of the window can be seen, in screen coordinates: inside its ancestors, not under a
// window above it at any level, not under its own visible children.
Region VisibleRegion(HWND w) {
  Region region;
  if (!VisibleChain(w)) return region;
  RECT r = ScreenRect(w);
  for (HWND a = w->parent; a; a = a->parent) r = Intersection(r, ScreenRect(a));
  if (IsRectEmpty(&r)) return region;
  region.push_back(r);
  for (HWND cur = w; cur; cur = cur->parent) {
    const std::vector<HWND>& sib = Siblings(cur);
    auto it = std::find(sib.begin(), sib.end(), cur);
    for (++it; it != sib.end(); ++it)
      if ((*it)->visible) Subtract(region, ScreenRect(*it));
  }
  for (HWND c : w->children)
    if (c->visible) Subtract(region, ScreenRect(c));
  return region;
}

// Adds a screen-coordinate area to the window's update region, as far as it is visible.
void AddUpdate(HWND w, const Region& screenArea, bool erase) {
  const POINT o = Origin(w);
  bool added = false;
  for (const RECT& visible : VisibleRegion(w))
    for (const RECT& a : screenArea) {
      RECT i;
      if (!IntersectRect(&i, &visible, &a)) continue;
      OffsetRect(&i, -o.x, -o.y);
      w->update.push_back(i);
      added = true;
    }
  if (!added) return;
  // Many small pieces become their bounding box.
  if (w->update.size() > 32) {
    RECT box{};
    for (const RECT& r : w->update) UnionRect(&box, &box, &r);
    w->update.assign(1, box);
  }
  if (erase) w->erase = true;
  S().wake.notify_all();
}

void InvalidateTree(HWND w, bool erase) {
  AddUpdate(w, Region{ScreenRect(w)}, erase);
  for (HWND c : w->children) InvalidateTree(c, erase);
}

template <typename F>
void ForEachWindow(F f) {
  // Parents before children, back to front.
  std::vector<HWND> order;
  std::function<void(HWND)> walk = [&](HWND w) {
    order.push_back(w);
    for (HWND c : w->children) walk(c);
  };
  for (HWND t : S().top) walk(t);
  for (HWND w : order) f(w);
}

bool InTree(HWND w, HWND root) {
  for (; w; w = w->parent)
    if (w == root) return true;
  return false;
}

// The screen area a window takes up, as far as its ancestors let it be seen.
Region Footprint(HWND w) {
  if (!VisibleChain(w)) return {};
  RECT r = ScreenRect(w);
  for (HWND a = w->parent; a; a = a->parent) r = Intersection(r, ScreenRect(a));
  return IsRectEmpty(&r) ? Region{} : Region{r};
}

// After a window has left an area, the windows that can now be seen there repaint it.
void Uncover(const Region& area, HWND except) {
  if (area.empty()) return;
  ForEachWindow([&](HWND w) {
    if (except && InTree(w, except)) return;
    AddUpdate(w, area, true);
  });
}

void RemoveFromSiblings(HWND w) {
  std::vector<HWND>& sib = w->parent ? w->parent->children : S().top;
  sib.erase(std::remove(sib.begin(), sib.end(), w), sib.end());
}

// Puts a window at the front of its group (topmost windows stay above the others).
void BringToFront(HWND w) {
  RemoveFromSiblings(w);
  std::vector<HWND>& sib = w->parent ? w->parent->children : S().top;
  auto pos = sib.end();
  if (!w->topmost)
    pos = std::find_if(sib.begin(), sib.end(), [](HWND o) { return o->topmost; });
  sib.insert(pos, w);
}

HWND FindPaint() {
  HWND found = nullptr;
  ForEachWindow([&](HWND w) {
    if (!found && !w->update.empty()) {
      if (VisibleChain(w)) found = w;
      else {
        w->update.clear();
        w->erase = false;
      }
    }
  });
  return found;
}

Timer* DueTimer(HWND* owner, std::uint64_t now) {
  Timer* best = nullptr;
  ForEachWindow([&](HWND w) {
    for (Timer& t : w->timers)
      if (t.due <= now && (!best || t.due < best->due)) best = &t, *owner = w;
  });
  return best;
}

// When the first tick of a timer that has not ticked since it was started comes, if it comes
// by the given time; 0 when none does.
std::uint64_t FirstTickDueBy(std::uint64_t time) {
  std::uint64_t first = 0;
  ForEachWindow([&](HWND w) {
    for (const Timer& t : w->timers)
      if (!t.fired && t.due <= time && (first == 0 || t.due < first)) first = t.due;
  });
  return first;
}

std::uint64_t NextTimerDue() {
  std::uint64_t next = UINT64_MAX;
  ForEachWindow([&](HWND w) {
    for (const Timer& t : w->timers) next = std::min(next, t.due);
  });
  return next;
}

HWND HitTestIn(HWND w, POINT p) {
  for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
    HWND c = *it;
    if (!c->visible || c->kind == WindowKind::Static) continue;
    RECT r = ScreenRect(c);
    if (PtInRect(&r, p)) return HitTestIn(c, p);
  }
  return w;
}

HWND HitTest(POINT p) {
  for (auto it = S().top.rbegin(); it != S().top.rend(); ++it) {
    HWND t = *it;
    if (!t->visible) continue;
    RECT r = ScreenRect(t);
    if (!PtInRect(&r, p)) continue;
    HWND w = HitTestIn(t, p);
    while (w && !w->enabled) w = w->parent;
    return w;
  }
  return nullptr;
}

LRESULT Deliver(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowHandler* handler = nullptr;
  {
    Lock lock(S().mutex);
    if (!Live(w)) return 0;
    handler = w->handler;
  }
  return handler ? handler->HandleMessage(w, message, wParam, lParam) : DefWindowProc(w, message, wParam, lParam);
}

void DrainSent(Lock& lock) {
  State& s = S();
  for (;;) {
    auto it = std::find_if(s.queue.begin(), s.queue.end(), [](const Item& i) { return i.kind == Item::Sent; });
    if (it == s.queue.end()) return;
    Item item = std::move(*it);
    s.queue.erase(it);
    lock.unlock();
    const LRESULT result = Deliver(item.msg.hwnd, item.msg.message, item.msg.wParam, item.msg.lParam);
    lock.lock();
    item.call->result = result;
    item.call->done = true;
    s.done.notify_all();
  }
}

// Turns the queued touch into a mouse message for the window under it.
bool TouchMessage(const Item& item, MSG* msg) {
  State& s = S();
  POINT p{item.msg.pt.x, item.msg.pt.y};
  HWND target = s.capture && Live(s.capture) ? s.capture : nullptr;
  if (item.touch == TouchKind::Down || !target) target = HitTest(p);
  if (item.touch == TouchKind::Down) s.capture = target;
  if (item.touch == TouchKind::Up) s.capture = nullptr;
  if (!target) return false;
  const POINT o = Origin(target);
  msg->hwnd = target;
  msg->message = item.touch == TouchKind::Down ? WM_LBUTTONDOWN : item.touch == TouchKind::Move ? WM_MOUSEMOVE : WM_LBUTTONUP;
  msg->wParam = item.touch == TouchKind::Up ? 0 : MK_LBUTTON;
  msg->lParam = MAKELPARAM(p.x - o.x, p.y - o.y);
  msg->pt = p;
  msg->time = GetTickCount();
  return true;
}

// The next message for the window thread; false when there is none (and wait is false).
bool NextMessage(MSG* msg, bool wait, bool remove) {
  State& s = S();
  Lock lock(s.mutex);
  if (!s.hasThread) {
    s.hasThread = true;
    s.thread = std::this_thread::get_id();
  }
  if (wait) s.workedSinceFreeMemory = true;  // the last message has been handled
  for (;;) {
    DrainSent(lock);
    if (s.quit) {
      *msg = MSG{};
      msg->message = WM_QUIT;
      msg->wParam = static_cast<WPARAM>(s.quitCode);
      if (remove) s.quit = false;
      return true;
    }
    while (!s.queue.empty()) {
      Item item = s.queue.front();
      if (item.kind == Item::Touch) {
        if (!remove) {
          *msg = MSG{};
          msg->message = WM_MOUSEMOVE;
          return true;
        }
        s.queue.pop_front();
        if (TouchMessage(item, msg)) return true;
        continue;
      }
      if (remove) s.queue.pop_front();
      *msg = item.msg;
      return true;
    }
    if (HWND w = FindPaint()) {
      *msg = MSG{};
      msg->hwnd = w;
      msg->message = WM_PAINT;
      return true;
    }
    const std::uint64_t now = DeviceTimeMs();
    HWND owner = nullptr;
    if (Timer* t = DueTimer(&owner, now)) {
      *msg = MSG{};
      msg->hwnd = owner;
      msg->message = WM_TIMER;
      msg->wParam = t->id;
      msg->lParam = reinterpret_cast<LPARAM>(t->callback);
      msg->time = TickCountAt(now);
      if (remove) {
        t->due = now + std::max<UINT>(t->period, 1);
        t->fired = true;
      }
      return true;
    }
    if (!wait) return false;
    // On its way to sleep after work, the thread gives the heaps' free pages back to the
    // system (without the lock: the other threads go on posting meanwhile), at most once a
    // period; a thread that sleeps undisturbed costs nothing.
    if (s.workedSinceFreeMemory && now >= s.nextFreeMemoryMs) {
      s.workedSinceFreeMemory = false;
      s.nextFreeMemoryMs = now + kFreeMemoryPeriodMs;
      lock.unlock();
      ReturnFreeMemory();
      lock.lock();
      continue;
    }
    s.idle = true;
    s.done.notify_all();
    // Everything that gives the thread work wakes it; otherwise it sleeps until the next timer
    // (or until free memory may be given back after work).
    std::uint64_t until = NextTimerDue();
    if (s.workedSinceFreeMemory) until = std::min(until, s.nextFreeMemoryMs);
    WaitUntilDeviceTime(s.wake, lock, until);
    s.idle = false;
  }
}

void Post(Item item) {
  State& s = S();
  s.queue.push_back(std::move(item));
  s.wake.notify_all();
}

struct WindowDC : DeviceContext {
  HWND window = nullptr;
};

HDC MakeWindowDC(HWND w, const Region* limit) {
  auto* dc = new WindowDC;
  ResetDC(*dc);
  dc->window = w;
  dc->surface = {GetVisibleFrame(), kScreenWidth, kScreenHeight, kScreenWidth};
  if (w) {
    dc->origin = Origin(w);
    dc->clipped = true;
    dc->clip = VisibleRegion(w);
    if (limit) {
      Region both;
      for (const RECT& a : dc->clip)
        for (const RECT& b : *limit) {
          RECT i;
          if (IntersectRect(&i, &a, &b)) both.push_back(i);
        }
      dc->clip.swap(both);
    }
  }
  RegisterDC(dc);
  return dc;
}

COLORREF g_dialogBackground = RGB(1, 1, 1);
bool g_waitCursor = false;
int g_cursorCount = 0;

void DrawPushButton(HWND w, HDC dc) {
  RECT r;
  GetClientRect(w, &r);
  const bool down = IsButtonDown(w);
  HBRUSH face = CreateSolidBrush(down ? RGB(90, 90, 90) : RGB(200, 200, 200));
  HPEN pen = CreatePen(PS_SOLID, 2, RGB(40, 40, 40));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, face);
  Rectangle(dc, r.left, r.top, r.right, r.bottom);
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(face);
  DeleteObject(pen);
  LOGFONTW lf;
  lf.lfHeight = std::min<LONG>(24, (r.bottom - r.top) * 2 / 3);
  lf.lfWeight = FW_BOLD;
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, down ? RGB(255, 255, 255) : RGB(0, 0, 0));
  const WString text = GetWindowTextW(w);
  DrawTextW(dc, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (font) {
    SelectObject(dc, oldFont);
    DeleteObject(font);
  }
}

LRESULT ButtonInput(HWND w, UINT message, LPARAM lParam) {
  RECT client;
  GetClientRect(w, &client);
  const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const bool inside = PtInRect(&client, p);
  bool changed = false, click = false;
  {
    Lock lock(S().mutex);
    if (!Live(w)) return 0;
    const bool before = w->pressed && w->pressInside;
    if (message == WM_LBUTTONDOWN) w->pressed = true, w->pressInside = true;
    else if (message == WM_MOUSEMOVE && w->pressed) w->pressInside = inside;
    else if (message == WM_LBUTTONUP && w->pressed) {
      click = inside;
      w->pressed = w->pressInside = false;
    }
    changed = before != (w->pressed && w->pressInside);
    if (changed) AddUpdate(w, Region{ScreenRect(w)}, false);
  }
  if (changed) UpdateWindow(w);
  if (click) {
    HWND parent = GetParent(w);
    if (parent) SendMessage(parent, WM_COMMAND, (static_cast<WPARAM>(BN_CLICKED) << 16) | static_cast<WORD>(GetDlgCtrlID(w)),
                            reinterpret_cast<LPARAM>(w));
  }
  return 0;
}

}  // namespace

// ---- Windows ---------------------------------------------------------------------------------

HWND CreateWindowObject(WindowKind kind, HWND parent, const RECT& rect, LPCWSTR text, int id, WindowHandler* handler) {
  State& s = S();
  Lock lock(s.mutex);
  if (parent && !Live(parent)) return nullptr;
  if (!s.hasThread) {
    s.hasThread = true;
    s.thread = std::this_thread::get_id();
  }
  auto* w = new WindowObject;
  w->kind = kind;
  w->parent = parent;
  w->rect = rect;
  w->text = text ? WString(text) : WString();
  w->id = id;
  w->handler = handler;
  s.live.insert(w);
  BringToFront(w);
  return w;
}

BOOL DestroyWindow(HWND window) {
  std::vector<HWND> tree;
  {
    Lock lock(S().mutex);
    if (!Live(window)) return FALSE;
    std::function<void(HWND)> walk = [&](HWND w) {
      tree.push_back(w);
      for (HWND c : w->children) walk(c);
    };
    walk(window);
  }
  for (HWND w : tree) Deliver(w, WM_DESTROY, 0, 0);
  State& s = S();
  Lock lock(s.mutex);
  if (!Live(window)) return TRUE;
  const Region area = Footprint(window);
  RemoveFromSiblings(window);
  for (auto it = tree.rbegin(); it != tree.rend(); ++it) {
    HWND w = *it;
    if (s.capture == w) s.capture = nullptr;
    s.live.erase(w);
    std::erase_if(s.queue, [w](const Item& i) { return i.kind == Item::Posted && i.msg.hwnd == w; });
    delete w;
  }
  Uncover(area, nullptr);
  s.done.notify_all();  // a host waiting for the screen to settle may have nothing left to wait for
  return TRUE;
}

BOOL IsWindow(HWND window) {
  Lock lock(S().mutex);
  return Live(window);
}

WindowHandler* GetWindowHandler(HWND window) {
  Lock lock(S().mutex);
  return Live(window) ? window->handler : nullptr;
}

WindowHandler* SetWindowHandler(HWND window, WindowHandler* handler) {
  Lock lock(S().mutex);
  if (!Live(window)) return nullptr;
  return std::exchange(window->handler, handler);
}

WindowKind GetWindowKind(HWND window) {
  Lock lock(S().mutex);
  return Live(window) ? window->kind : WindowKind::Plain;
}

HWND GetParent(HWND window) {
  Lock lock(S().mutex);
  return Live(window) ? window->parent : nullptr;
}

int GetDlgCtrlID(HWND window) {
  Lock lock(S().mutex);
  return Live(window) ? window->id : 0;
}

HWND GetDlgItem(HWND dialog, int id) {
  Lock lock(S().mutex);
  if (!Live(dialog)) return nullptr;
  for (HWND c : dialog->children)
    if (c->id == id) return c;
  return nullptr;
}

LRESULT DefWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const WindowKind kind = GetWindowKind(window);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      if (dc && kind == WindowKind::Button) DrawPushButton(window, dc);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      if (kind == WindowKind::Dialog) {
        RECT r;
        GetClientRect(window, &r);
        HBRUSH brush = CreateSolidBrush(GetDialogBackground());
        FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
        DeleteObject(brush);
        return 1;
      }
      return kind == WindowKind::Plain ? 0 : 1;
    }
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
      if (kind == WindowKind::Button) return ButtonInput(window, message, lParam);
      return 0;
    case WM_SETTEXT:
      SetWindowTextW(window, reinterpret_cast<LPCWSTR>(lParam));
      return 1;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    default:
      return 0;
  }
}

LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsRemoteWindow(window)) return SendRemoteMessage(window, message, wParam, lParam);
  State& s = S();
  {
    Lock lock(s.mutex);
    if (!Live(window)) return 0;
    if (!OnWindowThread()) {
      Item item;
      item.kind = Item::Sent;
      item.msg.hwnd = window;
      item.msg.message = message;
      item.msg.wParam = wParam;
      item.msg.lParam = lParam;
      item.call = std::make_shared<SentCall>();
      auto call = item.call;
      Post(std::move(item));
      while (!call->done) s.done.wait(lock);
      return call->result;
    }
  }
  return Deliver(window, message, wParam, lParam);
}

BOOL PostMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsRemoteWindow(window)) return PostRemoteMessage(window, message, wParam, lParam);
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  Item item;
  item.msg.hwnd = window;
  item.msg.message = message;
  item.msg.wParam = wParam;
  item.msg.lParam = lParam;
  item.msg.time = GetTickCount();
  Post(std::move(item));
  return TRUE;
}

void PostQuitMessage(int exitCode) { PostQuitToWindowThread(exitCode); }

void PostQuitToWindowThread(int exitCode) {
  Lock lock(S().mutex);
  S().quit = true;
  S().quitCode = exitCode;
  S().wake.notify_all();
}

bool HasWindowThread() {
  Lock lock(S().mutex);
  return S().hasThread;
}

bool WindowWasShown() {
  Lock lock(S().mutex);
  return S().windowShown;
}

BOOL ShowWindow(HWND window, int command) {
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  const bool was = window->visible;
  const bool show = command != SW_HIDE;
  if (was == show) return was;
  if (!show) {
    const Region area = Footprint(window);
    window->visible = false;
    if (S().capture && InTree(S().capture, window)) S().capture = nullptr;
    Uncover(area, window);
  } else {
    window->visible = true;
    if (!window->parent) S().windowShown = true;
    InvalidateTree(window, true);
  }
  return was;
}

BOOL IsWindowVisible(HWND window) {
  Lock lock(S().mutex);
  return Live(window) && VisibleChain(window);
}

BOOL EnableWindow(HWND window, BOOL enable) {
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  const bool wasDisabled = !window->enabled;
  window->enabled = enable != FALSE;
  if (wasDisabled == window->enabled) AddUpdate(window, Region{ScreenRect(window)}, false);
  if (!window->enabled) window->pressed = window->pressInside = false;
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  Lock lock(S().mutex);
  return Live(window) && window->enabled;
}

BOOL IsButtonDown(HWND button) {
  Lock lock(S().mutex);
  return Live(button) && button->pressed && button->pressInside;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  const RECT next{x, y, x + width, y + height};
  if (next == window->rect) return TRUE;
  const Region area = Footprint(window);
  window->rect = next;
  if (repaint) {
    Uncover(area, window);
    InvalidateTree(window, true);
  }
  return TRUE;
}

BOOL SetWindowPos(HWND window, HWND after, int x, int y, int width, int height, UINT flags) {
  {
    Lock lock(S().mutex);
    if (!Live(window)) return FALSE;
    if (!(flags & SWP_NOZORDER)) {
      const std::vector<HWND> before = Siblings(window);
      if (after == HWND_TOPMOST) window->topmost = true;
      if (after == HWND_NOTOPMOST) window->topmost = false;
      if (after == HWND_BOTTOM) {
        RemoveFromSiblings(window);
        std::vector<HWND>& sib = window->parent ? window->parent->children : S().top;
        sib.insert(sib.begin(), window);
      } else {
        BringToFront(window);
      }
      if (before != Siblings(window) && window->visible) InvalidateTree(window, true);
    }
  }
  RECT r;
  {
    Lock lock(S().mutex);
    r = window->rect;
  }
  if (!(flags & SWP_NOMOVE)) OffsetRect(&r, x - r.left, y - r.top);
  if (!(flags & SWP_NOSIZE)) r.right = r.left + width, r.bottom = r.top + height;
  MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  if (flags & SWP_SHOWWINDOW) ShowWindow(window, SW_SHOW);
  if (flags & SWP_HIDEWINDOW) ShowWindow(window, SW_HIDE);
  return TRUE;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  window->text = text ? WString(text) : WString();
  if (window->kind == WindowKind::Button) AddUpdate(window, Region{ScreenRect(window)}, true);
  return TRUE;
}

WString GetWindowTextW(HWND window) {
  Lock lock(S().mutex);
  return Live(window) ? window->text : WString();
}

HWND FindLocalWindow(LPCWSTR title) {
  Lock lock(S().mutex);
  for (auto it = S().top.rbegin(); it != S().top.rend(); ++it)
    if (!title || (*it)->text == title) return *it;
  return nullptr;
}

HWND FindWindowW(LPCWSTR, LPCWSTR title) {
  HWND local = FindLocalWindow(title);
  return (local || !title || !IsWindowLinkStarted()) ? local : FindRemoteWindow(title);
}

HWND GetForegroundWindow() {
  Lock lock(S().mutex);
  for (auto it = S().top.rbegin(); it != S().top.rend(); ++it)
    if ((*it)->visible) return *it;
  return nullptr;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  Lock lock(S().mutex);
  if (!Live(window) || !rect) return FALSE;
  *rect = RECT{0, 0, window->rect.right - window->rect.left, window->rect.bottom - window->rect.top};
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  Lock lock(S().mutex);
  if (!Live(window) || !rect) return FALSE;
  *rect = ScreenRect(window);
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  Lock lock(S().mutex);
  if (!Live(window) || !point) return FALSE;
  const POINT o = Origin(window);
  point->x += o.x, point->y += o.y;
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  Lock lock(S().mutex);
  if (!Live(window) || !point) return FALSE;
  const POINT o = Origin(window);
  point->x -= o.x, point->y -= o.y;
  return TRUE;
}

// ---- Painting --------------------------------------------------------------------------------

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  RECT area = ScreenRect(window);
  if (rect) {
    const POINT o = Origin(window);
    RECT r = *rect;
    OffsetRect(&r, o.x, o.y);
    area = Intersection(area, r);
  }
  if (!IsRectEmpty(&area)) AddUpdate(window, Region{area}, erase != FALSE);
  return TRUE;
}

BOOL ValidateRect(HWND window, const RECT* rect) {
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  if (!rect) {
    window->update.clear();
    window->erase = false;
  } else {
    Region left = window->update;
    Subtract(left, *rect);
    window->update.swap(left);
    if (window->update.empty()) window->erase = false;
  }
  return TRUE;
}

BOOL GetUpdateRect(HWND window, RECT* rect, BOOL) {
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  RECT box{};
  for (const RECT& r : window->update) UnionRect(&box, &box, &r);
  if (rect) *rect = box;
  return !window->update.empty();
}

BOOL UpdateWindow(HWND window) {
  {
    Lock lock(S().mutex);
    if (!Live(window) || window->update.empty()) return Live(window);
  }
  Deliver(window, WM_PAINT, 0, 0);
  return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  if (!paint) return nullptr;
  *paint = PAINTSTRUCT{};
  bool erase = false;
  HDC dc = nullptr;
  {
    Lock lock(S().mutex);
    if (!Live(window)) return nullptr;
    const POINT o = Origin(window);
    Region area;
    RECT box{};
    for (RECT r : window->update) {
      UnionRect(&box, &box, &r);
      OffsetRect(&r, o.x, o.y);
      area.push_back(r);
    }
    erase = window->erase;
    ++window->paints;
    window->update.clear();
    window->erase = false;
    dc = MakeWindowDC(window, &area);
    paint->rcPaint = box;
  }
  paint->hdc = dc;
  if (erase) paint->fErase = Deliver(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  return dc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) {
  if (!paint || !paint->hdc) return FALSE;
  return DeleteDC(paint->hdc);
}

HDC GetDC(HWND window) {
  Lock lock(S().mutex);
  if (window && !Live(window)) return nullptr;
  return MakeWindowDC(window, nullptr);
}

int ReleaseDC(HWND, HDC dc) { return DeleteDC(dc) ? 1 : 0; }

// ---- Timers ----------------------------------------------------------------------------------

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT periodMs, TIMERPROC callback) {
  Lock lock(S().mutex);
  if (!Live(window)) return 0;
  const std::uint64_t due = DeviceTimeMs() + std::max<UINT>(periodMs, 1);
  for (Timer& t : window->timers)
    if (t.id == id) {
      t = Timer{id, periodMs, callback, due};
      S().wake.notify_all();
      return id ? id : 1;
    }
  window->timers.push_back(Timer{id, periodMs, callback, due});
  S().wake.notify_all();
  return id ? id : 1;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  Lock lock(S().mutex);
  if (!Live(window)) return FALSE;
  const size_t before = window->timers.size();
  std::erase_if(window->timers, [id](const Timer& t) { return t.id == id; });
  return before != window->timers.size();
}

// ---- The loop --------------------------------------------------------------------------------

BOOL GetMessage(MSG* msg, HWND, UINT, UINT) {
  NextMessage(msg, true, true);
  return msg->message != WM_QUIT;
}

BOOL PeekMessage(MSG* msg, HWND, UINT, UINT, UINT remove) {
  return NextMessage(msg, false, remove == PM_REMOVE) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessage(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
    return 0;
  }
  if (msg->message != WM_PAINT) return Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  int paints = 0;
  {
    Lock lock(S().mutex);
    if (!Live(msg->hwnd)) return 0;
    paints = msg->hwnd->paints;
  }
  const LRESULT result = Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  // A paint handler that did not begin a paint would be asked again forever.
  Lock lock(S().mutex);
  if (Live(msg->hwnd) && msg->hwnd->paints == paints) {
    msg->hwnd->update.clear();
    msg->hwnd->erase = false;
  }
  return result;
}

void PostTouch(TouchKind kind, int x, int y) {
  Lock lock(S().mutex);
  Item item;
  item.kind = Item::Touch;
  item.touch = kind;
  item.msg.pt = POINT{x, y};
  Post(std::move(item));
}

// A newly started timer whose first tick comes this soon is still part of the drawing in
// progress: screens start 1 ms timers from a paint to draw the rest of it. Timers that keep
// ticking (a blinking icon) are not waited for.
constexpr std::uint64_t kSettleHorizonMs = 20;

bool WaitForWindowThreadIdle(DWORD timeoutMs) {
  State& s = S();
  Lock lock(s.mutex);
  const std::uint64_t deadline = DeviceTimeMs() + timeoutMs;
  for (;;) {
    if (s.hasThread && s.live.empty()) return true;  // no window left to settle
    std::uint64_t wakeAt = deadline;
    if (s.hasThread && s.idle && s.queue.empty() && !s.quit) {
      bool painting = false;
      ForEachWindow([&](HWND w) { painting |= !w->update.empty() && VisibleChain(w); });
      HWND owner = nullptr;
      const std::uint64_t now = DeviceTimeMs();
      const std::uint64_t firstTick = FirstTickDueBy(now + kSettleHorizonMs);
      if (!painting && !DueTimer(&owner, now) && firstTick == 0) return true;
      // The thread sleeps until that tick; look again once it has come. A tick already due
      // waits for the window thread to take it, which it can only do while this one waits.
      if (!painting && firstTick != 0) wakeAt = std::min(deadline, std::max(firstTick, now) + 1);
    }
    if (DeviceTimeMs() >= deadline) return false;
    WaitUntilDeviceTime(s.done, lock, wakeAt);
  }
}

// ---- Cursors and colours ---------------------------------------------------------------------

HCURSOR LoadCursorW(void*, LPCWSTR name) { return reinterpret_cast<HCURSOR>(const_cast<WCHAR*>(name)); }

// The cursors are drawn by the host over the frame: a change is a change of what is shown.
HCURSOR SetCursor(HCURSOR cursor) {
  HCURSOR previous;
  {
    Lock lock(S().mutex);
    previous = g_waitCursor ? LoadCursorW(nullptr, IDC_WAIT) : nullptr;
    g_waitCursor = cursor == LoadCursorW(nullptr, IDC_WAIT);
  }
  AnnounceFrameChange();
  return previous;
}

int ShowCursor(BOOL show) {
  int count;
  {
    Lock lock(S().mutex);
    count = g_cursorCount += show ? 1 : -1;
  }
  AnnounceFrameChange();
  return count;
}

bool IsWaitCursorShown() {
  Lock lock(S().mutex);
  return g_waitCursor;
}

int CursorShowCount() {
  Lock lock(S().mutex);
  return g_cursorCount;
}

void SetDialogBackground(COLORREF colour) {
  Lock lock(S().mutex);
  g_dialogBackground = colour;
}

COLORREF GetDialogBackground() {
  Lock lock(S().mutex);
  return g_dialogBackground;
}
