// The long-path expansion and the making absolute of command-line paths, under
// this platform's rules (a real folder tree) and under "\" + ":" + Shift-JIS rules
// (a fake file system in place of the directory search).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <vector>

#include "platform/CodePage.h"
#include "toolbase/ToolForm.h"
#include "tests/support/TempFolder.h"

namespace {

// Puts the path rules back however a test ends.
class TRulesGuard {
 public:
  explicit TRulesGuard(const TPathRules& rules) : FOld(SetPathRules(rules)) {}
  ~TRulesGuard() { SetPathRules(FOld); }

 private:
  TPathRules FOld;
};

// A file system of full paths (matched without regard to letter case) and the
// names stored for their last components; records every search.
class TFakeFiles {
 public:
  std::map<std::string, std::string> Entries;  // lower-cased full path -> stored name
  std::vector<std::string> Searched;
  int Opened = 0;
  int Closed = 0;

  TLongPathSearch Search() {
    return TLongPathSearch{
        [this](const std::string& path, Integer attr, TSearchRec& F) -> Integer {
          EXPECT_EQ(attr, faAnyFile);
          Searched.push_back(path);
          auto it = Entries.find(LowerCase(path));
          if (it == Entries.end()) return 2;
          ++Opened;
          F.Name = it->second;
          F.FindHandle = 1000 + Opened;
          return 0;
        },
        [this](TSearchRec& F) {
          if (F.FindHandle != INVALID_HANDLE_VALUE) ++Closed;
          F.FindHandle = INVALID_HANDLE_VALUE;
        }};
  }
};

std::string Expand(const std::string& path, const TLongPathSearch& search) {
  std::string result;
  ExpandLongFilePathName(path, result, search);
  return result;
}

}  // namespace

TEST(LongPathLinux, ComponentsTakeTheirStoredNamesAndAPatternTakesTheFirstMatch) {
  TempFolder dir;
  const std::string root = std::filesystem::canonical(dir.Path()).string();
  std::filesystem::create_directories(root + "/Photographs");
  WriteBytes(root + "/Photographs/Img0001Large.JPG", "x");
  WriteBytes(root + "/Photographs/Img0002Large.JPG", "y");
  const TLongPathSearch search = RuntimeLongPathSearch();

  // The search matches the last component without regard to case; the folders
  // above it must name existing folders, as everywhere on this platform.
  EXPECT_EQ(Expand(root + "/Photographs/img0001large.jpg", search), root + "/Photographs/Img0001Large.JPG");
  EXPECT_EQ(Expand(root + "/Photographs/IMG*2*", search), root + "/Photographs/Img0002Large.JPG");
  EXPECT_EQ(Expand(root + "/photographs/", search), root + "/Photographs");
  // Nothing of a path that does not exist is expanded, not even what exists.
  EXPECT_EQ(Expand(root + "/PHOTOGRAPHS/img0001large.jpg", search), root + "/PHOTOGRAPHS/img0001large.jpg");
  EXPECT_EQ(Expand(root + "/Photographs/missing.jpg", search), root + "/Photographs/missing.jpg");
  EXPECT_EQ(Expand(root + "/Photographs/missing/", search), root + "/Photographs/missing");
}

TEST(LongPathLinux, EmptyPathLeavesTheResultAndTheRootComesBackWithoutItsSeparator) {
  const TLongPathSearch search = RuntimeLongPathSearch();
  std::string result = "kept";
  ExpandLongFilePathName("", result, search);
  EXPECT_EQ(result, "kept");
  EXPECT_EQ(Expand("/", search), "");
  EXPECT_EQ(Expand("/tmp", search), "/tmp");
}

TEST(LongPathLinux, ASearchThatFindsEveryRootEndsInsteadOfRecursingForever) {
  // A search that reports an entry for anything, the root included.
  int closed = 0;
  TLongPathSearch all{[](const std::string&, Integer, TSearchRec& F) -> Integer {
                        F.Name.assign(1, 'E');  // a literal here trips a false GCC 12 warning
                        return 0;
                      },
                      [&closed](TSearchRec&) { ++closed; }};
  EXPECT_EQ(Expand("//", all), "/");
  EXPECT_EQ(Expand("/a/b", all), "/E/E");
  EXPECT_EQ(closed, 3);
}

TEST(LongPathLinux, RelativeParametersAreJoinedToTheCurrentFolder) {
  EXPECT_EQ(AbsoluteParamPath("a b.jpg", "/home/u"), "/home/u/a b.jpg");
  EXPECT_EQ(AbsoluteParamPath("sub/a.jpg", "/home/u/"), "/home/u/sub/a.jpg");
  EXPECT_EQ(AbsoluteParamPath("a.jpg", "/"), "/a.jpg");
  EXPECT_EQ(AbsoluteParamPath("/x/a.jpg", "/home/u"), "/x/a.jpg");
  EXPECT_EQ(AbsoluteParamPath("a.jpg", ""), "a.jpg");  // no current folder known
  // This platform has no drives: "C:x" is a plain relative name.
  EXPECT_EQ(AbsoluteParamPath("C:x.jpg", "/h"), "/h/C:x.jpg");
  EXPECT_TRUE(IsAbsoluteFilePath("/a"));
  EXPECT_FALSE(IsAbsoluteFilePath("C:/a"));
  EXPECT_FALSE(IsAbsoluteFilePath(""));

  TempFolder dir;
  const std::string old = GetCurrentDir();
  ASSERT_EQ(chdir(dir.Path().c_str()), 0);
  EXPECT_EQ(GetCurrentDir(), std::filesystem::canonical(dir.Path()).string());
  ASSERT_EQ(chdir(old.c_str()), 0);
}

TEST(LongPathShiftJis, AShortPathBecomesTheStoredLongNamesBelowTheDriveAsTyped) {
  TRulesGuard rules(ShiftJisPathRules);
  TFakeFiles fs;
  fs.Entries = {{"c:\\photog~1\\img00~1.jpg", "Img0001Large.jpg"}, {"c:\\photog~1", "Photographs"}};
  EXPECT_EQ(Expand("c:\\PHOTOG~1\\IMG00~1.JPG", fs.Search()), "c:\\Photographs\\Img0001Large.jpg");
  EXPECT_EQ(fs.Searched, (std::vector<std::string>{"c:\\PHOTOG~1\\IMG00~1.JPG", "c:\\PHOTOG~1"}));
  EXPECT_EQ(fs.Closed, fs.Opened);

  EXPECT_EQ(Expand("C:\\PHOTOG~1\\", fs.Search()), "C:\\Photographs");
  // The drive ends the recursion before any search.
  fs.Searched.clear();
  EXPECT_EQ(Expand("C:\\", fs.Search()), "C:");
  EXPECT_EQ(Expand("C:", fs.Search()), "C:");
  EXPECT_TRUE(fs.Searched.empty());
}

TEST(LongPathShiftJis, MissingPathsRootsAndUncShares) {
  TRulesGuard rules(ShiftJisPathRules);
  TFakeFiles fs;
  fs.Entries = {{"c:\\photog~1", "Photographs"},
                {"\\\\server\\share\\dir~1", "Directory"},
                {"\\\\server\\share\\dir~1\\f.jpg", "F.jpg"},
                {"\\name.jpg", "Name.JPG"}};
  // A missing file: nothing expanded, its existing folder neither.
  EXPECT_EQ(Expand("C:\\PHOTOG~1\\missing.jpg", fs.Search()), "C:\\PHOTOG~1\\missing.jpg");
  EXPECT_EQ(fs.Searched.size(), 1u);
  // The share's root is no entry: server and share stay, the rest expands.
  EXPECT_EQ(Expand("\\\\server\\share\\DIR~1\\f.jpg", fs.Search()), "\\\\server\\share\\Directory\\F.jpg");
  // A single leading separator: the root alone is the folder part.
  EXPECT_EQ(Expand("\\NAME.JPG", fs.Search()), "\\Name.JPG");
  EXPECT_EQ(fs.Closed, fs.Opened);
}

TEST(LongPathShiftJis, ATrailByteWithTheSeparatorsCodeIsPartOfItsCharacter) {
  TRulesGuard rules(ShiftJisPathRules);
  const std::string hyo = "\x95\x5c";  // 表: its second byte is the code of "\"
  TFakeFiles fs;
  fs.Entries = {{"c:\\abc" + hyo + "\\a.jpg", "A.jpg"},
                {"c:\\abc" + hyo, "Abc" + hyo},
                {"c:\\abc", "ABC"}};
  // Nothing is cut from a name that ends in 表, and it is no folder separator.
  EXPECT_EQ(Expand("C:\\abc" + hyo, fs.Search()), "C:\\Abc" + hyo);
  EXPECT_EQ(fs.Searched.back(), "C:\\abc" + hyo);
  EXPECT_EQ(Expand("C:\\abc" + hyo + "\\a.jpg", fs.Search()), "C:\\Abc" + hyo + "\\A.jpg");
  // With the plain "last byte" test the 表 folder would lose its trail byte.
  EXPECT_EQ(Expand("C:\\abc" + hyo + "\\", fs.Search()), "C:\\Abc" + hyo);
}

TEST(LongPathShiftJis, RelativeParametersAndAbsolutePaths) {
  TRulesGuard rules(ShiftJisPathRules);
  const std::string hyo = "\x95\x5c";
  EXPECT_TRUE(IsAbsoluteFilePath("C:\\a"));
  EXPECT_TRUE(IsAbsoluteFilePath("\\a"));
  EXPECT_TRUE(IsAbsoluteFilePath("\\\\server\\share"));
  EXPECT_FALSE(IsAbsoluteFilePath("C:a"));
  EXPECT_FALSE(IsAbsoluteFilePath("a\\b"));
  EXPECT_FALSE(IsAbsoluteFilePath(hyo + "\\a"));  // 表 is no separator

  EXPECT_EQ(AbsoluteParamPath("a.jpg", "C:\\Work"), "C:\\Work\\a.jpg");
  EXPECT_EQ(AbsoluteParamPath("a.jpg", "C:\\"), "C:\\a.jpg");
  EXPECT_EQ(AbsoluteParamPath("a.jpg", "C:\\" + hyo), "C:\\" + hyo + "\\a.jpg");
  // Relative to the drive's own current folder: left as given.
  EXPECT_EQ(AbsoluteParamPath("D:a.jpg", "C:\\Work"), "D:a.jpg");
  EXPECT_EQ(AbsoluteParamPath("\\a.jpg", "C:\\Work"), "\\a.jpg");
}
