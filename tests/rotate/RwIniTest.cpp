#include "rotate/Rw_ini.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/Module.h"
#include "tests/support/TempFolder.h"

namespace {

// Points the program file into a temporary folder, so the settings file lies there.
class RwIni : public testing::Test {
 protected:
  void SetUp() override { SetModuleFileNameForTest(dir / "Vornel_L"); }
  void TearDown() override { SetModuleFileNameForTest(""); }
  std::string Ini() const { return dir / "Vornel_L.INI"; }
  void Set(Integer top, Integer left, Integer close, Integer comp) {
    PosTop = top;
    PosLeft = left;
    ModeClose = close;
    JpegComp = comp;
  }
  TempFolder dir;
};

}  // namespace

TEST_F(RwIni, WithoutAFileTheDefaultsHoldAndTheFirstWriteCreatesTheKeysInOrder) {
  Set(1, 2, 3, 4);
  ReadSettings();
  EXPECT_EQ(PosTop, 50);
  EXPECT_EQ(PosLeft, 50);
  EXPECT_EQ(ModeClose, 1);
  EXPECT_EQ(JpegComp, 66);
  EXPECT_FALSE(std::filesystem::exists(Ini()));  // reading creates nothing

  WriteSettings();
  EXPECT_EQ(ReadBytes(Ini()), "[Pos]\nTop=50\nLeft=50\n[Mode]\nClose=1\n[Jpeg]\nComp=66\n");
  Set(-20, 2147483647, 0, -2147483647 - 1);
  WriteSettings();
  Set(0, 0, 0, 0);
  ReadSettings();
  EXPECT_EQ(PosTop, -20);
  EXPECT_EQ(PosLeft, 2147483647);
  EXPECT_EQ(ModeClose, 0);
  EXPECT_EQ(JpegComp, -2147483647 - 1);
}

TEST_F(RwIni, TheFileIsNamedAfterTheProgramFile) {
  SetModuleFileNameForTest(dir / "copy.of.tool.exe");
  WriteSettings();
  EXPECT_TRUE(std::filesystem::exists(dir / "copy.of.tool.INI"));
  EXPECT_FALSE(std::filesystem::exists(Ini()));
}

TEST_F(RwIni, CompValuesByTheIntegerRule) {
  const std::pair<const char*, Integer> table[] = {
      {"0x50", 80}, {"0X50", 80}, {"$50", 80}, {"x50", 80}, {"0x", 66},  {"-$50", 66},
      {"70abc", 66}, {"", 66},    {"   70", 70}, {"150", 150}, {"abc", 66},
  };
  for (auto& [text, value] : table) {
    WriteBytes(Ini(), std::string("[Jpeg]\nComp=") + text + "\n");
    ReadSettings();
    EXPECT_EQ(JpegComp, value) << "[" << text << "]";
  }
  WriteBytes(Ini(), "[Pos]\nLeft=1\n");
  ReadSettings();
  EXPECT_EQ(JpegComp, 66);  // missing key
}

TEST_F(RwIni, PositionsAndTheSwitchAreTakenUnchecked) {
  WriteBytes(Ini(), "[pos]\nTOP=-20\nLeft=2147483648\n[MODE]\nClose=2\n");
  ReadSettings();
  EXPECT_EQ(PosTop, -20);
  EXPECT_EQ(PosLeft, 50);  // beyond 32 bits
  EXPECT_EQ(ModeClose, 2);
  WriteBytes(Ini(), "[Pos]\nTop=-2147483648\nLeft=$FFFFFFFF\n");
  ReadSettings();
  EXPECT_EQ(PosTop, -2147483647 - 1);
  EXPECT_EQ(PosLeft, -1);
}

TEST_F(RwIni, OtherSectionsAndKeysSurviveAWrite) {
  const std::string mine = "; written by hand\r\n[Other]\r\nkey=value\r\n[Pos]\r\nTop=10\r\nExtra=1\r\n";
  WriteBytes(Ini(), mine);
  ReadSettings();
  PosLeft = 7;
  WriteSettings();
  EXPECT_EQ(ReadBytes(Ini()), "; written by hand\r\n[Other]\r\nkey=value\r\n[Pos]\r\nTop=10\r\nExtra=1\r\nLeft=7\r\n"
                              "[Mode]\r\nClose=1\r\n[Jpeg]\r\nComp=66\r\n");
}

TEST_F(RwIni, AReadOnlyFileRaisesTheMessageWithItsPath) {
  const std::string before = "[Pos]\nTop=1\n";
  WriteBytes(Ini(), before);
  ASSERT_EQ(::chmod(Ini().c_str(), 0444), 0);
  Set(5, 5, 5, 5);
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      WriteSettings();
      FAIL() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), Ini() + " に書き込めません");
    }
  }
  EXPECT_EQ(ReadBytes(Ini()), before);
}

TEST_F(RwIni, KeysWrittenBeforeAFailureStayWritten) {
  Set(-20, 30, 1, 66);
  {
    // Room for "[Pos]\nTop=-20\n" only: the write of "Left" fails as on a full disk.
    FileSizeLimit limit(std::string("[Pos]\nTop=-20\n").size());
    try {
      WriteSettings();
      FAIL() << "no exception";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(), Ini() + " に書き込めません");
    }
  }
  EXPECT_EQ(ReadBytes(Ini()), "[Pos]\nTop=-20\n");
  std::size_t entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1u);  // no temporary file left behind
}
