// An X server of a test's own (Xvfb, no window manager) for end-to-end tests
// that look at the programs' windows as the window system sees them.
#pragma once
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

class TXServer {
 public:
  // Whether programs started on an X server can be watched cleanly here: not
  // in a ThreadSanitizer build, where the X11 and GLib libraries under Qt's X11
  // plugin, not built for it, report races and lock orders that are not ours.
  static constexpr bool Watchable() {
#if defined(__SANITIZE_THREAD__)
    return false;
#else
    return true;
#endif
  }

  // A top-level window: its title (_NET_WM_NAME), its window class (instance
  // and class of WM_CLASS), and its place and size on the screen.
  struct TWindow {
    unsigned long Id = 0;
    std::string Title, Instance, Class;
    int X = 0, Y = 0, Width = 0, Height = 0;
  };

  // Starts Xvfb on a free display; Running() says whether it came up.
  TXServer();
  ~TXServer();
  TXServer(const TXServer&) = delete;
  TXServer& operator=(const TXServer&) = delete;

  bool Running() const { return FDisplay != nullptr; }
  // Environment entries that start a Qt program on this server.
  std::vector<std::string> Env() const;
  // The top-level windows shown now.
  std::vector<TWindow> Shown();
  // Waits up to seconds for a shown top-level window titled title.
  std::optional<TWindow> WaitFor(const std::string& title, double seconds);
  // Asks a window to close, as a window manager's close box does.
  void Close(const TWindow& window);
  // The window's pixels as drawn now, row by row; empty when it cannot be read.
  std::vector<unsigned long> Picture(const TWindow& window);

 private:
  pid_t FPid = -1;
  std::string FName;  // ":N"
  void* FDisplay = nullptr;
};
