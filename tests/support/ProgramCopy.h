// A built program as a user starts it: copied into a temporary folder of its own,
// so that it reads and writes its own settings file there, and run offscreen.
#pragma once
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TempFolder.h"

extern char** environ;

// Polls cond until it holds or seconds have passed; whether it held.
inline bool Within(double seconds, const std::function<bool()>& cond) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (cond()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// The program name of the build folder, copied; a run left going is killed and
// reaped with it. One run at a time.
class TProgramCopy {
 public:
  explicit TProgramCopy(const std::string& name) : FName(name), FPath(FDir / name) {
    std::filesystem::copy_file(std::string(VORNEL_BUILD_DIR) + "/" + name, FPath);
  }
  ~TProgramCopy() { Kill(); }
  TProgramCopy(const TProgramCopy&) = delete;
  TProgramCopy& operator=(const TProgramCopy&) = delete;

  // The copied program file, and the process of the run started last.
  const std::string& Path() const { return FPath; }
  pid_t Pid() const { return FPid; }
  // The settings file beside the copy.
  std::string Ini() const { return FDir / (FName + ".INI"); }
  void WriteIni(const std::string& text) const { WriteBytes(Ini(), text); }

  // Starts it in folder cwd with args, with this process's environment in
  // which the entries of extra ("NAME=value") take the place of their names;
  // offscreen unless extra names another platform.
  bool Start(const std::vector<std::string>& args, const std::string& cwd,
             const std::vector<std::string>& extra = {}) {
    std::vector<std::string> env = extra;
    auto named = [&](const std::string& entry) {
      const std::string name = entry.substr(0, entry.find('=') + 1);
      for (const std::string& e : env)
        if (e.rfind(name, 0) == 0) return true;
      return false;
    };
    if (!named("QT_QPA_PLATFORM=")) env.emplace_back("QT_QPA_PLATFORM=offscreen");
    for (char** e = environ; *e; ++e)
      if (!named(*e)) env.emplace_back(*e);
    std::vector<char*> envp, argv;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> all{FPath};
    all.insert(all.end(), args.begin(), args.end());
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    FPid = -1;
    FEnded = false;
    FStatus = -1;
    const int rc = posix_spawn(&FPid, FPath.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) FPid = -1;
    return rc == 0;
  }

  // Starts it and waits up to capSeconds for it to end by itself (killing it
  // then); whether it ended so, with exit status 0.
  bool Run(const std::vector<std::string>& args, const std::string& cwd, double capSeconds = 120) {
    if (!Start(args, cwd)) return false;
    if (!Within(capSeconds, [this] { return Ended(); })) Kill();
    return EndedCleanly();
  }

  // Whether it has ended (reaping it when it has).
  bool Ended() {
    if (!FEnded && FPid > 0 && ::waitpid(FPid, &FStatus, WNOHANG) == FPid) FEnded = true;
    return FEnded;
  }
  bool EndedCleanly() const { return FEnded && WIFEXITED(FStatus) && WEXITSTATUS(FStatus) == 0; }
  // As waitpid reports it; -1 before the end.
  int Status() const { return FStatus; }
  void Terminate() {
    if (FPid > 0 && !Ended()) ::kill(FPid, SIGTERM);
  }

 private:
  // Ends a run still going; it does not count as ended by itself.
  void Kill() {
    if (FPid > 0 && !Ended()) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, &FStatus, 0);
    }
  }

  TempFolder FDir;
  std::string FName;
  std::string FPath;
  pid_t FPid = -1;
  bool FEnded = false;
  int FStatus = -1;
};
