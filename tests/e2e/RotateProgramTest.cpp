// Vornel_L and Vornel_R as a user starts them: each copied into a folder of its
// own with its own settings file, run offscreen with photographs on its command
// line, expected to end by itself with the photographs turned.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "rotate/RotateTestUtil.h"

extern char** environ;

using namespace rotate_test;
namespace fs = std::filesystem;

namespace {

struct TRun {
  bool ended = false;  // by itself, within the cap
  int status = -1;     // as waitpid reports it
};

// A program copied beside its own settings file in a temporary folder.
class TProgram {
 public:
  explicit TProgram(const std::string& name) : FName(name) {
    FPath = FDir / name;
    fs::copy_file(std::string(VORNEL_BUILD_DIR) + "/" + name, FPath);
  }
  std::string Ini() const { return FDir / (FName + ".INI"); }
  void WriteIni(const std::string& text) const { WriteBytes(Ini(), text); }

  // Runs it offscreen in folder cwd with args; waits up to capSeconds for its end.
  TRun Run(const std::vector<std::string>& args, const std::string& cwd, int capSeconds = 120) const {
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
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, FPath.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    TRun run;
    if (rc != 0) return run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(capSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
      if (waitpid(pid, &run.status, WNOHANG) == pid) {
        run.ended = true;
        return run;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &run.status, 0);
    return run;
  }

 private:
  TempFolder FDir;
  std::string FName;
  std::string FPath;
};

bool EndedCleanly(const TRun& run) { return run.ended && WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0; }

class RotateProgram : public testing::Test {
 protected:
  std::string Photo(const std::string& name, int w = 60, int h = 40, const TestJpegOptions& o = {}) {
    const std::string path = photos / name;
    originals[path] = WritePhoto(path, w, h, o);
    SetMTime(path, OldTime());
    return path;
  }
  TempFolder photos;
  std::map<std::string, std::string> originals;
};

}  // namespace

TEST_F(RotateProgram, ACommandLineBatchTurnsTheJpegsLeavesTheRestAndEnds) {
  TProgram prog("Vornel_L");
  prog.WriteIni("[Mode]\nClose=0\n");
  TestJpegOptions dense;
  dense.yDensity = 144;
  TestJpegOptions exif;
  exif.jfif = false;
  exif.app1 = std::string("Exif\0\0II\x2a\0\x08\0\0\0\0\0", 16);
  const std::string upper = Photo("UPPER.JPG", 60, 40, dense);
  const std::string blanks = Photo("with blanks.jpeg", 33, 21, exif);
  const std::string rel = Photo("relative.jpg", 17, 45);
  WriteBytes(photos / "a.png", PngBytes());
  fs::create_directory(photos / "folder.jpg");

  const TRun run = prog.Run({photos / "missing.jpg", photos / "a.png", upper, blanks, "relative.jpg",
                             photos / "folder.jpg"},
                            photos.Path());
  EXPECT_TRUE(EndedCleanly(run)) << "status " << run.status;
  for (const std::string& p : {upper, blanks, rel}) {
    SCOPED_TRACE(p);
    EXPECT_LT(TurnError(originals[p], p, true), kTurnTolerance);
    EXPECT_LE(std::abs(MTime(p) - OldTime()), 2);
  }
  const TestJpegInfo u = DecodeTestJpeg(ReadBytes(upper));
  EXPECT_EQ(u.xDensity, 72);
  EXPECT_EQ(u.yDensity, 144);
  const TestJpegInfo b = DecodeTestJpeg(ReadBytes(blanks));
  EXPECT_EQ(b.xDensity, 72);
  EXPECT_EQ(b.yDensity, 72);
  EXPECT_EQ(ReadBytes(photos / "a.png"), PngBytes());
  EXPECT_TRUE(fs::is_directory(photos / "folder.jpg"));
  EXPECT_EQ(ReadBytes(prog.Ini()), "[Mode]\nClose=0\n[Pos]\nTop=50\nLeft=50\n[Jpeg]\nComp=66\n");
}

TEST_F(RotateProgram, VornelRTurnsRightAndUndoesVornelL) {
  TProgram left("Vornel_L"), right("Vornel_R");
  const std::string a = Photo("a.jpg", 64, 40), b = Photo("b.jpg", 48, 30);
  ASSERT_TRUE(EndedCleanly(right.Run({a}, photos.Path())));
  EXPECT_LT(TurnError(originals[a], a, false), kTurnTolerance);
  EXPECT_GT(TurnError(originals[a], a, true), 4 * kTurnTolerance);

  ASSERT_TRUE(EndedCleanly(left.Run({b}, photos.Path())));
  ASSERT_TRUE(EndedCleanly(right.Run({b}, photos.Path())));
  const TestJpegInfo before = DecodeTestJpeg(originals[b]);
  const TestJpegInfo after = DecodeTestJpeg(ReadBytes(b));
  ASSERT_EQ(after.width, 48);
  ASSERT_EQ(after.height, 30);
  EXPECT_LT(MeanError(before.pixels, after.pixels), 2 * kTurnTolerance);
  EXPECT_LE(std::abs(MTime(b) - OldTime()), 2);
}

TEST_F(RotateProgram, FourLeftTurnsGiveTheStartingOrientationBack) {
  TProgram left("Vornel_L");
  const std::string a = Photo("four.jpg", 64, 48);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(EndedCleanly(left.Run({a}, photos.Path()))) << "turn " << i;
  const TestJpegInfo before = DecodeTestJpeg(originals[a]);
  const TestJpegInfo after = DecodeTestJpeg(ReadBytes(a));
  ASSERT_EQ(after.width, 64);
  ASSERT_EQ(after.height, 48);
  EXPECT_LT(MeanError(before.pixels, after.pixels), 3 * kTurnTolerance);
}

TEST_F(RotateProgram, TheQualityComesFromTheSettingsFile) {
  TProgram prog("Vornel_L");
  prog.WriteIni("[Jpeg]\nComp=90\n");
  const std::string a = Photo("q.jpg", 32, 32);
  ASSERT_TRUE(EndedCleanly(prog.Run({a}, photos.Path())));
  TestJpegOptions o;
  o.quality = 90;
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(a)).lumaTable,
            DecodeTestJpeg(EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, o)).lumaTable);
  EXPECT_NE(ReadBytes(prog.Ini()).find("Comp=90"), std::string::npos);
}
