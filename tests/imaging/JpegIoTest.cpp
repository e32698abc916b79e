#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "classlib/Jpeg.h"
#include "imaging/JPEG_IO.h"
#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"

namespace {

const char* const kWriteError = "Error writing JPEG to file";

// A bitmap of the given format and size whose pixel bytes run 0, 1, 2, ... and
// whose pad bytes are 0xEE.
void Fill(TBitmap& b, TPixelFormat format, int width, int height) {
  b.SetPixelFormat(format);
  b.SetSize(width, height);
  const int bpp = format == pf8bit ? 1 : 3;
  const int stride = (width * bpp + 3) / 4 * 4;
  int n = 0;
  for (int y = 0; y < height; ++y) {
    BYTE* row = b.ScanLine(y);
    for (int i = 0; i < stride; ++i) row[i] = i < width * bpp ? static_cast<BYTE>(n++ * 37) : 0xEE;
  }
}

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void ExpectWriteError(TBitmap& b, const std::string& path, Integer x = 72, Integer y = 72) {
  try {
    WriteJpegFile(&b, path, 75, x, y);
    ADD_FAILURE() << "no EWriteError for " << path;
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), kWriteError);
  }
}

TEST(JpegIo, Writes24BitBitmapsUprightAsLibjpegWouldTheSamePixels) {
  TempFolder dir;
  for (int width : {3, 4, 5}) {  // 3, 0 and 1 pad bytes a row
    SCOPED_TRACE(testing::Message() << "width " << width);
    TBitmap b;
    Fill(b, pf24bit, width, 2);
    WriteJpegFile(&b, dir / "a.jpg", 90, 72, 72);
    // The same pixels, top row first, in RGB order.
    std::vector<std::uint8_t> rgb;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < width; ++x) {
        const BYTE* p = b.ScanLine(y) + 3 * x;
        rgb.insert(rgb.end(), {p[2], p[1], p[0]});
      }
    TestJpegOptions o;
    o.quality = 90;
    const TestJpegInfo got = DecodeTestJpeg(ReadBytes(dir / "a.jpg"));
    EXPECT_EQ(got.width, width);
    EXPECT_EQ(got.height, 2);
    EXPECT_EQ(got.components, 3);
    EXPECT_EQ(got.pixels, DecodeTestJpeg(EncodeTestJpeg(rgb, width, 2, o)).pixels);
  }
}

TEST(JpegIo, EightBitBitmapsAreWrittenAsTheGrayLevelsOfTheirBytes) {
  TempFolder dir;
  for (int width : {3, 4, 5}) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    TBitmap b;
    Fill(b, pf8bit, width, 3);
    // A palette that is no gray ramp: it must not matter.
    std::vector<RGBQUAD> colours(256);
    for (int i = 0; i < 256; ++i) colours[static_cast<std::size_t>(i)] = RGBQUAD{0, static_cast<BYTE>(255 - i), 255, 0};
    b.SetColors(colours);
    WriteJpegFile(&b, dir / "g.jpg", 100, 72, 72);
    const TestJpegInfo got = DecodeTestJpeg(ReadBytes(dir / "g.jpg"), JCS_UNKNOWN);
    EXPECT_EQ(got.components, 3);
    EXPECT_EQ(got.colorSpace, JCS_YCbCr);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < width; ++x) {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        EXPECT_NEAR(got.pixels[i], b.ScanLine(y)[x], 3) << x << "," << y;
        EXPECT_NEAR(got.pixels[i + 1], 128, 1);
        EXPECT_NEAR(got.pixels[i + 2], 128, 1);
      }
  }
  // Index 235 of a 236-level gray palette (shown white) is written as 235.
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(8, 8);
  b.SetColors(std::vector<RGBQUAD>(236, RGBQUAD{255, 255, 255, 0}));
  for (int y = 0; y < 8; ++y) std::memset(b.ScanLine(y), 235, 8);
  WriteJpegFile(&b, dir / "235.jpg", 100, 72, 72);
  const TestJpegInfo got = DecodeTestJpeg(ReadBytes(dir / "235.jpg"), JCS_GRAYSCALE);
  for (std::uint8_t v : got.pixels) EXPECT_NEAR(v, 235, 1);
}

TEST(JpegIo, DensitiesAreTheLow16BitsInDotsPerInch) {
  TempFolder dir;
  TBitmap b;
  Fill(b, pf24bit, 8, 8);
  struct Case {
    Integer x, y;
    int wantX, wantY;
  };
  for (Case c : {Case{300, 600, 300, 600}, Case{0, 0, 0, 0}, Case{65536, 65537, 0, 1}, Case{-1, 72, 65535, 72}}) {
    WriteJpegFile(&b, dir / "d.jpg", 75, c.x, c.y);
    const TestJpegInfo got = DecodeTestJpeg(ReadBytes(dir / "d.jpg"));
    EXPECT_TRUE(got.jfif);
    EXPECT_EQ(got.densityUnit, 1);
    EXPECT_EQ(got.xDensity, c.wantX) << c.x;
    EXPECT_EQ(got.yDensity, c.wantY) << c.y;
    EXPECT_EQ(got.markers, std::vector<int>{JPEG_APP0});  // no other metadata
  }
}

TEST(JpegIo, QualityReachesTheCodecUnchanged) {
  TempFolder dir;
  TBitmap b;
  Fill(b, pf24bit, 16, 16);
  WriteJpegFile(&b, dir / "q.jpg", 66, 72, 72);
  TestJpegOptions o;
  o.quality = 66;
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(dir / "q.jpg")).lumaTable,
            DecodeTestJpeg(EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, o)).lumaTable);
}

TEST(JpegIo, OtherPixelFormatsAreRefusedWithoutTouchingAnyFile) {
  TempFolder dir;
  WriteBytes(dir / "old.jpg", "former photo");
  for (TPixelFormat f : {pf1bit, pf4bit, pf15bit, pf16bit, pf32bit, pfDevice}) {
    SCOPED_TRACE(testing::Message() << "format " << f);
    TBitmap b;
    b.SetPixelFormat(f);
    b.SetSize(4, 4);
    ExpectWriteError(b, dir / "new.jpg");
    ExpectWriteError(b, dir / "old.jpg");
    EXPECT_EQ(ReadBytes(dir / "old.jpg"), "former photo");
    EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"old.jpg"});
  }
}

TEST(JpegIo, FailedWritesLeaveTheFormerFile) {
  TempFolder dir;
  TBitmap b;
  Fill(b, pf24bit, 8, 8);
  ExpectWriteError(b, dir / "missing/x.jpg");
  // A read-only photo is refused, also when the user could override the mark.
  WriteBytes(dir / "ro.jpg", "read-only");
  ASSERT_EQ(chmod((dir / "ro.jpg").c_str(), 0444), 0);
  ExpectWriteError(b, dir / "ro.jpg");
  EXPECT_EQ(ReadBytes(dir / "ro.jpg"), "read-only");
  // An empty bitmap gives no file.
  TBitmap empty;
  empty.SetPixelFormat(pf24bit);
  empty.SetSize(0, 5);
  ExpectWriteError(empty, dir / "e.jpg");
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"ro.jpg"});
  // A replaced file keeps its permission bits.
  WriteBytes(dir / "p.jpg", "x");
  ASSERT_EQ(chmod((dir / "p.jpg").c_str(), 0604), 0);
  WriteJpegFile(&b, dir / "p.jpg", 75, 72, 72);
  struct stat st{};
  ASSERT_EQ(stat((dir / "p.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(dir / "p.jpg")).width, 8);
}

TEST(JpegIo, AFailureInsideTheWriterIsTheWritersError) {
  // A bitmap whose pixels (and so its handle) cannot be had: the class
  // library's own error must not pass through in its place.
  TempFolder dir;
  TBitmap b;
  b.SetPixelFormat(pf24bit);
  b.SetSize(60000, 45000);
  ASSERT_THROW(b.Handle(), EOutOfResources);
  ExpectWriteError(b, dir / "x.jpg");
  EXPECT_TRUE(Entries(dir.Path()).empty());
}

TEST(JpegIo, AWriteCutShortByTheFileSizeLimitLeavesTheFormerFileByteForByte) {
  TempFolder dir;
  const std::string path = dir / "photo.jpg";
  TBitmap source;
  Fill(source, pf24bit, 300, 200);
  for (int y = 0; y < 200; ++y)  // noise, so the file is large
    for (int i = 0; i < 900; ++i) source.ScanLine(y)[i] = static_cast<BYTE>((y * 7919 + i * 104729) >> 3);
  WriteJpegFile(&source, path, 95, 72, 72);
  const std::string former = ReadBytes(path);
  ASSERT_GT(former.size(), 20000u);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{8192, 8192};
    setrlimit(RLIMIT_FSIZE, &limit);
    try {
      WriteJpegFile(&source, path, 100, 300, 300);
    } catch (const EWriteError&) {
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(ReadBytes(path), former);
  EXPECT_EQ(Entries(dir.Path()), std::vector<std::string>{"photo.jpg"});
}

TEST(JpegIo, ADecodedPhotoWritesBackAtItsOwnSize) {
  TempFolder dir;
  TestJpegOptions o;
  o.input = JCS_GRAYSCALE;
  WriteBytes(dir / "in.jpg", EncodeTestJpeg(TestCard(33, 17, 1), 33, 17, o));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(dir / "in.jpg");
  TBitmap b;
  b.Assign(&jpeg);
  ASSERT_EQ(b.PixelFormat(), pf8bit);
  WriteJpegFile(&b, dir / "in.jpg", 90, 72, 72);
  const TestJpegInfo got = DecodeTestJpeg(ReadBytes(dir / "in.jpg"), JCS_GRAYSCALE);
  EXPECT_EQ(got.width, 33);
  EXPECT_EQ(got.height, 17);
  // Gray levels keep their tones through decode and encode.
  const auto levels = DecodeTestJpeg(EncodeTestJpeg(TestCard(33, 17, 1), 33, 17, o), JCS_GRAYSCALE).pixels;
  double diff = 0;
  for (std::size_t i = 0; i < levels.size(); ++i) diff += std::abs(got.pixels[i] - levels[i]);
  EXPECT_LT(diff / static_cast<double>(levels.size()), 3.0);
}

}  // namespace
