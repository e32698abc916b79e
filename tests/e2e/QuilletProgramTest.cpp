// Quillet as a user starts it: copied into a folder of its own with its own
// settings file, run offscreen with photographs on its command line. It ends by
// itself after the batch when "Close" is 1 and stays open when it is 0.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/JpegTestUtil.h"
#include "support/TempFolder.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// A started Quillet; killed and reaped when the test leaves it running.
class TQuillet {
 public:
  TQuillet() : FPath(FDir / "Quillet") {
    fs::copy_file(std::string(VORNEL_BUILD_DIR) + "/Quillet", FPath);
  }
  ~TQuillet() {
    if (FPid > 0 && !FEnded) {
      ::kill(FPid, SIGKILL);
      ::waitpid(FPid, &FStatus, 0);
    }
  }
  TQuillet(const TQuillet&) = delete;
  TQuillet& operator=(const TQuillet&) = delete;

  std::string Ini() const { return FDir / "Quillet.INI"; }

  // Starts it offscreen in folder cwd with args.
  bool Start(const std::vector<std::string>& args, const std::string& cwd) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("QT_QPA_PLATFORM=", 0) != 0) env.emplace_back(*e);
    env.emplace_back("QT_QPA_PLATFORM=offscreen");
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
    const int rc = posix_spawn(&FPid, FPath.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }

  // Whether it has ended (reaping it when it has).
  bool Ended() {
    if (!FEnded && FPid > 0 && ::waitpid(FPid, &FStatus, WNOHANG) == FPid) FEnded = true;
    return FEnded;
  }
  bool EndedCleanly() const { return FEnded && WIFEXITED(FStatus) && WEXITSTATUS(FStatus) == 0; }
  int Status() const { return FStatus; }
  void Terminate() {
    if (FPid > 0 && !Ended()) ::kill(FPid, SIGTERM);
  }

 private:
  TempFolder FDir;
  std::string FPath;
  pid_t FPid = -1;
  bool FEnded = false;
  int FStatus = -1;
};

// Polls cond until it holds or seconds have passed; whether it held.
bool Within(double seconds, const std::function<bool()>& cond) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (cond()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

class QuilletProgram : public testing::Test {
 protected:
  std::string Photo(const std::string& name, int w, int h) {
    const std::string path = photos / name;
    WriteBytes(path, EncodeTestJpeg(TestCard(w, h, 3), w, h));
    return path;
  }
  bool Exists(const std::string& name) const { return fs::exists(photos / name); }
  TempFolder photos;
};

}  // namespace

TEST_F(QuilletProgram, WithCloseSetItMakesTheCommandLinesThumbnailsAndEnds) {
  TQuillet prog;
  WriteBytes(prog.Ini(), "[Mode]\nClose=1\n[Thumb]\nMax=100\nChar=t_\n");
  const std::string a = Photo("a.jpg", 640, 480);
  Photo("rel.jpg", 90, 120);
  ASSERT_TRUE(prog.Start({a, photos / "missing.jpg", "rel.jpg"}, photos.Path()));
  ASSERT_TRUE(Within(120, [&] { return prog.Ended(); })) << "still running";
  EXPECT_TRUE(prog.EndedCleanly()) << "status " << prog.Status();
  const TestJpegInfo ta = DecodeTestJpeg(ReadBytes(photos / "t_a.jpg"));
  EXPECT_EQ(ta.width, 100);
  EXPECT_EQ(ta.height, 75);
  const TestJpegInfo tr = DecodeTestJpeg(ReadBytes(photos / "t_rel.jpg"));
  EXPECT_EQ(tr.width, 75);
  EXPECT_EQ(tr.height, 100);
  EXPECT_FALSE(Exists("t_missing.jpg"));
  EXPECT_EQ(ReadBytes(prog.Ini()), "[Mode]\nClose=1\n[Thumb]\nMax=100\nChar=t_\n[Pos]\nTop=50\nLeft=50\n[Jpeg]\nComp=66\n");
}

TEST_F(QuilletProgram, WithCloseClearItStaysOpenAfterTheBatch) {
  TQuillet prog;
  WriteBytes(prog.Ini(), "[Mode]\nClose=0\n");
  const std::string a = Photo("a.jpg", 320, 240), b = Photo("b.jpg", 64, 64);
  ASSERT_TRUE(prog.Start({a, b}, photos.Path()));
  ASSERT_TRUE(Within(120, [&] { return Exists("$_b.jpg") || prog.Ended(); }));
  EXPECT_TRUE(Exists("$_a.jpg"));
  // The batch is over; a close would now write the settings and end the
  // program. Neither happens.
  EXPECT_FALSE(Within(1.5, [&] { return prog.Ended() || ReadBytes(prog.Ini()) != "[Mode]\nClose=0\n"; }))
      << "ended with status " << prog.Status();
  prog.Terminate();
  EXPECT_TRUE(Within(60, [&] { return prog.Ended(); }));
}
