// The encoder library on its own: the record, what it encodes, and how it puts
// the file in place.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/ijl15/ijl.h"
#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"

namespace {

// Bottom-up rows, as a bitmap keeps them, built from top-down packed pixels.
std::vector<std::uint8_t> BottomUpRows(const std::vector<std::uint8_t>& topDown, int width, int height,
                                       int channels, std::uint8_t padByte) {
  const int rowBytes = width * channels;
  const int stride = (rowBytes + 3) / 4 * 4;
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride) * height, padByte);
  for (int y = 0; y < height; ++y)
    std::memcpy(&rows[static_cast<std::size_t>(height - 1 - y) * stride], &topDown[static_cast<std::size_t>(y) * rowBytes],
                static_cast<std::size_t>(rowBytes));
  return rows;
}

struct Record {
  JPEG_CORE_PROPERTIES props;
  std::string fileName;  // the record only points at it
  Record() {
    std::memset(&props, 0, sizeof props);
    EXPECT_EQ(ijlInit(&props), IJL_OK);
  }
  ~Record() { ijlFree(&props); }
  // Describes bottom-up rows of width x height pixels the way the JPEG writer does.
  void Describe(std::vector<std::uint8_t>& rows, int width, int height, int channels, const std::string& file) {
    const int rowBytes = width * channels;
    props.DIBBytes = rows.data();
    props.DIBWidth = static_cast<std::uint32_t>(width);
    props.DIBHeight = -height;
    props.DIBPadBytes = static_cast<std::uint32_t>((rowBytes + 3) / 4 * 4 - rowBytes);
    props.DIBChannels = static_cast<std::uint32_t>(channels);
    props.DIBColor = channels == 1 ? IJL_G : IJL_BGR;
    fileName = file;
    props.JPGFile = fileName.c_str();
    props.JPGWidth = static_cast<std::uint32_t>(width);
    props.JPGHeight = static_cast<std::uint32_t>(height);
    props.JPGChannels = 3;
    props.JPGColor = IJL_YCBCR;
    props.jquality = 90;
    props.jfif_density_unit = 1;
    props.jfif_x_density = 72;
    props.jfif_y_density = 72;
  }
  int Write() { return ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE); }
};

int Channel(const TestJpegInfo& info, int x, int y, int c) {
  return info.pixels[(static_cast<std::size_t>(y) * info.width + x) * 3 + c];
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Ijl, RecordMustComeFromInitAndIsReleasedOnce) {
  JPEG_CORE_PROPERTIES props;
  std::memset(&props, 0, sizeof props);
  EXPECT_NE(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  EXPECT_NE(ijlFree(&props), IJL_OK);
  EXPECT_NE(ijlInit(nullptr), IJL_OK);
  EXPECT_NE(ijlWrite(nullptr, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
  ASSERT_EQ(ijlInit(&props), IJL_OK);
  EXPECT_EQ(ijlFree(&props), IJL_OK);
  EXPECT_NE(ijlFree(&props), IJL_OK);
  EXPECT_NE(ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE), IJL_OK);
}

TEST(Ijl, EncodesBgrRowsUprightSkippingPadBytes) {
  TempFolder dir;
  // 3 x 2: rows of 9 bytes and 3 pad bytes. Pad bytes hold 0xFF; were they read
  // as pixels, the colours would shift.
  const std::vector<std::uint8_t> rgb = {255, 0, 0,   0, 255, 0,     0, 0, 255,
                                         255, 255, 0, 0, 255, 255, 255, 0, 255};
  std::vector<std::uint8_t> bgrTopDown(rgb.size());
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    bgrTopDown[i] = rgb[i + 2];
    bgrTopDown[i + 1] = rgb[i + 1];
    bgrTopDown[i + 2] = rgb[i];
  }
  auto rows = BottomUpRows(bgrTopDown, 3, 2, 3, 0xFF);
  const auto before = rows;
  Record r;
  r.Describe(rows, 3, 2, 3, dir / "a.jpg");
  r.props.jquality = 100;
  ASSERT_EQ(r.Write(), IJL_OK);
  EXPECT_EQ(rows, before);  // the caller's pixels are only read

  TestJpegInfo info = DecodeTestJpeg(ReadBytes(dir / "a.jpg"));
  ASSERT_EQ(info.width, 3);
  ASSERT_EQ(info.height, 2);
  EXPECT_EQ(info.components, 3);
  EXPECT_EQ(info.colorSpace, JCS_YCbCr);
  // The same pixels given to libjpeg top row first decode to the same image.
  TestJpegOptions o;
  o.quality = 100;
  EXPECT_EQ(info.pixels, DecodeTestJpeg(EncodeTestJpeg(rgb, 3, 2, o)).pixels);
}

TEST(Ijl, ColoursComeThroughInTheirPlaces) {
  TempFolder dir;
  // Blocks of 8 x 8 pixels, three across and two down, each its own colour.
  const std::uint8_t colours[6][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                                      {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};
  const int w = 24, h = 16;
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        bgr[(static_cast<std::size_t>(y) * w + x) * 3 + c] = colours[(y / 8) * 3 + x / 8][2 - c];
  auto rows = BottomUpRows(bgr, w, h, 3, 0);
  Record r;
  r.Describe(rows, w, h, 3, dir / "c.jpg");
  r.props.jquality = 95;
  ASSERT_EQ(r.Write(), IJL_OK);
  TestJpegInfo info = DecodeTestJpeg(ReadBytes(dir / "c.jpg"));
  for (int block = 0; block < 6; ++block) {
    const int x = (block % 3) * 8 + 4, y = (block / 3) * 8 + 4;  // the middle of each block
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(Channel(info, x, y, c), colours[block][c], 12) << "block " << block << " channel " << c;
  }
}

TEST(Ijl, GrayRowsBecomeLuminanceOfAThreeComponentFile) {
  TempFolder dir;
  for (int width : {3, 4, 5}) {
    SCOPED_TRACE(testing::Message() << "width " << width);
    const int height = 3;
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(width) * height);
    for (std::size_t i = 0; i < gray.size(); ++i) gray[i] = static_cast<std::uint8_t>(i * 255 / (gray.size() - 1));
    auto rows = BottomUpRows(gray, width, height, 1, 0xFF);
    Record r;
    r.Describe(rows, width, height, 1, dir / "g.jpg");
    r.props.jquality = 100;
    ASSERT_EQ(r.Write(), IJL_OK);
    const std::string bytes = ReadBytes(dir / "g.jpg");
    TestJpegInfo info = DecodeTestJpeg(bytes, JCS_UNKNOWN);
    EXPECT_EQ(info.components, 3);
    EXPECT_EQ(info.colorSpace, JCS_YCbCr);
    ASSERT_EQ(info.width, width);
    for (std::size_t i = 0; i < gray.size(); ++i) {
      EXPECT_NEAR(info.pixels[i * 3], gray[i], 3) << "Y at " << i;
      EXPECT_NEAR(info.pixels[i * 3 + 1], 128, 1) << "Cb at " << i;
      EXPECT_NEAR(info.pixels[i * 3 + 2], 128, 1) << "Cr at " << i;
    }
  }
}

TEST(Ijl, PositiveHeightMeansTopDownRows) {
  TempFolder dir;
  std::vector<std::uint8_t> gray = {0, 0, 0, 0, 255, 255, 255, 255};  // 4 x 2: black over white
  Record r;
  r.Describe(gray, 4, 2, 1, dir / "t.jpg");
  r.props.DIBHeight = 2;
  ASSERT_EQ(r.Write(), IJL_OK);
  TestJpegInfo info = DecodeTestJpeg(ReadBytes(dir / "t.jpg"), JCS_GRAYSCALE);
  EXPECT_LT(info.pixels[0], 40);
  EXPECT_GT(info.pixels[4], 215);
}

TEST(Ijl, WritesJfifDensitiesAndNothingElse) {
  TempFolder dir;
  auto rows = BottomUpRows(TestCard(16, 8, 3), 16, 8, 3, 0);
  Record r;
  r.Describe(rows, 16, 8, 3, dir / "d.jpg");
  r.props.jfif_density_unit = 1;
  r.props.jfif_x_density = 300;
  r.props.jfif_y_density = 600;
  ASSERT_EQ(r.Write(), IJL_OK);
  TestJpegInfo info = DecodeTestJpeg(ReadBytes(dir / "d.jpg"));
  EXPECT_TRUE(info.jfif);
  EXPECT_EQ(info.densityUnit, 1);
  EXPECT_EQ(info.xDensity, 300);
  EXPECT_EQ(info.yDensity, 600);
  EXPECT_EQ(info.markers, std::vector<int>{JPEG_APP0});  // the JFIF segment alone
}

TEST(Ijl, QualityIsTheCodecsAndClampedToItsScale) {
  TempFolder dir;
  const auto card = TestCard(32, 32, 3);
  auto rows = BottomUpRows(card, 32, 32, 3, 0);
  auto write = [&](int quality, const std::string& name) {
    Record r;
    r.Describe(rows, 32, 32, 3, dir / name);
    r.props.jquality = quality;
    EXPECT_EQ(r.Write(), IJL_OK) << quality;
    return ReadBytes(dir / name);
  };
  // The quantisation tables are libjpeg's for the number given.
  TestJpegOptions o;
  o.quality = 66;
  const std::string reference = EncodeTestJpeg(card, 32, 32, o);
  EXPECT_EQ(DecodeTestJpeg(write(66, "q66.jpg")).lumaTable, DecodeTestJpeg(reference).lumaTable);
  EXPECT_EQ(write(0, "q0.jpg"), write(1, "q1.jpg"));
  EXPECT_EQ(write(-5, "qm.jpg"), write(1, "q1.jpg"));
  EXPECT_EQ(write(1000, "q1000.jpg"), write(100, "q100.jpg"));
  EXPECT_LT(write(10, "q10.jpg").size(), write(90, "q90.jpg").size());
}

// A large image is encoded in bands on several threads and joined with restart
// markers; the file must decode to exactly the pixels of one pass over the
// image, whatever its size and format.
struct TBandCase {
  const char* name;
  int width, height, channels;
  bool topDown;
  bool banded;  // large enough to be cut into bands
};

void PrintTo(const TBandCase& c, std::ostream* os) { *os << c.name; }

class IjlBands : public testing::TestWithParam<TBandCase> {};

TEST_P(IjlBands, DecodeToThePixelsOfOnePass) {
  const TBandCase& c = GetParam();
  TempFolder dir;
  // A test card with grain, so that every block has bits to code.
  std::vector<std::uint8_t> pixels = TestCard(c.width, c.height, c.channels);
  std::uint32_t seed = 5;
  for (auto& b : pixels) b = static_cast<std::uint8_t>(b ^ (((seed = seed * 1103515245u + 12345u) >> 16) & 15));
  std::vector<std::uint8_t> rows = c.topDown ? pixels : BottomUpRows(pixels, c.width, c.height, c.channels, 0);
  Record r;
  r.Describe(rows, c.width, c.height, c.channels, dir / "b.jpg");
  r.props.jquality = 80;
  r.props.jfif_x_density = 300;
  r.props.jfif_y_density = 150;
  if (c.topDown) {
    r.props.DIBHeight = c.height;
    r.props.DIBPadBytes = 0;
  }
  ASSERT_EQ(r.Write(), IJL_OK);
  const std::string file = ReadBytes(dir / "b.jpg");

  // One pass of libjpeg over the same rows: BGR pixels, or gray levels as Y with
  // neutral chroma.
  std::vector<std::uint8_t> packed;
  TestJpegOptions o;
  o.quality = 80;
  if (c.channels == 3) {
    for (std::size_t i = 0; i < pixels.size(); i += 3) packed.insert(packed.end(), {pixels[i], pixels[i + 1], pixels[i + 2]});
    o.input = JCS_EXT_BGR;
  } else {
    for (std::uint8_t level : pixels) packed.insert(packed.end(), {level, 128, 128});
    o.input = JCS_YCbCr;
  }
  const std::string onePass = EncodeTestJpeg(packed, c.width, c.height, o);

  const TestJpegInfo info = DecodeTestJpeg(file);
  EXPECT_EQ(info.width, c.width);
  EXPECT_EQ(info.height, c.height);
  EXPECT_EQ(info.components, 3);
  EXPECT_TRUE(info.jfif);
  EXPECT_EQ(info.xDensity, 300);
  EXPECT_EQ(info.yDensity, 150);
  EXPECT_EQ(info.lumaTable, DecodeTestJpeg(onePass).lumaTable);
  EXPECT_TRUE(info.pixels == DecodeTestJpeg(onePass).pixels) << "the decoded pixels differ";
  EXPECT_EQ(FindMarker(file, 0xD0) != std::string::npos, c.banded) << "restart markers";
  EXPECT_EQ(FindMarker(file, 0xC0) != std::string::npos, true) << "baseline";
}

INSTANTIATE_TEST_SUITE_P(
    Ijl, IjlBands,
    testing::Values(TBandCase{"colour_1536x1200", 1536, 1200, 3, false, true},
                    TBandCase{"colour_odd_1001x1503", 1001, 1503, 3, false, true},
                    TBandCase{"colour_top_down_999x1025", 999, 1025, 3, true, true},
                    TBandCase{"gray_odd_2049x777", 2049, 777, 1, false, true},
                    TBandCase{"gray_1000x1000", 1000, 1000, 1, false, true},
                    TBandCase{"tall_strip_17x40001", 17, 40001, 3, false, true},
                    TBandCase{"wide_65000x20", 65000, 20, 3, false, true},
                    TBandCase{"one_row_4000x1", 4000, 1, 3, false, false},
                    TBandCase{"small_400x300", 400, 300, 3, false, false}),
    [](const testing::TestParamInfo<TBandCase>& info) { return std::string(info.param.name); });

TEST(Ijl, RefusesWhatItCannotEncodeWithoutTouchingTheTarget) {
  TempFolder dir;
  const std::string target = dir / "keep.jpg";
  WriteBytes(target, "former contents");
  auto rows = BottomUpRows(TestCard(4, 4, 3), 4, 4, 3, 0);
  auto attempt = [&](auto change) {
    Record r;
    r.Describe(rows, 4, 4, 3, target);
    change(r.props);
    EXPECT_NE(r.Write(), IJL_OK);
    EXPECT_EQ(ReadBytes(target), "former contents");
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"keep.jpg"});
  };
  attempt([](JPEG_CORE_PROPERTIES& p) { p.DIBChannels = 4; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.DIBColor = IJL_G; });  // 3 channels of gray: no such rows
  attempt([](JPEG_CORE_PROPERTIES& p) { p.JPGChannels = 1; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.JPGColor = IJL_BGR; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.JPGWidth = 5; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.JPGHeight = 3; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.DIBBytes = nullptr; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.JPGFile = nullptr; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.DIBWidth = p.JPGWidth = 0; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.DIBHeight = 0, p.JPGHeight = 0; });
  attempt([](JPEG_CORE_PROPERTIES& p) { p.DIBWidth = p.JPGWidth = 70000; });
  Record r;
  r.Describe(rows, 4, 4, 3, target);
  EXPECT_EQ(ijlWrite(&r.props, 4), IJL_UNSUPPORTED_MODE);
  EXPECT_EQ(ReadBytes(target), "former contents");
}

TEST(Ijl, ReplacesTheTargetKeepingItsPermissionBits) {
  TempFolder dir;
  const std::string target = dir / "p.jpg";
  WriteBytes(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  auto rows = BottomUpRows(TestCard(8, 8, 3), 8, 8, 3, 0);
  Record r;
  r.Describe(rows, 8, 8, 3, target);
  ASSERT_EQ(r.Write(), IJL_OK);
  struct stat st{};
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(target)).width, 8);
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"p.jpg"});
}

TEST(Ijl, FollowsASymbolicLinkAndKeepsIt) {
  TempFolder dir;
  std::filesystem::create_directory(dir / "real");
  WriteBytes(dir / "real/photo.jpg", "old");
  ASSERT_EQ(symlink("real/photo.jpg", (dir / "link.jpg").c_str()), 0);
  auto rows = BottomUpRows(TestCard(8, 8, 3), 8, 8, 3, 0);
  Record r;
  r.Describe(rows, 8, 8, 3, dir / "link.jpg");
  ASSERT_EQ(r.Write(), IJL_OK);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.jpg"));
  EXPECT_EQ(DecodeTestJpeg(ReadBytes(dir / "real/photo.jpg")).width, 8);
}

TEST(Ijl, RefusesAReadOnlyTargetAndAMissingFolder) {
  TempFolder dir;
  const std::string target = dir / "ro.jpg";
  WriteBytes(target, "read-only photo");
  ASSERT_EQ(chmod(target.c_str(), 0444), 0);
  auto rows = BottomUpRows(TestCard(8, 8, 3), 8, 8, 3, 0);
  {
    Record r;
    r.Describe(rows, 8, 8, 3, target);
    EXPECT_EQ(r.Write(), IJL_FILE_ERROR);  // also for the superuser
  }
  EXPECT_EQ(ReadBytes(target), "read-only photo");
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"ro.jpg"});
  {
    Record r;
    r.Describe(rows, 8, 8, 3, dir / "missing/x.jpg");
    EXPECT_EQ(r.Write(), IJL_FILE_ERROR);
  }
  {
    Record r;  // a folder in the target's place
    std::filesystem::create_directory(dir / "folder.jpg");
    r.Describe(rows, 8, 8, 3, dir / "folder.jpg");
    EXPECT_EQ(r.Write(), IJL_FILE_ERROR);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.jpg"));
  }
}

TEST(Ijl, AWriteThatFailsHalfWayLeavesTheFormerFile) {
  TempFolder dir;
  const std::string target = dir / "big.jpg";
  std::string former(3000, '\0');
  for (std::size_t i = 0; i < former.size(); ++i) former[i] = static_cast<char>(i * 7);
  WriteBytes(target, former);
  // A noisy image whose file is far larger than the limit set below.
  std::vector<std::uint8_t> noise(200u * 200u * 3u);
  std::uint32_t seed = 1;
  for (auto& b : noise) b = static_cast<std::uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  auto rows = BottomUpRows(noise, 200, 200, 3, 0);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The file-size limit makes the write fail part-way, as a full disk would.
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    JPEG_CORE_PROPERTIES props;
    std::memset(&props, 0, sizeof props);
    if (ijlInit(&props) != IJL_OK) _exit(2);
    props.DIBBytes = rows.data();
    props.DIBWidth = props.JPGWidth = 200;
    props.DIBHeight = -200;
    props.JPGHeight = 200;
    props.DIBChannels = 3;
    props.DIBColor = IJL_BGR;
    props.JPGFile = target.c_str();
    props.JPGChannels = 3;
    props.JPGColor = IJL_YCBCR;
    props.jquality = 100;
    const int status = ijlWrite(&props, IJL_JFILE_WRITEWHOLEIMAGE);
    ijlFree(&props);
    _exit(status == IJL_OK ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);  // the write reported its failure
  EXPECT_EQ(ReadBytes(target), former);
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"big.jpg"});
}

}  // namespace
