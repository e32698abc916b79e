#include "tests/support/XServer.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace {

Display* Dpy(void* d) { return static_cast<Display*>(d); }

// A window may go between listing it and asking about it: no X error may end the test.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

// A window's UTF-8 title, empty when it has none.
std::string Title(Display* d, Window w) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                         XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after, &data) == Success &&
      data) {
    title.assign(reinterpret_cast<char*>(data), count);
  }
  if (data) XFree(data);
  return title;
}

}  // namespace

TXServer::TXServer() {
  int fds[2];
  if (::pipe(fds) != 0) return;
  const std::string fd = std::to_string(fds[1]);
  std::vector<std::string> args{"Xvfb", "-displayfd", fd, "-nolisten", "tcp", "-noreset", "-screen", "0", "1280x1024x24"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclose(&actions, fds[0]);
  const int rc = posix_spawnp(&FPid, "Xvfb", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  if (rc != 0) {
    FPid = -1;
    ::close(fds[0]);
    return;
  }
  // Xvfb writes its display number once it takes connections.
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  while (::poll(&p, 1, 30000) == 1) {
    char c;
    if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  ::close(fds[0]);
  if (number.empty()) return;
  FName = ":" + number;
  XSetErrorHandler(&IgnoreErrors);
  FDisplay = XOpenDisplay(FName.c_str());
}

TXServer::~TXServer() {
  if (FDisplay) XCloseDisplay(Dpy(FDisplay));
  if (FPid > 0) {
    ::kill(FPid, SIGTERM);
    ::waitpid(FPid, nullptr, 0);
  }
}

std::vector<std::string> TXServer::Env() const { return {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + FName}; }

std::vector<TXServer::TWindow> TXServer::Shown() {
  std::vector<TWindow> shown;
  if (!FDisplay) return shown;
  Display* d = Dpy(FDisplay);
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return shown;
  for (unsigned i = 0; i < count; ++i) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable) continue;
    TWindow w;
    w.Id = children[i];
    w.Title = Title(d, children[i]);
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(d, children[i], &hint)) {
      w.Instance = hint.res_name ? hint.res_name : "";
      w.Class = hint.res_class ? hint.res_class : "";
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
    w.X = a.x;
    w.Y = a.y;
    w.Width = a.width;
    w.Height = a.height;
    shown.push_back(w);
  }
  if (children) XFree(children);
  return shown;
}

std::optional<TXServer::TWindow> TXServer::WaitFor(const std::string& title, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    for (const TWindow& w : Shown())
      if (w.Title == title) return w;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TXServer::Close(const TWindow& window) {
  if (!FDisplay) return;
  Display* d = Dpy(FDisplay);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = window.Id;
  e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  e.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, window.Id, False, NoEventMask, &e);
  XFlush(d);
}

std::vector<unsigned long> TXServer::Picture(const TWindow& window) {
  std::vector<unsigned long> pixels;
  if (!FDisplay || window.Width <= 0 || window.Height <= 0) return pixels;
  XImage* image = XGetImage(Dpy(FDisplay), window.Id, 0, 0, static_cast<unsigned>(window.Width),
                            static_cast<unsigned>(window.Height), AllPlanes, ZPixmap);
  if (!image) return pixels;
  pixels.reserve(static_cast<std::size_t>(window.Width) * static_cast<std::size_t>(window.Height));
  for (int y = 0; y < window.Height; ++y)
    for (int x = 0; x < window.Width; ++x) pixels.push_back(XGetPixel(image, x, y));
  XDestroyImage(image);
  return pixels;
}
