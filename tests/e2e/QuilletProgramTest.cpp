// Quillet as a user starts it: copied into a folder of its own with its own
// settings file, run offscreen with photographs on its command line. It ends by
// itself after the batch when "Close" is 1 and stays open when it is 0.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/ProgramCopy.h"
#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

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
  TProgramCopy prog("Quillet");
  prog.WriteIni("[Mode]\nClose=1\n[Thumb]\nMax=100\nChar=t_\n");
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
  TProgramCopy prog("Quillet");
  prog.WriteIni("[Mode]\nClose=0\n");
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
