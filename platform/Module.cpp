#include "platform/Module.h"

#include <cstring>
#include <mutex>
#include <unistd.h>
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
}  // namespace

std::string ModuleFileName() {
  {
    std::lock_guard<std::mutex> g(overrideLock);
    if (!overridePath.empty()) return overridePath;
  }
  return ReadSelfExe();
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
