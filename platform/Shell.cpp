#include "platform/Shell.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <strings.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {
HINSTANCE Result(int code) { return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(code)); }

bool IsOpenVerb(const char* verb) {
  if (!verb || !*verb) return true;
  return strcasecmp(verb, "open") == 0;
}
}  // namespace

HWND GetDesktopWindow() {
  static char desktop;  // its address is unique in the process and never a window of ours
  return reinterpret_cast<HWND>(&desktop);
}

HINSTANCE ShellExecuteA(HWND, const char* verb, const char* file, const char*, const char* directory, int) {
  if (!IsOpenVerb(verb)) return Result(SE_ERR_NOASSOC);
  if (!file || !*file) return Result(SE_ERR_FNF);

  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return Result(SE_ERR_OOM);
  // The opener must not read our terminal; its output may go where ours goes.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (directory && *directory) posix_spawn_file_actions_addchdir_np(&actions, directory);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // A process group of its own keeps a terminal's Ctrl+C aimed at us off the browser.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);

  char opener[] = "xdg-open";
  std::string address = file;
  char* argv[] = {opener, address.data(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, opener, &actions, &attr, argv, environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  switch (rc) {
    case 0: break;
    case ENOENT:
    case ENOTDIR: return Result(SE_ERR_FNF);
    case EACCES:
    case EPERM: return Result(SE_ERR_ACCESSDENIED);
    case ENOMEM:
    case EAGAIN: return Result(SE_ERR_OOM);
    default: return Result(SE_ERR_NOASSOC);
  }
  // Never wait for the browser; reap the opener whenever it ends, so no zombie
  // stays behind.
  try {
    std::thread([pid] {
      int status;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (...) {
    // Without a thread the opener is reaped when we end; it was started all the same.
  }
  return Result(42);
}
