#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <fcntl.h>
#include <sys/stat.h>

#include "tests/support/TempFolder.h"

namespace {

std::string Get(const std::string& file, const char* section, const char* key, const char* def = "<none>",
                DWORD size = 2048) {
  std::vector<char> buf(size + 1, '#');
  DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, file.c_str());
  EXPECT_LT(n, size);
  EXPECT_EQ(buf[n], '\0') << section << "/" << key;
  return std::string(buf.data(), n);
}

bool Put(const std::string& file, const char* section, const char* key, const char* value) {
  return WritePrivateProfileStringA(section, key, value, file.c_str()) != 0;
}

std::size_t EntriesIn(const std::string& folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

}  // namespace

TEST(Profile, EditsKeepEveryOtherByteOfACrLfFile) {
  TempFolder dir;
  std::string ini = dir / "a.INI";
  const std::string head = "; settings\r\n[Other]\r\n  x = 1 \r\n\r\n[Pos]\r\n";
  const std::string tail = "; note\r\n\r\n[Tail]\r\ny=2";  // no final line end
  WriteBytes(ini, head + "Top=5\r\n" + tail);

  ASSERT_TRUE(Put(ini, "Pos", "Top", "7"));
  EXPECT_EQ(ReadBytes(ini), head + "Top=7\r\n" + tail);

  // A missing key goes behind the section's last key, in the file's line style.
  ASSERT_TRUE(Put(ini, "Pos", "Left", "9"));
  EXPECT_EQ(ReadBytes(ini), head + "Top=7\r\nLeft=9\r\n" + tail);

  // A missing section goes to the end; the last line gets its line end first.
  ASSERT_TRUE(Put(ini, "Jpeg", "Comp", "66"));
  EXPECT_EQ(ReadBytes(ini), head + "Top=7\r\nLeft=9\r\n" + tail + "\r\n[Jpeg]\r\nComp=66\r\n");

  EXPECT_EQ(Get(ini, "Other", "x"), "1");
  EXPECT_EQ(Get(ini, "Tail", "y"), "2");
  EXPECT_EQ(Get(ini, "Pos", "Left"), "9");
}

TEST(Profile, NewFileAndLfFilesGrowInOrder) {
  TempFolder dir;
  std::string ini = dir / "new.INI";
  EXPECT_EQ(Get(ini, "Pos", "Top", "50"), "50");  // a missing file gives the default
  ASSERT_TRUE(Put(ini, "Pos", "Top", "1"));
  ASSERT_TRUE(Put(ini, "Pos", "Left", "2"));
  ASSERT_TRUE(Put(ini, "Mode", "Close", "1"));
  EXPECT_EQ(ReadBytes(ini), "[Pos]\nTop=1\nLeft=2\n[Mode]\nClose=1\n");

  // A new key lands behind the last key, before blank lines and the next section.
  WriteBytes(ini, "[A]\nk=1\n\n[B]\nz=0\n[C]\n");
  ASSERT_TRUE(Put(ini, "A", "m", "2"));
  ASSERT_TRUE(Put(ini, "C", "c", "3"));
  EXPECT_EQ(ReadBytes(ini), "[A]\nk=1\nm=2\n\n[B]\nz=0\n[C]\nc=3\n");
}

TEST(Profile, NamesMatchWithoutCaseAndBlanksDoNotCount) {
  TempFolder dir;
  std::string ini = dir / "c.INI";
  WriteBytes(ini, "[ pOS ]\n\t tOP  =  42  \n[Pos]\nTop=99\n[Mode]\nClose=1\nClose=2\n");
  // The first section of a name and the first key within it count.
  EXPECT_EQ(Get(ini, "Pos", "Top"), "42");
  EXPECT_EQ(Get(ini, "MODE", "close"), "1");
  EXPECT_EQ(Get(ini, "Pos", "Left", "d"), "d");
  EXPECT_EQ(Get(ini, "Po", "Top", "d"), "d");

  ASSERT_TRUE(Put(ini, "POS", "TOP", "43"));
  EXPECT_EQ(ReadBytes(ini), "[ pOS ]\ntOP=43\n[Pos]\nTop=99\n[Mode]\nClose=1\nClose=2\n");
}

TEST(Profile, OnePairOfQuotesIsRemovedOnReading) {
  TempFolder dir;
  std::string ini = dir / "q.INI";
  WriteBytes(ini, "[S]\na=\"  x y  \"\nb=\"x\nc=\"\"\nd=\"a\"b\"\ne=\"\"x\"\"\nf=\n");
  EXPECT_EQ(Get(ini, "S", "a"), "  x y  ");
  EXPECT_EQ(Get(ini, "S", "b"), "\"x");
  EXPECT_EQ(Get(ini, "S", "c"), "");
  EXPECT_EQ(Get(ini, "S", "d"), "a\"b");
  EXPECT_EQ(Get(ini, "S", "e"), "\"x\"");
  // A present key with an empty value is empty, not the default.
  EXPECT_EQ(Get(ini, "S", "f", "$_"), "");
  EXPECT_EQ(Get(ini, "S", "g", "$_"), "$_");
  EXPECT_EQ(Get(ini, "S", "g", nullptr), "");
}

TEST(Profile, ValuesAndDefaultsAreCutToTheBuffer) {
  TempFolder dir;
  std::string ini = dir / "long.INI";
  std::string big(5000, 'v');
  big[2046] = 'L';
  WriteBytes(ini, "[S]\nk=" + big + "\n");
  std::string got = Get(ini, "S", "k");
  EXPECT_EQ(got.size(), 2047u);
  EXPECT_EQ(got.back(), 'L');
  EXPECT_EQ(Get(ini, "S", "k", "", 4), "vvv");
  EXPECT_EQ(Get(ini, "S", "missing", "default", 4), "def");
  char one[1] = {'#'};
  EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", one, 1, ini.c_str()), 0u);
  EXPECT_EQ(one[0], '\0');
}

TEST(Profile, BadFilesAreReadByTheRules) {
  TempFolder dir;
  std::string ini = dir / "bad.INI";
  std::mt19937 rng(7);
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage += static_cast<char>(rng() & 0xFF);
  std::string hugeLine(100000, 'h');
  const std::string nul(1, '\0');
  std::string text = garbage + "\n[Pos\nTop=3\n" + hugeLine + "\n[Jpeg]\nComp=70" + nul + "x\n" + nul + nul +
                     "\n[Mode]\r\nClose=0";
  WriteBytes(ini, text);

  EXPECT_EQ(Get(ini, "Pos", "Top", "50"), "50");  // "[Pos" without "]" opens no section
  EXPECT_EQ(Get(ini, "Jpeg", "Comp", "66"), "70" + nul + "x");  // a null byte is a byte like any other
  EXPECT_EQ(Get(ini, "Mode", "Close", "1"), "0");   // no final line end

  // Writing keeps all the rest byte for byte.
  ASSERT_TRUE(Put(ini, "Mode", "Close", "1"));
  std::string after = ReadBytes(ini);
  EXPECT_EQ(after, text.substr(0, text.size() - 1) + "1");
  ASSERT_TRUE(Put(ini, "Pos", "Top", "4"));
  EXPECT_EQ(ReadBytes(ini).substr(0, after.size()), after);
  EXPECT_EQ(Get(ini, "Pos", "Top", "50"), "4");
}

TEST(Profile, RefusedWritesLeaveTheFileAsItWas) {
  TempFolder dir;
  std::string ini = dir / "ro.INI";
  const std::string before = "[Pos]\nTop=5\n";
  WriteBytes(ini, before);
  ASSERT_EQ(::chmod(ini.c_str(), 0444), 0);
  // Read-only holds for the superuser too.
  EXPECT_FALSE(Put(ini, "Pos", "Top", "6"));
  EXPECT_FALSE(Put(ini, "Pos", "Top", "5"));  // refused, though nothing would change
  EXPECT_FALSE(Put(ini, "Pos", "Left", "6"));
  EXPECT_EQ(ReadBytes(ini), before);
  EXPECT_EQ(Get(ini, "Pos", "Top"), "5");  // still readable

  EXPECT_FALSE(Put(dir / "missing/x.INI", "Pos", "Top", "1"));
  EXPECT_FALSE(Put(dir.Path(), "Pos", "Top", "1"));  // a folder is no settings file

  // A value or name with a line end would write lines of its own.
  std::string ok = dir / "ok.INI";
  EXPECT_FALSE(Put(ok, "Thumb", "Char", "a\nb"));
  EXPECT_FALSE(Put(ok, "Thumb", "Ch\rar", "a"));
  EXPECT_FALSE(Put(ok, "Th]umb", "Char", "a"));
  EXPECT_FALSE(std::filesystem::exists(ok));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(Profile, AFailedWriteNeverTruncatesTheFile) {
  TempFolder dir;
  std::string ini = dir / "full.INI";
  const std::string before = "[Pos]\nTop=5\n[Other]\n" + std::string(200, 'o') + "=1\n";
  WriteBytes(ini, before);
  ASSERT_EQ(::chmod(ini.c_str(), 0640), 0);
  {
    FileSizeLimit limit(64);  // as on a full disk: the new file cannot be written whole
    EXPECT_FALSE(Put(ini, "Pos", "Top", "6"));
  }
  EXPECT_EQ(ReadBytes(ini), before);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);  // no temporary file left behind

  // A write that succeeds keeps the file's permission bits.
  ASSERT_TRUE(Put(ini, "Pos", "Top", "6"));
  struct stat st {};
  ASSERT_EQ(::stat(ini.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(Profile, WritesThroughALinkToItsFile) {
  TempFolder dir;
  std::string real = dir / "real.INI", link = dir / "link.INI";
  WriteBytes(real, "[Pos]\nTop=5\n");
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(Put(link, "Pos", "Top", "8"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(real), "[Pos]\nTop=8\n");
}

TEST(Profile, AFileWhoseTextWouldStayTheSameIsNotWritten) {
  TempFolder dir;
  std::string ini = dir / "same.INI";
  WriteBytes(ini, "[Pos]\r\nTop=5\r\n");
  const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, ini.c_str(), old, 0), 0);
  struct stat before {};
  ASSERT_EQ(::stat(ini.c_str(), &before), 0);
  ASSERT_TRUE(Put(ini, "Pos", "Top", "5"));
  ASSERT_TRUE(Put(ini, "pos", "top", "5"));
  struct stat after {};
  ASSERT_EQ(::stat(ini.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // not replaced
  EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);
  // A value that differs is written.
  ASSERT_TRUE(Put(ini, "Pos", "Top", "6"));
  EXPECT_EQ(ReadBytes(ini), "[Pos]\r\nTop=6\r\n");
}
