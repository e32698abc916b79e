#include "platform/Find.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <vector>

#include "tests/support/TempFolder.h"

namespace {

// Every name a search hands out, in order; empty when it finds nothing.
std::vector<std::string> Search(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  THandle h = FindFirstFileA(pattern.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.emplace_back(data.cFileName);
  while (FindNextFileA(h, &data));
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindClose(h));  // released once
  return names;
}

using Names = std::vector<std::string>;

class FindTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir / "Photographs");
    for (const char* name : {"Img0001Large.jpg", "b.JPG", "a.txt", "A.TXT", "\xE8\xA1\xA8.jpg", "ro.jpg"})
      WriteBytes(dir / name, "x");
    ::chmod((dir / "ro.jpg").c_str(), 0444);
  }
  TempFolder dir;
};

}  // namespace

TEST_F(FindTest, TheExactNameComesFirstThenNamesWithoutCase) {
  EXPECT_EQ(Search(dir / "A.TXT"), Names{"A.TXT"});
  EXPECT_EQ(Search(dir / "a.txt"), Names{"a.txt"});
  EXPECT_EQ(Search(dir / "IMG0001LARGE.JPG"), Names{"Img0001Large.jpg"});
  EXPECT_EQ(Search(dir / "A.Txt"), (Names{"A.TXT", "a.txt"}));
  EXPECT_EQ(Search(dir / "photographs"), Names{"Photographs"});
}

TEST_F(FindTest, PatternsMatchInNameOrder) {
  EXPECT_EQ(Search(dir / "*.jpg"), (Names{"Img0001Large.jpg", "b.JPG", "ro.jpg", "\xE8\xA1\xA8.jpg"}));
  EXPECT_EQ(Search(dir / "?.jpg"), (Names{"b.JPG", "\xE8\xA1\xA8.jpg"}));  // "?" is one character, not one byte
  EXPECT_EQ(Search(dir / "i*L*.J?G"), Names{"Img0001Large.jpg"});
  EXPECT_EQ(Search(dir / "*"), (Names{"A.TXT", "Img0001Large.jpg", "Photographs", "a.txt", "b.JPG", "ro.jpg",
                                      "\xE8\xA1\xA8.jpg"}));
  EXPECT_EQ(Search(dir / "*.png"), Names{});
}

TEST_F(FindTest, NothingIsFoundForEmptyMissingOrFolderEndingNames) {
  EXPECT_EQ(Search(""), Names{});
  EXPECT_EQ(Search(dir / ""), Names{});
  EXPECT_EQ(Search(dir / "missing.jpg"), Names{});
  EXPECT_EQ(Search(dir / "missing/b.jpg"), Names{});
  WIN32_FIND_DATAA data;
  EXPECT_EQ(FindFirstFileA(nullptr, &data), INVALID_HANDLE_VALUE);
}

TEST_F(FindTest, AttributesTellFoldersAndReadOnlyFiles) {
  WIN32_FIND_DATAA data;
  THandle h = FindFirstFileA((dir / "PHOTOGRAPHS").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  FindClose(h);
  h = FindFirstFileA((dir / "RO.JPG").c_str(), &data);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(data.nFileSize, 1);
  FindClose(h);
}
