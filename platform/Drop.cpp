#include "platform/Drop.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "platform/Windows.h"

namespace {

struct TDrop {
  std::vector<std::string> Paths;
  POINT Point;
};

struct TDropState {
  std::mutex Lock;
  std::unordered_set<HWND> Targets;
  std::unordered_map<std::uintptr_t, std::unique_ptr<TDrop>> Drops;
  std::uintptr_t NextId = 0x10;
};

TDropState& State() {
  static TDropState* state = new TDropState;  // lives to the end of the process
  return *state;
}

// Looks a handle up; the handle is a number, never a pointer, so a stale or
// forged one cannot reach freed memory.
TDrop* Find(HDROP h) {
  auto it = State().Drops.find(reinterpret_cast<std::uintptr_t>(h));
  return it == State().Drops.end() ? nullptr : it->second.get();
}

}  // namespace

void ForgetDropTarget(HWND hWnd) {
  std::lock_guard<std::mutex> g(State().Lock);
  State().Targets.erase(hWnd);
}

void DragAcceptFiles(HWND hWnd, BOOL fAccept) {
  if (!IsWindow(hWnd)) return;
  std::lock_guard<std::mutex> g(State().Lock);
  if (fAccept)
    State().Targets.insert(hWnd);
  else
    State().Targets.erase(hWnd);
}

bool WindowAcceptsDrops(HWND hWnd) {
  if (!IsWindow(hWnd)) return false;
  std::lock_guard<std::mutex> g(State().Lock);
  return State().Targets.count(hWnd) != 0;
}

HDROP CreateDropHandle(const std::vector<std::string>& paths, POINT clientPoint) {
  auto drop = std::make_unique<TDrop>(TDrop{paths, clientPoint});
  std::lock_guard<std::mutex> g(State().Lock);
  std::uintptr_t id = State().NextId++;
  State().Drops[id] = std::move(drop);
  return reinterpret_cast<HDROP>(id);
}

UINT DragQueryFileA(HDROP hDrop, UINT iFile, char* lpszFile, UINT cch) {
  std::lock_guard<std::mutex> g(State().Lock);
  TDrop* d = Find(hDrop);
  if (!d) return 0;
  if (iFile == 0xFFFFFFFFu) return static_cast<UINT>(d->Paths.size());
  if (iFile >= d->Paths.size()) return 0;
  const std::string& path = d->Paths[iFile];
  if (!lpszFile) return static_cast<UINT>(path.size());
  if (cch == 0) return 0;
  std::size_t n = std::min<std::size_t>(path.size(), cch - 1);
  std::memcpy(lpszFile, path.data(), n);
  lpszFile[n] = '\0';
  return static_cast<UINT>(n);
}

BOOL DragQueryPoint(HDROP hDrop, POINT* lppt) {
  std::lock_guard<std::mutex> g(State().Lock);
  TDrop* d = Find(hDrop);
  if (!d || !lppt) return FALSE;
  *lppt = d->Point;
  return TRUE;
}

void DragFinish(HDROP hDrop) {
  std::lock_guard<std::mutex> g(State().Lock);
  State().Drops.erase(reinterpret_cast<std::uintptr_t>(hDrop));
}

std::size_t OpenDropHandleCount() {
  std::lock_guard<std::mutex> g(State().Lock);
  return State().Drops.size();
}
