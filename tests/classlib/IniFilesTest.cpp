#include "classlib/IniFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/support/TempFolder.h"

TEST(TIniFile, ReadIntegerFollowsTheIntegerRule) {
  TempFolder dir;
  std::string ini = dir / "s.INI";
  WriteBytes(ini,
             "[S]\nhex1=0x50\nhex2=0X50\nhex3=$50\nhex4=x50\nbare0x=0x\nbare0X=0X\nneghex=-$50\n"
             "trail=70abc\nempty=\nspaced=   70   \nneg=-20\nbig=2147483648\nmin=-2147483648\n"
             "ones=$FFFFFFFF\nquoted=\"12\"\nlong0x=0x000000050\n");
  TIniFile f(ini);
  const std::pair<const char*, Integer> table[] = {
      {"hex1", 80}, {"hex2", 80},  {"hex3", 80},  {"hex4", 80},     {"bare0x", 66},  {"bare0X", 66},
      {"neghex", 66}, {"trail", 66}, {"empty", 66}, {"spaced", 70},  {"neg", -20},    {"big", 66},
      {"min", INT32_MIN}, {"ones", -1}, {"quoted", 12}, {"long0x", 80}, {"missing", 66},
  };
  for (auto& [key, value] : table) EXPECT_EQ(f.ReadInteger("S", key, 66), value) << key;
  EXPECT_EQ(f.ReadInteger("None", "hex1", 7), 7);
  EXPECT_EQ(TIniFile(dir / "none.INI").ReadInteger("S", "hex1", 9), 9);
}

TEST(TIniFile, ReadStringDefaultsOnlyForMissingKeys) {
  TempFolder dir;
  std::string ini = dir / "s.INI";
  WriteBytes(ini, "[Thumb]\nChar=\nOther=tn_\nLong=" + std::string(3000, 'z') + "\n");
  TIniFile f(ini);
  EXPECT_EQ(f.ReadString("Thumb", "Char", "$_"), "");
  EXPECT_EQ(f.ReadString("thumb", "other", "$_"), "tn_");
  EXPECT_EQ(f.ReadString("Thumb", "Missing", "$_"), "$_");
  EXPECT_EQ(f.ReadString("Thumb", "Long", ""), std::string(2047, 'z'));
}

TEST(TIniFile, WritesAndTheirFailure) {
  TempFolder dir;
  std::string ini = dir / "w.INI";
  {
    TIniFile f(ini);
    EXPECT_FALSE(std::filesystem::exists(ini));  // making the object touches nothing
    f.WriteInteger("Pos", "Top", -20);
    f.WriteString("Thumb", "Char", "");
    f.WriteString("Thumb", "Other", "a b");
  }
  EXPECT_EQ(ReadBytes(ini), "[Pos]\nTop=-20\n[Thumb]\nChar=\nOther=a b\n");

  ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
  TIniFile f(ini);
  try {
    f.WriteInteger("Pos", "Top", 1);
    FAIL() << "no exception";
  } catch (const EConvertError&) {
    FAIL() << "wrong class";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), ini + " に書き込めません");
    EXPECT_STREQ(e.ClassName(), "Exception");
  }
  EXPECT_EQ(f.ReadInteger("Pos", "Top", 0), -20);
}
