#include "platform/Shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/support/TempFolder.h"

namespace {

// Puts a folder first on PATH while it lives.
class PathFirst {
 public:
  explicit PathFirst(const std::string& folder, bool alone = false) {
    const char* old = std::getenv("PATH");
    FOld = old ? old : "";
    std::string path = alone ? folder : folder + ":" + FOld;
    ::setenv("PATH", path.c_str(), 1);
  }
  ~PathFirst() { ::setenv("PATH", FOld.c_str(), 1); }

 private:
  std::string FOld;
};

// A fake opener that records its arguments, one a line, in a file beside it.
void MakeFakeOpener(const TempFolder& dir) {
  WriteBytes(dir / "xdg-open",
             "#!/bin/sh\n"
             "out=\"$(dirname \"$0\")/args\"\n"
             "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.tmp\"\n"
             "mv \"$out.tmp\" \"$out\"\n");
  ASSERT_EQ(::chmod((dir / "xdg-open").c_str(), 0755), 0);
}

// Waits for the opener's record, with a generous cap.
std::string WaitForArgs(const TempFolder& dir) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < until) {
    if (std::filesystem::exists(dir / "args")) return ReadBytes(dir / "args");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return "<opener never ran>";
}

// The children of this process, zombies included.
int ChildCount() {
  int n = 0;
  std::string self = std::to_string(::getpid());
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator("/proc", ec)) {
    std::string pid = e.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string stat = ReadBytes(e.path().string() + "/stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    // After the name: state, then the parent's id.
    std::size_t ppid = stat.find(' ', close + 2);
    if (ppid != std::string::npos && stat.compare(ppid + 1, self.size() + 1, self + " ") == 0) ++n;
  }
  return n;
}

int Code(HINSTANCE h) { return static_cast<int>(reinterpret_cast<std::intptr_t>(h)); }

}  // namespace

TEST(Shell, TheOpenerGetsTheAddressAsOneArgument) {
  TempFolder dir;
  MakeFakeOpener(dir);
  PathFirst path(dir.Path());
  const char* address = "mailto:vornel@example.org?subject=a b&x";
  EXPECT_GT(Code(ShellExecuteA(GetDesktopWindow(), "open", address, nullptr, nullptr, SW_SHOW)), 32);
  EXPECT_EQ(WaitForArgs(dir), std::string(address) + "\n");
  // The opener is reaped once it ends: no zombie stays behind.
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (ChildCount() > 0 && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(ChildCount(), 0);
}

TEST(Shell, FailuresAreReportedAtOrBelow32) {
  TempFolder dir;
  {
    PathFirst path(dir.Path(), true);  // no opener anywhere on PATH
    EXPECT_LE(Code(ShellExecuteA(nullptr, "open", "http://", nullptr, nullptr, SW_SHOW)), 32);
  }
  MakeFakeOpener(dir);
  PathFirst path(dir.Path());
  EXPECT_LE(Code(ShellExecuteA(nullptr, "print", "http://x", nullptr, nullptr, SW_SHOW)), 32);
  EXPECT_LE(Code(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOW)), 32);
  EXPECT_LE(Code(ShellExecuteA(nullptr, "open", "http://x", nullptr, (dir / "none").c_str(), SW_SHOW)), 32);
  EXPECT_FALSE(std::filesystem::exists(dir / "args"));
}
