// The row reader on large images, which it decodes ahead on worker threads (a
// large single-scan image in parts side by side): the same rows as a
// decode on the calling thread, a libjpeg error at the band holding its row,
// and no decoding left running once the reader is gone.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <jerror.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "classlib/Jpeg.h"
#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"

// libjpeg's row reading as the class library calls it, with faults on demand:
// the row at which libjpeg is to fail, and a pause per row that keeps the
// decoding workers busy. Untouched, it passes every call on.
namespace {
std::atomic<int> gFailRow{-1};
std::atomic<int> gPauseMicros{0};
std::atomic<int> gCallsInside{0};
std::atomic<long> gCalls{0};
}  // namespace

extern "C" JDIMENSION jpeg_read_scanlines(j_decompress_ptr cinfo, JSAMPARRAY scanlines, JDIMENSION max_lines) {
  using TRead = JDIMENSION (*)(j_decompress_ptr, JSAMPARRAY, JDIMENSION);
  static const auto real = reinterpret_cast<TRead>(dlsym(RTLD_NEXT, "jpeg_read_scanlines"));
  ++gCallsInside;
  ++gCalls;
  if (const int pause = gPauseMicros.load()) std::this_thread::sleep_for(std::chrono::microseconds(pause));
  const int fail = gFailRow.load();
  const auto row = static_cast<int>(cinfo->output_scanline);
  JDIMENSION got = 0;
  if (fail >= row && fail < row + static_cast<int>(max_lines)) {
    // The rows before the faulty one come out; then libjpeg gives up.
    if (fail > row) got = real(cinfo, scanlines, static_cast<JDIMENSION>(fail - row));
    if (static_cast<int>(cinfo->output_scanline) == fail) {
      --gCallsInside;
      cinfo->err->msg_code = JERR_BAD_HUFF_TABLE;
      (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    }
  } else {
    got = real(cinfo, scanlines, max_lines);
  }
  --gCallsInside;
  return got;
}

namespace {

struct TReadCase {
  const char* name;
  int width, height;
  TestJpegOptions options;
  bool cut = false;         // the file cut after half its bytes
  bool eightBit = false;    // colours quantised to a palette
};
void PrintTo(const TReadCase& c, std::ostream* os) { *os << c.name; }

TestJpegOptions With(J_COLOR_SPACE input, bool progressive = false) {
  TestJpegOptions o;
  o.input = input;
  o.progressive = progressive;
  o.quality = 90;
  return o;
}

int Components(const TestJpegOptions& o) { return o.input == JCS_GRAYSCALE ? 1 : o.input == JCS_CMYK ? 4 : 3; }

class ReadAhead : public testing::TestWithParam<TReadCase> {
 protected:
  void TearDown() override {
    gFailRow = -1;
    gPauseMicros = 0;
  }
  TempFolder dir;
  std::string Make(const TReadCase& c) {
    std::string bytes = EncodeTestJpeg(TestCard(c.width, c.height, Components(c.options)), c.width, c.height, c.options);
    if (c.cut) bytes.resize(bytes.size() / 2);
    const std::string path = dir / (std::string(c.name) + ".jpg");
    WriteBytes(path, bytes);
    return path;
  }
  static void Load(TJPEGImage& jpeg, const std::string& path, const TReadCase& c) {
    jpeg.LoadFromFile(path);
    jpeg.SetPerformance(jpBestSpeed);
    if (c.eightBit) jpeg.SetPixelFormat(jf8Bit);
  }
};

// Bands as the rotation reads them (row 0 alone, then ten at a time) and of
// other heights, into rows with spare bytes after the pixels.
TEST_P(ReadAhead, GivesTheRowsOfADecodeOnTheCallingThread) {
  const TReadCase& c = GetParam();
  const std::string path = Make(c);
  TJPEGImage jpeg;
  Load(jpeg, path, c);
  TBitmap whole;  // decoded on this thread, in one go
  whole.Assign(&jpeg);
  const int B = whole.PixelFormat() == pf8bit ? 1 : 3;
  const std::size_t rowBytes = static_cast<std::size_t>(whole.Width()) * B, stride = rowBytes + 2;

  TJPEGRowReader reader(jpeg);
  ASSERT_EQ(reader.Width(), whole.Width());
  ASSERT_EQ(reader.Height(), whole.Height());
  const int bands[] = {1, 10, 10, 10, 7, 64, 10, 333};
  std::vector<std::uint8_t> band;
  int mismatch = -1;
  for (int i = 0; reader.NextRow() < reader.Height(); ++i) {
    const int first = reader.NextRow();
    const int n = std::min(bands[i % 8], reader.Height() - first);
    band.assign(stride * static_cast<std::size_t>(n), 0xC3);
    reader.ReadRows(band.data(), static_cast<std::int64_t>(stride), n);
    for (int k = 0; k < n && mismatch < 0; ++k) {
      const std::uint8_t* row = band.data() + stride * static_cast<std::size_t>(k);
      if (std::memcmp(row, whole.ScanLine(first + k), rowBytes) != 0 || row[rowBytes] != 0xC3) mismatch = first + k;
    }
  }
  EXPECT_EQ(mismatch, -1) << "the first row that differs";
}

// libjpeg failing at a row: the bands before it come whole, the band holding it
// raises EJPEG with libjpeg's code, and so does every later read.
TEST_P(ReadAhead, AnErrorComesAtTheBandHoldingItsRow) {
  const TReadCase& c = GetParam();
  const std::string path = Make(c);
  TJPEGImage jpeg;
  Load(jpeg, path, c);
  TBitmap whole;
  whole.Assign(&jpeg);
  const int H = whole.Height();
  const int B = whole.PixelFormat() == pf8bit ? 1 : 3;
  const std::size_t rowBytes = static_cast<std::size_t>(whole.Width()) * B;
  std::vector<int> failRows = {0, 1, 10, 11, H / 3, H - 1};
  for (const double share : {0.55, 0.65, 0.84}) {  // about where lower parts start
    const int start = static_cast<int>(H * share) / 16 * 16;
    failRows.insert(failRows.end(), {start - 1, start, start + 16});
  }
  for (const int failRow : failRows) {
    SCOPED_TRACE(testing::Message() << "failing at row " << failRow);
    gFailRow = failRow;
    TJPEGRowReader reader(jpeg);
    std::vector<std::uint8_t> band(rowBytes * 10);
    int raisedAt = -1;
    bool rowsRight = true;
    for (int y = 0; y < H && raisedAt < 0;) {
      const int n = y == 0 ? 1 : std::min(10, H - y);
      try {
        reader.ReadRows(band.data(), static_cast<std::int64_t>(rowBytes), n);
        for (int k = 0; k < n; ++k)
          rowsRight = rowsRight && std::memcmp(band.data() + rowBytes * k, whole.ScanLine(y + k), rowBytes) == 0;
      } catch (const EJPEG& e) {
        raisedAt = y;
        EXPECT_EQ(e.Message(), Format("JPEG エラー #%d", JERR_BAD_HUFF_TABLE));
      }
      y += n;
    }
    const int expected = failRow == 0 ? 0 : (failRow - 1) / 10 * 10 + 1;  // the band's first row
    EXPECT_EQ(raisedAt, expected);
    EXPECT_TRUE(rowsRight) << "a band before the error";
    if (raisedAt >= 0) {
      EXPECT_THROW(reader.ReadRows(band.data(), 0, 1), EJPEG);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Jpeg, ReadAhead,
    testing::Values(TReadCase{"colour_1100x700", 1100, 700, With(JCS_RGB)},
                    TReadCase{"colour_in_parts_2601x1703", 2601, 1703, With(JCS_RGB)},
                    // Rows so wide that a band read is longer than the top part's ring.
                    TReadCase{"wide_in_parts_30000x600", 30000, 600, With(JCS_RGB)},
                    TReadCase{"gray_in_parts_2203x2001", 2203, 2001, With(JCS_GRAYSCALE)},
                    TReadCase{"cut_in_parts_2600x1700", 2600, 1700, With(JCS_RGB), true},
                    TReadCase{"progressive_1200x1000", 1200, 1000, With(JCS_RGB, true)},
                    TReadCase{"cmyk_1000x600", 1000, 600, With(JCS_CMYK)},
                    TReadCase{"palette_1000x600", 1000, 600, With(JCS_RGB), false, true}),
    [](const testing::TestParamInfo<TReadCase>& info) { return std::string(info.param.name); });

// A reader given up half-way, with or without an error, stops its workers
// before it is gone: no decoding goes on afterwards.
TEST(ReadAheadEnd, NoDecodingOutlivesTheReader) {
  TempFolder dir;
  const std::string path = dir / "big.jpg";
  WriteBytes(path, EncodeTestJpeg(TestCard(2400, 1800, 3), 2400, 1800, With(JCS_RGB)));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(path);
  for (const int failRow : {-1, 25}) {
    SCOPED_TRACE(testing::Message() << "failing at row " << failRow);
    gPauseMicros = 300;  // each row takes a while: the workers are busy when the reader goes
    gFailRow = failRow;
    {
      TJPEGRowReader reader(jpeg);
      std::vector<std::uint8_t> band(static_cast<std::size_t>(reader.Width()) * 3 * 10);
      try {
        for (int y = 0; y < 60; y += 10) reader.ReadRows(band.data(), reader.Width() * 3, 10);
      } catch (const EJPEG&) {
        EXPECT_EQ(failRow, 25);
      }
    }
    EXPECT_EQ(gCallsInside.load(), 0) << "a row still being decoded";
    const long calls = gCalls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(gCalls.load(), calls) << "rows decoded after the reader was gone";
    gPauseMicros = 0;
    gFailRow = -1;
  }
}

}  // namespace
