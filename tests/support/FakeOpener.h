// A fake opener, first on PATH while it lives, standing in for the desktop's
// xdg-open: it records each address it is given.
#pragma once
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/TempFolder.h"

// Records each address it gets in a file of its own.
class FakeOpener {
 public:
  FakeOpener() {
    WriteBytes(dir / "xdg-open",
               "#!/bin/sh\n"
               "d=\"$(dirname \"$0\")\"\n"
               "printf '%s' \"$1\" > \"$d/tmp.$$\" && mv \"$d/tmp.$$\" \"$d/got.$$\"\n");
    ::chmod((dir / "xdg-open").c_str(), 0755);
    const char* old = std::getenv("PATH");
    FOldPath = old ? old : "";
    ::setenv("PATH", (dir.Path() + ":" + FOldPath).c_str(), 1);
  }
  ~FakeOpener() { ::setenv("PATH", FOldPath.c_str(), 1); }
  // Leaves no opener on PATH (not even the system's), so that nothing can be opened.
  void Remove() {
    std::filesystem::remove(dir / "xdg-open");
    ::setenv("PATH", dir.Path().c_str(), 1);
  }

  // The next recorded address, waiting for it with a generous cap.
  std::string Next() {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
      for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
        if (e.path().filename().string().rfind("got.", 0) == 0) {
          std::string got = ReadBytes(e.path().string());
          std::filesystem::remove(e.path());
          return got;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return "<nothing opened>";
  }

  TempFolder dir;

 private:
  std::string FOldPath;
};

