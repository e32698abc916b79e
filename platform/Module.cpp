#include "platform/Module.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace {
std::mutex overrideLock;
std::string overridePath;

std::string ReadSelfExe() {
  // /proc/self/exe resolves links, so a program started through a link finds its
  // settings beside the real file.
  std::vector<char> buf(256);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<std::size_t>(n));
    if (buf.size() >= (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

// Once the program file has been removed or replaced (an update, a rebuild),
// the kernel shows its path with this mark; the program's name is still the path
// without it. A program whose file really bears that name keeps it.
std::string WithoutDeletedMark(std::string path) {
  constexpr std::string_view mark = " (deleted)";
  if (!std::string_view(path).ends_with(mark)) return path;
  struct stat named {}, self {};
  const bool really = ::stat(path.c_str(), &named) == 0 && ::stat("/proc/self/exe", &self) == 0 &&
                      named.st_dev == self.st_dev && named.st_ino == self.st_ino;
  if (!really) path.resize(path.size() - mark.size());
  return path;
}

// The path as it was when the program started, so that it names the same
// settings file for the whole run.
const std::string& StartupPath() {
  static const std::string path = WithoutDeletedMark(ReadSelfExe());
  return path;
}
[[maybe_unused]] const bool startupPathTaken = !StartupPath().empty();
}  // namespace

std::string ModuleFileName() {
  {
    std::lock_guard<std::mutex> g(overrideLock);
    if (!overridePath.empty()) return overridePath;
  }
  return StartupPath();
}

DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD size) {
  if (module != nullptr || !buffer || size == 0) return 0;
  std::string path = ModuleFileName();
  if (path.empty()) return 0;
  if (path.size() >= size) {
    std::memcpy(buffer, path.data(), size - 1);
    buffer[size - 1] = '\0';
    return size;
  }
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

void SetModuleFileNameForTest(const std::string& path) {
  std::lock_guard<std::mutex> g(overrideLock);
  overridePath = path;
}
