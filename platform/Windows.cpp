#include "platform/Windows.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/Drop.h"

// Implemented in Drop.cpp: a destroyed window stops being a drop target.
void ForgetDropTarget(HWND hWnd);

namespace {

struct TWindow {
  WNDPROC Proc = nullptr;
  LONG_PTR UserData = 0;
};

struct TState {
  std::mutex Lock;
  std::condition_variable Posted;
  std::unordered_map<std::uintptr_t, TWindow> Windows;
  std::uintptr_t NextId = 0x1000;
  std::deque<MSG> Queue;
  bool QuitPosted = false;
  int QuitCode = 0;
  TWakeHook Wake = nullptr;
  TWaitHook Wait = nullptr;
};

TState& State() {
  static TState* state = new TState;  // lives to the end: windows may go away during exit
  return *state;
}

std::uintptr_t Id(HWND h) { return reinterpret_cast<std::uintptr_t>(h); }

bool FindWindow(HWND h, TWindow& out) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  auto it = s.Windows.find(Id(h));
  if (it == s.Windows.end()) return false;
  out = it->second;
  return true;
}

void Wake() {
  TWakeHook hook;
  {
    std::lock_guard<std::mutex> g(State().Lock);
    hook = State().Wake;
  }
  State().Posted.notify_all();
  if (hook) hook();
}

bool Matches(const MSG& m, HWND hWnd, UINT lo, UINT hi) {
  if (hWnd && m.hwnd != hWnd) return false;
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

// Drop handles of discarded WM_DROPFILES messages are released, not leaked.
void Discard(std::vector<MSG>& dropped) {
  for (const MSG& m : dropped)
    if (m.message == WM_DROPFILES) DragFinish(reinterpret_cast<HDROP>(m.wParam));
}

}  // namespace

HWND CreateWindowExA(WNDPROC proc, LONG_PTR userData) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  std::uintptr_t id = s.NextId++;
  s.Windows[id] = TWindow{proc, userData};
  return reinterpret_cast<HWND>(id);
}

BOOL DestroyWindow(HWND hWnd) {
  if (!IsWindow(hWnd)) return FALSE;
  SendMessageA(hWnd, WM_DESTROY, 0, 0);
  std::vector<MSG> dropped;
  {
    TState& s = State();
    std::lock_guard<std::mutex> g(s.Lock);
    s.Windows.erase(Id(hWnd));
    for (auto it = s.Queue.begin(); it != s.Queue.end();) {
      if (it->hwnd == hWnd) {
        dropped.push_back(*it);
        it = s.Queue.erase(it);
      } else {
        ++it;
      }
    }
  }
  ForgetDropTarget(hWnd);
  Discard(dropped);
  return TRUE;
}

BOOL IsWindow(HWND hWnd) {
  TWindow w;
  return FindWindow(hWnd, w) ? TRUE : FALSE;
}

LONG_PTR GetWindowLongA(HWND hWnd, int nIndex) {
  TWindow w;
  if (!FindWindow(hWnd, w)) return 0;
  if (nIndex == GWL_WNDPROC) return reinterpret_cast<LONG_PTR>(w.Proc);
  if (nIndex == GWL_USERDATA) return w.UserData;
  return 0;
}

LONG_PTR SetWindowLongA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  auto it = s.Windows.find(Id(hWnd));
  if (it == s.Windows.end()) return 0;
  LONG_PTR old = 0;
  if (nIndex == GWL_WNDPROC) {
    old = reinterpret_cast<LONG_PTR>(it->second.Proc);
    it->second.Proc = reinterpret_cast<WNDPROC>(dwNewLong);
  } else if (nIndex == GWL_USERDATA) {
    old = it->second.UserData;
    it->second.UserData = dwNewLong;
  }
  return old;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return proc ? proc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) { return 0; }

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  TWindow w;
  if (!FindWindow(hWnd, w)) return 0;
  return CallWindowProcA(w.Proc, hWnd, Msg, wParam, lParam);
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  {
    TState& s = State();
    std::lock_guard<std::mutex> g(s.Lock);
    if (hWnd && s.Windows.find(Id(hWnd)) == s.Windows.end()) return FALSE;
    s.Queue.push_back(MSG{hWnd, Msg, wParam, lParam});
  }
  Wake();
  return TRUE;
}

void PostQuitMessage(int nExitCode) {
  {
    TState& s = State();
    std::lock_guard<std::mutex> g(s.Lock);
    s.QuitPosted = true;
    s.QuitCode = nExitCode;
  }
  Wake();
}

BOOL PeekMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  TState& s = State();
  std::lock_guard<std::mutex> g(s.Lock);
  for (auto it = s.Queue.begin(); it != s.Queue.end(); ++it) {
    if (!Matches(*it, hWnd, wMsgFilterMin, wMsgFilterMax)) continue;
    if (lpMsg) *lpMsg = *it;
    if (wRemoveMsg & PM_REMOVE) s.Queue.erase(it);
    return TRUE;
  }
  // The quit comes only once nothing else waits, as the classic queue does it.
  if (s.QuitPosted && s.Queue.empty()) {
    if (lpMsg) *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.QuitCode), 0};
    if (wRemoveMsg & PM_REMOVE) s.QuitPosted = false;
    return TRUE;
  }
  return FALSE;
}

BOOL GetMessageA(MSG* lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  MSG m{};
  while (!PeekMessageA(&m, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE)) {
    TWaitHook wait;
    {
      std::lock_guard<std::mutex> g(State().Lock);
      wait = State().Wait;
    }
    if (wait) {
      wait();
    } else {
      std::unique_lock<std::mutex> g(State().Lock);
      State().Posted.wait(g, [] { return !State().Queue.empty() || State().QuitPosted; });
    }
  }
  if (lpMsg) *lpMsg = m;
  return m.message == WM_QUIT ? FALSE : TRUE;
}

LRESULT DispatchMessageA(const MSG* lpMsg) {
  if (!lpMsg || !lpMsg->hwnd) return 0;
  return SendMessageA(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

bool QuitPending() {
  std::lock_guard<std::mutex> g(State().Lock);
  return State().QuitPosted;
}

std::size_t PendingMessageCount() {
  std::lock_guard<std::mutex> g(State().Lock);
  return State().Queue.size();
}

void ClearMessageQueue() {
  std::vector<MSG> dropped;
  {
    TState& s = State();
    std::lock_guard<std::mutex> g(s.Lock);
    dropped.assign(s.Queue.begin(), s.Queue.end());
    s.Queue.clear();
    s.QuitPosted = false;
  }
  Discard(dropped);
}

void SetMessageWakeHook(TWakeHook hook) {
  std::lock_guard<std::mutex> g(State().Lock);
  State().Wake = hook;
}

void SetMessageWaitHook(TWaitHook hook) {
  std::lock_guard<std::mutex> g(State().Lock);
  State().Wait = hook;
}
