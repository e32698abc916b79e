// Vornel_L and Vornel_R as a user starts them: each copied into a folder of its
// own with its own settings file, run offscreen with photographs on its command
// line, expected to end by itself with the photographs turned.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/ProgramCopy.h"
#include "tests/support/RotateTestUtil.h"
#include "tests/support/XServer.h"

using namespace rotate_test;
namespace fs = std::filesystem;

namespace {

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
  TProgramCopy prog("Vornel_L");
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

  EXPECT_TRUE(prog.Run({photos / "missing.jpg", photos / "a.png", upper, blanks, "relative.jpg",
                        photos / "folder.jpg"},
                       photos.Path()))
      << "status " << prog.Status();
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
  TProgramCopy left("Vornel_L"), right("Vornel_R");
  const std::string a = Photo("a.jpg", 64, 40), b = Photo("b.jpg", 48, 30);
  ASSERT_TRUE(right.Run({a}, photos.Path()));
  EXPECT_LT(TurnError(originals[a], a, false), kTurnTolerance);
  EXPECT_GT(TurnError(originals[a], a, true), 4 * kTurnTolerance);

  ASSERT_TRUE(left.Run({b}, photos.Path()));
  ASSERT_TRUE(right.Run({b}, photos.Path()));
  const TestJpegInfo before = DecodeTestJpeg(originals[b]);
  const TestJpegInfo after = DecodeTestJpeg(ReadBytes(b));
  ASSERT_EQ(after.width, 48);
  ASSERT_EQ(after.height, 30);
  EXPECT_LT(MeanError(before.pixels, after.pixels), 2 * kTurnTolerance);
  EXPECT_LE(std::abs(MTime(b) - OldTime()), 2);
}

TEST_F(RotateProgram, FourLeftTurnsGiveTheStartingOrientationBack) {
  TProgramCopy left("Vornel_L");
  const std::string a = Photo("four.jpg", 64, 48);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(left.Run({a}, photos.Path())) << "turn " << i;
  const TestJpegInfo before = DecodeTestJpeg(originals[a]);
  const TestJpegInfo after = DecodeTestJpeg(ReadBytes(a));
  ASSERT_EQ(after.width, 64);
  ASSERT_EQ(after.height, 48);
  EXPECT_LT(MeanError(before.pixels, after.pixels), 3 * kTurnTolerance);
}

TEST_F(RotateProgram, TheQualityComesFromTheSettingsFile) {
  TProgramCopy prog("Vornel_L");
  prog.WriteIni("[Jpeg]\nComp=90\n");
  const std::string a = Photo("q.jpg", 32, 32);
  ASSERT_TRUE(prog.Run({a}, photos.Path()));
  TestJpegOptions o;
  o.quality = 90;
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(a)).lumaTable,
            DecodeTestJpeg(EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, o)).lumaTable);
  EXPECT_NE(ReadBytes(prog.Ini()).find("Comp=90"), std::string::npos);
}

// An update or a rebuild replaces the program file while it runs: the settings
// are still read from and written to the program's own file.
TEST_F(RotateProgram, AProgramWhoseFileIsReplacedWhileItRunsKeepsItsSettingsFile) {
  TProgramCopy prog("Vornel_L");
  prog.WriteIni("[Jpeg]\nComp=90\n");
  const std::string a = Photo("q.jpg", 32, 32);
  ASSERT_TRUE(prog.Start({a}, photos.Path()));
  // Held while its file is replaced: the kernel then shows it as deleted.
  ASSERT_EQ(::kill(prog.Pid(), SIGSTOP), 0);
  const std::string next = prog.Path() + ".next";
  fs::copy_file(prog.Path(), next);
  fs::rename(next, prog.Path());
  ASSERT_EQ(::kill(prog.Pid(), SIGCONT), 0);
  ASSERT_TRUE(Within(120, [&] { return prog.Ended(); }));
  EXPECT_TRUE(prog.EndedCleanly()) << "status " << prog.Status();
  TestJpegOptions o;
  o.quality = 90;
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(a)).lumaTable,
            DecodeTestJpeg(EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, o)).lumaTable);
  EXPECT_EQ(ReadBytes(prog.Ini()), "[Jpeg]\nComp=90\n[Pos]\nTop=50\nLeft=50\n[Mode]\nClose=1\n");
  EXPECT_FALSE(fs::exists(prog.Path() + " (deleted).INI"));
}

TEST_F(RotateProgram, AFileThatCannotBeReadEndsInItsBoxAndThenACleanExit) {
  // Under X, where the box can be answered. The failed file leaves the
  // progress bar in its busy state until the program ends.
  if (!TXServer::Watchable()) GTEST_SKIP() << "programs under X are not watched in this build";
  TXServer x;
  ASSERT_TRUE(x.Running());
  TProgramCopy prog("Vornel_R");
  const std::string good = Photo("good.jpg", 64, 40);
  const std::string empty = photos / "empty.jpg";
  WriteBytes(empty, "");
  ASSERT_TRUE(prog.Start({good, empty}, photos.Path(), x.Env()));
  const auto box = x.WaitFor("Vornel_R", 120);
  ASSERT_TRUE(box) << "no error box";
  x.Close(*box);
  ASSERT_TRUE(Within(120, [&] { return prog.Ended(); })) << "still running";
  EXPECT_TRUE(prog.EndedCleanly()) << "status " << prog.Status();
  EXPECT_LT(TurnError(originals[good], good, false), kTurnTolerance);
  EXPECT_EQ(ReadBytes(empty), "");
}
