#include "thumb/Rw_ini.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/Module.h"
#include "tests/support/TempFolder.h"

namespace {

class ThumbRwIni : public testing::Test {
 protected:
  void SetUp() override { SetModuleFileNameForTest(dir / "Quillet"); }
  void TearDown() override { SetModuleFileNameForTest(""); }
  std::string Ini() const { return dir / "Quillet.INI"; }
  TempFolder dir;
};

}  // namespace

TEST_F(ThumbRwIni, WithoutAFileTheDefaultsHoldAndAllSixKeysAreWritten) {
  ThumbMax = 1;
  ThumbChar = "x";
  ReadSettings();
  EXPECT_EQ(PosTop, 50);
  EXPECT_EQ(PosLeft, 50);
  EXPECT_EQ(ModeClose, 1);
  EXPECT_EQ(JpegComp, 66);
  EXPECT_EQ(ThumbMax, 64);
  EXPECT_EQ(ThumbChar, "$_");
  WriteSettings();
  EXPECT_EQ(ReadBytes(Ini()),
            "[Pos]\nTop=50\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n[Thumb]\nMax=64\nChar=$_\n");
}

TEST_F(ThumbRwIni, AnEmptyCharIsAnEmptyPrefixAndIsWrittenBackEmpty) {
  WriteBytes(Ini(), "[Thumb]\nChar=\nMax=1000\n");
  ReadSettings();
  EXPECT_EQ(ThumbChar, "");
  EXPECT_EQ(ThumbMax, 1000);
  WriteSettings();
  EXPECT_EQ(ReadBytes(Ini()), "[Thumb]\nChar=\nMax=1000\n[Pos]\nTop=50\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n");
  ReadSettings();
  EXPECT_EQ(ThumbChar, "");
}

TEST_F(ThumbRwIni, MaxIsTakenUncheckedAndCharUnchanged) {
  const std::pair<const char*, Integer> table[] = {{"10", 10}, {"70000", 70000}, {"abc", 64}, {"$40", 64}};
  for (auto& [text, value] : table) {
    WriteBytes(Ini(), std::string("[Thumb]\nMax=") + text + "\nChar=\xE5\xB0\x8F_\n");
    ReadSettings();
    EXPECT_EQ(ThumbMax, value) << text;
    EXPECT_EQ(ThumbChar, "\xE5\xB0\x8F_");
  }
  WriteBytes(Ini(), "[Pos]\nTop=3\n");
  ReadSettings();
  EXPECT_EQ(ThumbMax, 64);  // no section "Thumb"
  EXPECT_EQ(ThumbChar, "$_");
  ThumbChar = "t n_";
  WriteSettings();
  EXPECT_EQ(ReadBytes(Ini()),
            "[Pos]\nTop=3\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n[Thumb]\nMax=64\nChar=t n_\n");
}

TEST_F(ThumbRwIni, APrefixOfOneQuoteComesBackAsThatQuote) {
  // Only a pair of quotes around a value is taken off; one quote alone is the
  // value, or the prefix would vanish and the thumbnail replace its input.
  ThumbChar = "\"";
  WriteSettings();
  ThumbChar = "";
  ReadSettings();
  EXPECT_EQ(ThumbChar, "\"");
}

TEST_F(ThumbRwIni, AFailedWriteKeepsTheKeysBeforeIt) {
  ReadSettings();
  WriteSettings();
  const std::string written = ReadBytes(Ini());
  ASSERT_EQ(::chmod(Ini().c_str(), 0444), 0);
  try {
    WriteSettings();
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), Ini() + " に書き込めません");
  }
  EXPECT_EQ(ReadBytes(Ini()), written);

  // A prefix holding a line end cannot be stored as one value: the five keys
  // before it are written, "Char" is not.
  ASSERT_EQ(::chmod(Ini().c_str(), 0644), 0);
  PosTop = 9;
  ThumbMax = 100;
  ThumbChar = "a\nb";
  EXPECT_THROW(WriteSettings(), Exception);
  EXPECT_EQ(ReadBytes(Ini()),
            "[Pos]\nTop=9\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n[Thumb]\nMax=100\nChar=$_\n");
}
