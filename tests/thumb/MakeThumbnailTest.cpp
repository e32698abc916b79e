// The thumbnail routine on real files, through the form made from Quillet's own
// resource: sizes and sampling checked on the written thumbnails, naming, times,
// and every way a file can fail.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/GuiTestSupport.h"
#include "platform/Module.h"
#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"
#include "thumb/Rw_ini.h"
#include "thumb/Unit1.h"

namespace {

// A last-write time inside the packed DOS range, with an odd second.
constexpr std::time_t kInputTime = 1425445567;  // 2015-03-04, ...:07 UTC

class Thumbnail : public testing::Test {
 protected:
  void SetUp() override {
    SetModuleFileNameForTest(dir / "Quillet");
    Application->Reset();
    Application->Initialize();
    Application->SetTitle("Quillet");
    Application->CreateForm(Form1);
    ASSERT_NE(Form1, nullptr);
  }
  void TearDown() override {
    Application->Reset();
    Form1 = nullptr;
    SetModuleFileNameForTest("");
  }

  // Runs the routine with these edits.
  void Make(const std::string& path, const std::string& size = "64", const std::string& prefix = "$_") {
    Form1->Edit2->SetText(size);
    Form1->Edit3->SetText(prefix);
    Form1->MakeThumbnail(path);
  }

  TempFolder dir;
};

void SetTime(const std::string& path, std::time_t t) {
  timespec times[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}
std::time_t TimeOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return st.st_mtim.tv_sec;
}
bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Gray pixels (3 bytes each) in stripes: full row y is white when bits[y / block]
// is set, else black; or the same along columns.
std::vector<std::uint8_t> Stripes(int w, int h, int block, const std::vector<bool>& bits, bool alongRows,
                                  int components = 3) {
  std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * components);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const bool on = bits[static_cast<std::size_t>((alongRows ? y : x) / block)];
      for (int c = 0; c < components; ++c) p[(static_cast<std::size_t>(y) * w + x) * components + c] = on ? 255 : 0;
    }
  return p;
}

// A fixed, irregular bit sequence, so that a sample taken from a neighbouring
// row or column shows as a wrong stripe.
std::vector<bool> Bits(std::size_t n, std::uint32_t seed) {
  std::vector<bool> bits(n);
  for (std::size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    bits[i] = (seed >> 16) & 1;
  }
  return bits;
}

// The mean level of each row (or column) of a decoded thumbnail.
std::vector<double> Means(const TestJpegInfo& img, bool alongRows) {
  const int n = alongRows ? img.height : img.width, m = alongRows ? img.width : img.height;
  std::vector<double> means(static_cast<std::size_t>(n), 0);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      for (int c = 0; c < img.components; ++c)
        means[static_cast<std::size_t>(alongRows ? y : x)] +=
            img.pixels[(static_cast<std::size_t>(y) * img.width + x) * img.components + c];
  for (double& v : means) v /= static_cast<double>(m) * img.components;
  return means;
}

// The decoded row (counted from the top) or column that the rule picks for
// thumbnail row y or column x: rows from the bottom, columns from the left,
// index × ratio at extended precision, truncated.
int PickedRow(int y, int T, int H, double ratio) {
  return H - 1 - static_cast<int>(static_cast<long double>(T - 1 - y) * ratio);
}
int PickedColumn(int x, double ratio) { return static_cast<int>(static_cast<long double>(x) * ratio); }

struct TWorked {
  int fullW, fullH, thumbMax;
  int denom;            // the decode scale the size asks for
  int thumbW, thumbH;   // the thumbnail's sizes
};

// The worked sizes, checked stripe by stripe: each decoded row (then column) is
// black or white as a fixed bit sequence says, so every thumbnail row (column)
// shows which decoded one it came from.
void CheckStripes(const std::string& folder, const TWorked& w, J_COLOR_SPACE input, const std::string& prefix,
                  const std::function<void(const std::string&)>& make) {
  SCOPED_TRACE(testing::Message() << w.fullW << "x" << w.fullH << " at " << w.thumbMax);
  const int decodedW = (w.fullW + w.denom - 1) / w.denom, decodedH = (w.fullH + w.denom - 1) / w.denom;
  const double ratio = (decodedW > decodedH ? decodedW : decodedH) / static_cast<double>(w.thumbMax);
  const int components = input == JCS_GRAYSCALE ? 1 : 3;
  for (bool alongRows : {true, false}) {
    const std::vector<bool> bits = Bits(static_cast<std::size_t>(alongRows ? decodedH : decodedW), alongRows ? 7 : 11);
    TestJpegOptions o;
    o.input = input;
    o.quality = 95;
    const std::string path = folder + "/stripes.jpg";
    WriteBytes(path, EncodeTestJpeg(Stripes(w.fullW, w.fullH, w.denom, bits, alongRows, components), w.fullW,
                                    w.fullH, o));
    make(path);
    const TestJpegInfo thumb = DecodeTestJpeg(ReadBytes(folder + "/" + prefix + "stripes.jpg"), JCS_RGB);
    ASSERT_EQ(thumb.width, w.thumbW);
    ASSERT_EQ(thumb.height, w.thumbH);
    const std::vector<double> means = Means(thumb, alongRows);
    for (int i = 0; i < static_cast<int>(means.size()); ++i) {
      const int picked = alongRows ? PickedRow(i, w.thumbH, decodedH, ratio) : PickedColumn(i, ratio);
      const bool on = bits[static_cast<std::size_t>(picked)];
      EXPECT_EQ(means[static_cast<std::size_t>(i)] > 127.5, on)
          << (alongRows ? "row " : "column ") << i << " from decoded " << picked << ", mean "
          << means[static_cast<std::size_t>(i)];
    }
  }
}

const TWorked kWorked[] = {
    {1600, 1200, 64, 8, 64, 48},   // step 25: 1/8 to 200 × 150
    {1200, 1600, 64, 8, 48, 64},   // its upright twin
    {300, 300, 100, 4, 100, 100},  // step 3: 1/4 to 75 × 75, enlarged
    {200, 150, 64, 4, 64, 48},     // step 3: 1/4 to 50 × 38, enlarged
    {100, 80, 64, 1, 64, 51},      // step 1: full size
    {40, 30, 64, 1, 64, 48},       // step 0: full size, each pixel repeated
};

}  // namespace

TEST_F(Thumbnail, TheWorkedSizesSampleTheDecodedRowsAndColumnsTheRulePicks) {
  for (const TWorked& w : kWorked)
    CheckStripes(dir.Path(), w, JCS_RGB, "$_", [&](const std::string& p) { Make(p, std::to_string(w.thumbMax)); });
}

TEST_F(Thumbnail, AGrayscaleFileIsSampledAsGrayLevels) {
  for (const TWorked& w : {kWorked[0], kWorked[3]}) {
    CheckStripes(dir.Path(), w, JCS_GRAYSCALE, "$_",
                 [&](const std::string& p) { Make(p, std::to_string(w.thumbMax)); });
  }
  // A mid gray stays that gray: the 8-bit indices are written as levels.
  std::vector<std::uint8_t> gray(64 * 48, 90);
  TestJpegOptions o;
  o.input = JCS_GRAYSCALE;
  WriteBytes(dir / "g.jpg", EncodeTestJpeg(gray, 64, 48, o));
  Make(dir / "g.jpg");
  const TestJpegInfo t = DecodeTestJpeg(ReadBytes(dir / "$_g.jpg"), JCS_RGB);
  for (std::uint8_t v : t.pixels) ASSERT_NEAR(v, 90, 2);
}

TEST_F(Thumbnail, ColoursKeepTheirPlaces) {
  // Left half red, right half blue, a green band at the bottom: at 1/8.
  const int W = 1600, H = 1200;
  std::vector<std::uint8_t> p(static_cast<std::size_t>(W) * H * 3);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      std::uint8_t* q = &p[(static_cast<std::size_t>(y) * W + x) * 3];
      if (y >= 900) q[1] = 200;
      else if (x < 800) q[0] = 200;
      else q[2] = 200;
    }
  WriteBytes(dir / "c.jpg", EncodeTestJpeg(p, W, H));
  Make(dir / "c.jpg");
  const TestJpegInfo t = DecodeTestJpeg(ReadBytes(dir / "$_c.jpg"), JCS_RGB);
  auto at = [&](int y, int x, int c) { return int{t.pixels[(static_cast<std::size_t>(y) * t.width + x) * 3 + c]}; };
  EXPECT_GT(at(10, 10, 0), 150);
  EXPECT_LT(at(10, 10, 2), 50);
  EXPECT_GT(at(10, 50, 2), 150);
  EXPECT_LT(at(10, 50, 0), 50);
  EXPECT_GT(at(44, 30, 1), 150);
  EXPECT_LT(at(44, 30, 0) + at(44, 30, 2), 80);
}

TEST_F(Thumbnail, TheOutputIsNamedByThePrefixAndCarriesTheInputsTime) {
  WriteBytes(dir / "a.jpg", EncodeTestJpeg(TestCard(320, 240, 3), 320, 240));
  SetTime(dir / "a.jpg", kInputTime);
  const std::string before = ReadBytes(dir / "a.jpg");
  Make(dir / "a.jpg");
  ASSERT_TRUE(Exists(dir / "$_a.jpg"));
  EXPECT_EQ(ReadBytes(dir / "a.jpg"), before);
  // Packed times count seconds in steps of 2.
  EXPECT_EQ(TimeOf(dir / "$_a.jpg"), kInputTime - 1);
  EXPECT_EQ(TimeOf(dir / "a.jpg"), kInputTime);
  const TestJpegInfo t = DecodeTestJpeg(ReadBytes(dir / "$_a.jpg"));
  EXPECT_EQ(t.width, 64);
  EXPECT_EQ(t.height, 48);
  EXPECT_TRUE(t.jfif);
  EXPECT_EQ(t.densityUnit, 1);
  EXPECT_EQ(t.xDensity, 72);
  EXPECT_EQ(t.yDensity, 72);

  // A thumbnail given again gets a thumbnail of its own.
  Make(dir / "$_a.jpg");
  EXPECT_TRUE(Exists(dir / "$_$_a.jpg"));
  EXPECT_EQ(TimeOf(dir / "$_$_a.jpg"), kInputTime - 1);

  // Any extension, any prefix as typed, a folder in the prefix included.
  WriteBytes(dir / "b.png", EncodeTestJpeg(TestCard(80, 60, 3), 80, 60));
  Make(dir / "b.png", "64", "小_");
  EXPECT_TRUE(Exists(dir / "小_b.png"));
  std::filesystem::create_directory(dir / "small");
  Make(dir / "b.png", "64", "small/");
  EXPECT_TRUE(Exists(dir / "small/b.png"));
}

TEST_F(Thumbnail, AnEmptyPrefixReplacesTheInputKeepingItsEarlierTime) {
  WriteBytes(dir / "a.jpg", EncodeTestJpeg(TestCard(320, 240, 3), 320, 240));
  SetTime(dir / "a.jpg", kInputTime);
  Make(dir / "a.jpg", "64", "");
  TestJpegInfo t = DecodeTestJpeg(ReadBytes(dir / "a.jpg"));
  EXPECT_EQ(t.width, 64);
  EXPECT_EQ(t.height, 48);
  EXPECT_EQ(TimeOf(dir / "a.jpg"), kInputTime - 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no other file";
  // Again: a thumbnail of the thumbnail, the same size.
  Make(dir / "a.jpg", "64", "");
  t = DecodeTestJpeg(ReadBytes(dir / "a.jpg"));
  EXPECT_EQ(t.width, 64);
  EXPECT_EQ(t.height, 48);
}

TEST_F(Thumbnail, TheSettingsAreTakenFromTheEditsForEveryPathFirst) {
  ThumbMax = 1;
  ThumbChar = "old";
  Make(dir / "missing.jpg", "1000", "p_");
  EXPECT_EQ(ThumbMax, 1000);  // taken, though the path names no file
  EXPECT_EQ(ThumbChar, "p_");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 0);

  // A number outside the up-down's range is used as typed.
  WriteBytes(dir / "a.jpg", EncodeTestJpeg(TestCard(40, 30, 3), 40, 30));
  Make(dir / "a.jpg", "1000", "p_");
  const TestJpegInfo t = DecodeTestJpeg(ReadBytes(dir / "p_a.jpg"));
  EXPECT_EQ(t.width, 1000);
  EXPECT_EQ(t.height, 750);

  // No integer: the conversion error, before the path is looked at and before
  // the prefix is taken.
  for (const char* text : {"abc", "", "64 "}) {
    try {
      Make(dir / "missing.jpg", text, "q_");
      FAIL() << text;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + text + "' は整数ではありません");
    }
    EXPECT_EQ(ThumbChar, "p_");
  }
}

TEST_F(Thumbnail, PathsThatNameNoUsableFileArePassedOverSilently) {
  std::filesystem::create_directory(dir / "folder.jpg");
  Make(dir / "folder.jpg");
  Make(dir / "missing.jpg");
  Make("");
  // Dated before 1980: counts as missing.
  WriteBytes(dir / "old.jpg", EncodeTestJpeg(TestCard(80, 60, 3), 80, 60));
  SetTime(dir / "old.jpg", 315532800 - 86400 * 400);  // 1978
  Make(dir / "old.jpg");
  EXPECT_FALSE(Exists(dir / "$_old.jpg"));
  EXPECT_FALSE(Exists(dir / "$_folder.jpg"));
  EXPECT_FALSE(Exists(dir / "$_missing.jpg"));
}

TEST_F(Thumbnail, AReadOnlyInputGivesAThumbnailWithTheTimeOfItsWriting) {
  WriteBytes(dir / "a.jpg", EncodeTestJpeg(TestCard(80, 60, 3), 80, 60));
  SetTime(dir / "a.jpg", kInputTime);
  ASSERT_EQ(::chmod((dir / "a.jpg").c_str(), 0444), 0);
  const std::time_t start = std::time(nullptr);
  Make(dir / "a.jpg");
  ASSERT_TRUE(Exists(dir / "$_a.jpg"));
  EXPECT_GE(TimeOf(dir / "$_a.jpg"), start - 2);
  EXPECT_EQ(TimeOf(dir / "a.jpg"), kInputTime);
}

TEST_F(Thumbnail, SizesThatGiveNoPictureRaiseAndWriteNothing) {
  auto expectRefused = [&](const std::string& name, const std::string& size, auto check) {
    SCOPED_TRACE(name + " at " + size);
    const std::string before = ReadBytes(dir / name);
    try {
      Make(dir / name, size);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
      check(e);
    }
    EXPECT_FALSE(Exists(dir / ("$_" + name)));
    EXPECT_EQ(ReadBytes(dir / name), before);
  };
  // A landscape strip 6000 × 80: decoded 750 × 10, its height 10 × 64 div 750 = 0.
  WriteBytes(dir / "strip.jpg", EncodeTestJpeg(TestCard(6000, 80, 3), 6000, 80));
  expectRefused("strip.jpg", "64", [](const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "EInvalidGraphicOperation");
    EXPECT_EQ(e.Message(), "スキャンライン のインデックスが範囲を越えました");
  });
  // Its portrait twin: a width of 0.
  WriteBytes(dir / "tall.jpg", EncodeTestJpeg(TestCard(80, 6000, 3), 80, 6000));
  expectRefused("tall.jpg", "64", [](const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "EInvalidGraphicOperation");
    EXPECT_EQ(e.Message(), "Thumbnail size 0 x 64 is out of range");
  });
  WriteBytes(dir / "a.jpg", EncodeTestJpeg(TestCard(40, 30, 3), 40, 30));
  expectRefused("a.jpg", "0", [](const Exception& e) { EXPECT_STREQ(e.ClassName(), "EZeroDivide"); });
  for (const char* negative : {"-1", "-64", "-2147483648"}) {
    expectRefused("a.jpg", negative, [](const Exception& e) {
      EXPECT_STREQ(e.ClassName(), "EInvalidGraphicOperation");
      EXPECT_EQ(e.Message().rfind("Thumbnail size must be at least 1", 0), 0u) << e.Message();
    });
  }
  // 30 × 100000000 does not fit 32 bits.
  expectRefused("a.jpg", "100000000", [](const Exception& e) { EXPECT_STREQ(e.ClassName(), "EIntOverflow"); });
  // 60000 × 45000 fits, but is no bitmap this machine should make.
  expectRefused("a.jpg", "60000", [](const Exception& e) { EXPECT_STREQ(e.ClassName(), "EOutOfResources"); });
}

TEST_F(Thumbnail, FilesThatAreNoGoodJpegRaiseAClearErrorAndLeaveTheInput) {
  const std::string good = EncodeTestJpeg(TestCard(320, 240, 3), 320, 240);
  struct TBad {
    const char* name;
    std::string bytes;
    const char* errorClass;  // nullptr: a complete thumbnail may come out instead
  };
  std::string huge = EncodeTestJpeg(TestCard(16, 16, 3), 16, 16);
  {
    // Declares 65000 × 65000 and ends after a few bytes of data.
    const std::size_t sof = FindMarker(huge, 0xC0);
    ASSERT_NE(sof, std::string::npos);
    huge[sof + 5] = static_cast<char>(0xFD);
    huge[sof + 6] = static_cast<char>(0xE8);
    huge[sof + 7] = static_cast<char>(0xFD);
    huge[sof + 8] = static_cast<char>(0xE8);
  }
  const TBad bad[] = {
      {"text.jpg", "This is no picture at all.\n", "EJPEG"},
      {"empty.jpg", "", "EDivByZero"},
      {"header.jpg", good.substr(0, 2), "EJPEG"},
      {"truncated.jpg", good.substr(0, good.size() / 2), nullptr},
      {"huge.jpg", huge, nullptr},
  };
  for (const TBad& b : bad) {
    SCOPED_TRACE(b.name);
    WriteBytes(dir / b.name, b.bytes);
    const std::string out = dir / (std::string("$_") + b.name);
    try {
      Make(dir / b.name);
      EXPECT_EQ(b.errorClass, nullptr) << "no exception";
      // A thumbnail that did come out is a whole picture.
      const TestJpegInfo t = DecodeTestJpeg(ReadBytes(out));
      EXPECT_EQ(std::max(t.width, t.height), 64);
    } catch (const Exception& e) {
      if (b.errorClass) {
        EXPECT_STREQ(e.ClassName(), b.errorClass) << e.Message();
      }
      EXPECT_FALSE(e.Message().empty());
      EXPECT_FALSE(Exists(out));
    }
    EXPECT_EQ(ReadBytes(dir / b.name), b.bytes);
  }
  // The empty file: no sides to divide by, also with a size of 0.
  try {
    Make(dir / "empty.jpg", "0");
    FAIL();
  } catch (const EInvalidOp& e) {
    EXPECT_EQ(e.Message(), "不正な浮動小数点数演算命令");
  }
}

TEST_F(Thumbnail, AnUnreadableInputRaisesTheOpenError) {
  // Nobody but its owner may read it; the superuser tries as somebody else.
  const bool superuser = ::geteuid() == 0;
  const std::string path = dir / "a.jpg";
  const std::string bytes = EncodeTestJpeg(TestCard(80, 60, 3), 80, 60);
  WriteBytes(path, bytes);
  ASSERT_EQ(::chmod(path.c_str(), superuser ? 0600 : 0200), 0);
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  const std::string expected = "ファイル " + path + " は開けません";
  EXPECT_EXIT(
      {
        if (superuser && ::setuid(65534) != 0) std::_Exit(3);
        try {
          Make(path);
          std::_Exit(1);
        } catch (const EFOpenError& e) {
          std::_Exit(e.Message() == expected ? 0 : 2);
        } catch (...) {
          std::_Exit(4);
        }
      },
      testing::ExitedWithCode(0), "");
  EXPECT_FALSE(Exists(dir / "$_a.jpg"));
  EXPECT_EQ(ReadBytes(path), bytes);
}

TEST_F(Thumbnail, AFailedWriteRaisesTheWritersErrorAndSetsNoTime) {
  WriteBytes(dir / "a.jpg", EncodeTestJpeg(TestCard(80, 60, 3), 80, 60));
  SetTime(dir / "a.jpg", kInputTime);
  try {
    Make(dir / "a.jpg", "64", "nofolder/");
    FAIL();
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Error writing JPEG to file");
  }
  EXPECT_FALSE(Exists(dir / "nofolder"));
  // A thumbnail that exists and may not be written stays as it was.
  WriteBytes(dir / "$_a.jpg", "keep");
  ASSERT_EQ(::chmod((dir / "$_a.jpg").c_str(), 0444), 0);
  EXPECT_THROW(Make(dir / "a.jpg"), EWriteError);
  EXPECT_EQ(ReadBytes(dir / "$_a.jpg"), "keep");
}

TEST_F(Thumbnail, IsWrittenAtQuality66WhateverTheStoredQuality) {
  JpegComp = 95;
  Form1->Edit1->SetText("95");
  WriteBytes(dir / "a.jpg", EncodeTestJpeg(TestCard(80, 60, 3), 80, 60));
  Make(dir / "a.jpg");
  TestJpegOptions at66;
  at66.quality = 66;
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(dir / "$_a.jpg")).lumaTable,
            DecodeTestJpeg(EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, at66)).lumaTable);
}

TEST_F(Thumbnail, AnInkPhotoWithoutTheAdobeSegmentKeepsItsColour) {
  // Ink stored the Adobe way, 255 minus the amount, but no Adobe segment: no
  // cyan, much magenta, some yellow, a little black.
  const std::uint8_t stored[4] = {255, 55, 155, 230};
  std::vector<std::uint8_t> ink;
  for (int i = 0; i < 160 * 120; ++i) ink.insert(ink.end(), stored, stored + 4);
  WriteBytes(dir / "ink.jpg", EncodeInkJpegWithoutAdobe(ink, 160, 120));
  Make(dir / "ink.jpg");
  const TestJpegInfo t = DecodeTestJpeg(ReadBytes(dir / "$_ink.jpg"), JCS_RGB);
  ASSERT_EQ(t.width, 64);
  // Each stored ink value times the stored black.
  const int expected[3] = {230, 55 * 230 / 255, 155 * 230 / 255};
  for (std::size_t i = 0; i < t.pixels.size(); ++i) ASSERT_NEAR(t.pixels[i], expected[i % 3], 6) << "byte " << i;
}
