#include "classlib/SysUtils.h"

#include <gtest/gtest.h>

#include <climits>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/CodePage.h"
#include "platform/CommandLine.h"
#include "platform/Module.h"
#include "tests/support/TempFolder.h"

TEST(StrToInt, AcceptedTexts) {
  const std::pair<const char*, Integer> table[] = {
      {"0", 0},           {"70", 70},          {"   70", 70},         {"+5", 5},
      {"-20", -20},       {"-0", 0},           {"00012", 12},        {"2147483647", INT_MAX},
      {"-2147483648", INT_MIN},                {"$50", 80},          {"x50", 80},
      {"X50", 80},        {"0x50", 80},        {"0X50", 80},         {"  $50", 80},
      {"$abcDEF", 0xABCDEF},                   {"$FFFFFFFF", -1},    {"$80000000", INT_MIN},
      {"$7fffffff", INT_MAX},                  {"$0", 0},            {"$000000000001", 1},
      {"0x00000000FFFFFFFF", -1},
  };
  for (auto& [text, value] : table) {
    Integer v = 12345;
    EXPECT_TRUE(TryStrToInt(text, v)) << text;
    EXPECT_EQ(v, value) << text;
    EXPECT_EQ(StrToInt(text), value) << text;
  }
}

TEST(StrToInt, RefusedTexts) {
  using namespace std::string_view_literals;
  const std::string_view table[] = {
      ""sv,          " "sv,         "70 "sv,        "70abc"sv,     "abc"sv,       "2147483648"sv,
      "-2147483649"sv, "99999999999999999999"sv,    "$"sv,         "0x"sv,        "x"sv,
      "-$50"sv,      "+$50"sv,      "-0x5"sv,       "$100000000"sv, "$FFFFFFFFF"sv, "- 5"sv,
      "+"sv,         "-"sv,         "\t5"sv,        "5\0"sv,       "$ 5"sv,       "$5g"sv,
      "0x0x5"sv,     "1e3"sv,       "5.0"sv,        "++5"sv,
  };
  for (std::string_view text : table) {
    Integer v = 12345;
    EXPECT_FALSE(TryStrToInt(text, v)) << "[" << text << "]";
    EXPECT_EQ(v, 12345);
  }
  try {
    StrToInt("abc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "'abc' は整数ではありません");
    EXPECT_STREQ(e.ClassName(), "EConvertError");
  }
  EXPECT_EQ(IntToStr(INT_MIN), "-2147483648");
  EXPECT_EQ(LowerCase("AbC\xC3\x84Z"), "abc\xC3\x84z");
  EXPECT_EQ(Format("%s=%d/%x", "k", -3, 255u), "k=-3/ff");
}

namespace {
// Switches the path rules for one test.
struct RulesGuard {
  explicit RulesGuard(const TPathRules& rules) : old(SetPathRules(rules)) {}
  ~RulesGuard() { SetPathRules(old); }
  TPathRules old;
};
}  // namespace

TEST(PathRoutines, LinuxRules) {
  RulesGuard rules(LinuxPathRules);
  EXPECT_EQ(ChangeFileExt("/opt/vornel/Vornel_L", ".INI"), "/opt/vornel/Vornel_L.INI");
  EXPECT_EQ(ChangeFileExt("/opt/vornel/Vornel_L.exe", ".INI"), "/opt/vornel/Vornel_L.INI");
  EXPECT_EQ(ChangeFileExt("/opt/v.1/Vornel_L", ".INI"), "/opt/v.1/Vornel_L.INI");
  EXPECT_EQ(ChangeFileExt("a.b.c", ""), "a.b");
  EXPECT_EQ(ExtractFileExt("/x/y.JPEG"), ".JPEG");
  EXPECT_EQ(ExtractFileExt("/x.d/y"), "");
  EXPECT_EQ(ExtractFileExt("/x/y."), ".");
  EXPECT_EQ(ExtractFilePath("/a/b/c.jpg"), "/a/b/");
  EXPECT_EQ(ExtractFileName("/a/b/c.jpg"), "c.jpg");
  EXPECT_EQ(ExtractFilePath("c.jpg"), "");
  EXPECT_EQ(ExtractFileName("c.jpg"), "c.jpg");
  EXPECT_EQ(ExtractFileName("/a/"), "");
  // Neither "\" nor ":" separates here.
  EXPECT_EQ(ExtractFileName("/a/b\\c:d.jpg"), "b\\c:d.jpg");
  EXPECT_EQ(LastDelimiter("/", "\xE8\xA1\xA8/\xE8\xA1\xA8"), 3u);
  EXPECT_EQ(LastDelimiter("/", "abc"), std::string::npos);
}

TEST(PathRoutines, ShiftJisRulesSkipTrailBytes) {
  RulesGuard rules(ShiftJisPathRules);
  const std::string hyo = "\x95\x5C";  // its trail byte carries the code of "\"
  EXPECT_EQ(LastDelimiter("\\", "C:\\dir\\" + hyo), 6u);
  EXPECT_EQ(ExtractFileName("C:\\dir\\" + hyo), hyo);
  EXPECT_EQ(ExtractFilePath("C:\\dir\\" + hyo), "C:\\dir\\");
  EXPECT_EQ(ExtractFileName("C:\\" + hyo + "\\a.jpg"), "a.jpg");
  EXPECT_EQ(ExtractFilePath("C:\\" + hyo + "\\a.jpg"), "C:\\" + hyo + "\\");
  EXPECT_EQ(ChangeFileExt("C:\\a.b\\" + hyo, ".INI"), "C:\\a.b\\" + hyo + ".INI");
  EXPECT_EQ(ExtractFileExt("C:\\x.jp\\" + hyo), "");
  EXPECT_EQ(ExtractFileExt(hyo + ".jpg"), ".jpg");
  EXPECT_EQ(ExtractFilePath("C:name.jpg"), "C:");
  EXPECT_EQ(ExtractFileName("C:name.jpg"), "name.jpg");
  EXPECT_EQ(ExtractFileName("a/b.jpg"), "a/b.jpg");  // "/" is an ordinary character here
  // A lead byte at the very end has no trail byte to swallow.
  EXPECT_EQ(LastDelimiter("\\", "a\\\x95"), 1u);
  // Only a walk from the start knows that 0x95 0x5C 0x5C is a character and a separator.
  EXPECT_EQ(ExtractFileName("\x95\x5C\x5C" "b"), "b");
  EXPECT_EQ(ExtractFileName("\x5C\x95\x5C"), "\x95\x5C");
}

TEST(FileRoutines, FileExistsTakesOnlyFilesWithinTheDosRange) {
  TempFolder dir;
  std::string f = dir / "a.jpg";
  WriteBytes(f, "x");
  EXPECT_TRUE(FileExists(f));
  EXPECT_FALSE(FileExists(dir.Path()));
  EXPECT_FALSE(FileExists(dir / "none.jpg"));
  EXPECT_FALSE(FileExists(""));
  // Mid-year instants keep their year in every time zone.
  auto stamp = [&](std::time_t t) {
    timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
  };
  stamp(299635200);  // 1979
  EXPECT_FALSE(FileExists(f));
  stamp(4370544000);  // 2108
  EXPECT_FALSE(FileExists(f));
  stamp(4338921600);  // 2107
  EXPECT_TRUE(FileExists(f));
}

TEST(FileRoutines, OpenReadSeekAndStamps) {
  TempFolder dir;
  std::string f = dir / "a.jpg";
  WriteBytes(f, "0123456789");
  THandle h = FileOpen(f, fmOpenReadWrite | fmShareExclusive);
  ASSERT_GT(h, 0);
  char buf[4] = {};
  EXPECT_EQ(FileSeek(h, -3, 2), 7);
  EXPECT_EQ(FileRead(h, buf, 4), 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  // A stamp from 2044 on is negative as a 32-bit number and round-trips all the same.
  const Integer stamps[] = {0x50CF6000, static_cast<Integer>(0xFF9FBF7Du - 0x100000000LL)};
  for (Integer age : stamps) {
    EXPECT_EQ(FileSetDate(h, age), 0);
    EXPECT_EQ(FileGetDate(h), age);
  }
  EXPECT_NE(FileSetDate(h, 0), 0);
  EXPECT_EQ(FileGetDate(h), stamps[1]);
  FileClose(h);
  EXPECT_EQ(FileGetDate(h), -1);  // closed

  ::chmod(f.c_str(), 0444);
  EXPECT_LT(FileOpen(f, fmOpenReadWrite), 1);
  EXPECT_LT(FileOpen(f, fmOpenWrite), 1);
  THandle r = FileOpen(f, fmOpenRead | fmShareDenyWrite);
  EXPECT_GT(r, 0);
  FileClose(r);
  EXPECT_LT(FileOpen(dir / "none", fmOpenRead), 1);
  EXPECT_LT(FileOpen(std::string("a\0b", 3), fmOpenRead), 1);
}

TEST(FileRoutines, FindFirstWithTheFullMaskTakesEveryKind) {
  TempFolder dir;
  std::filesystem::create_directory(dir / "Photographs");
  WriteBytes(dir / "Photo.jpg", "x");
  TSearchRec sr;
  ASSERT_EQ(FindFirst(dir / "PHOTO*", faAnyFile, sr), 0);
  EXPECT_EQ(sr.Name, "Photo.jpg");
  EXPECT_EQ(sr.Attr & faDirectory, 0);
  EXPECT_GT(sr.Time, 0);
  ASSERT_EQ(FindNext(sr), 0);
  EXPECT_EQ(sr.Name, "Photographs");
  EXPECT_NE(sr.Attr & faDirectory, 0);
  EXPECT_NE(FindNext(sr), 0);
  FindClose(sr);
  FindClose(sr);  // harmless twice

  // Without the directory bit in the mask, folders are passed over.
  ASSERT_NE(FindFirst(dir / "photographs", 0, sr), 0);
  EXPECT_NE(FindFirst("", faAnyFile, sr), 0);
}

TEST(Program, ParametersAndTheProgramPath) {
  SetCommandLineParamsForTest({"a.jpg", "", "b c.jpg"});
  EXPECT_EQ(ParamCount(), 2);
  EXPECT_EQ(ParamStr(1), "a.jpg");
  EXPECT_EQ(ParamStr(2), "b c.jpg");
  EXPECT_EQ(ParamStr(3), "");
  EXPECT_EQ(ParamStr(-1), "");
  EXPECT_EQ(ParamStr(0), ModuleFileName());
  ResetCommandLineParamsForTest();
}
