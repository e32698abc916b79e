#include <gtest/gtest.h>

#include <jerror.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "classlib/Jpeg.h"
#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"

namespace {

std::string JpegError(int code) { return Format("JPEG エラー #%d", code); }

// The bitmap's pixels, top-down and packed, as bytes per pixel say.
std::vector<std::uint8_t> Pixels(TBitmap& b, int bytesPerPixel) {
  std::vector<std::uint8_t> out;
  for (int y = 0; y < b.Height(); ++y) {
    const BYTE* row = b.ScanLine(y);
    out.insert(out.end(), row, row + static_cast<std::size_t>(b.Width()) * bytesPerPixel);
  }
  return out;
}

class JpegImage : public testing::Test {
 protected:
  TempFolder dir;
  std::string Save(const std::string& name, const std::string& bytes) {
    const std::string path = dir / name;
    WriteBytes(path, bytes);
    return path;
  }
  // Loads and decodes, returning the bitmap.
  std::unique_ptr<TBitmap> Decode(const std::string& path, TJPEGScale scale = jsFullSize,
                                  TJPEGPerformance performance = jpBestQuality) {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    jpeg.SetScale(scale);
    jpeg.SetPerformance(performance);
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->Assign(&jpeg);
    return bitmap;
  }
  // The message of the EJPEG that loading or decoding path raises, or "" when none.
  std::string ErrorOf(const std::string& path) {
    try {
      Decode(path);
    } catch (const EJPEG& e) {
      return e.Message();
    }
    return "";
  }
};

TEST_F(JpegImage, ColourFilesDecodeTo24BitBgrRowsAsLibjpegDecodesThem) {
  const auto card = TestCard(37, 23, 3);
  const std::string bytes = EncodeTestJpeg(card, 37, 23);
  const std::string path = Save("c.jpg", bytes);
  for (TJPEGScale scale : {jsFullSize, jsHalf, jsQuarter, jsEighth}) {
    for (TJPEGPerformance perf : {jpBestQuality, jpBestSpeed}) {
      SCOPED_TRACE(testing::Message() << "scale " << scale << " performance " << perf);
      const int denom = 1 << scale;
      TJPEGImage jpeg;
      jpeg.LoadFromFile(path);
      jpeg.SetScale(scale);
      // A fraction counts as a whole pixel.
      EXPECT_EQ(jpeg.Width(), (37 + denom - 1) / denom);
      EXPECT_EQ(jpeg.Height(), (23 + denom - 1) / denom);
      jpeg.SetPerformance(perf);
      TBitmap bitmap;
      bitmap.Assign(&jpeg);
      EXPECT_EQ(bitmap.PixelFormat(), pf24bit);
      EXPECT_EQ(bitmap.Width(), jpeg.Width());
      EXPECT_EQ(bitmap.Height(), jpeg.Height());
      const TestJpegInfo ref =
          DecodeTestJpeg(bytes, JCS_EXT_BGR, denom, perf == jpBestSpeed ? JDCT_IFAST : JDCT_ISLOW);
      EXPECT_EQ(Pixels(bitmap, 3), ref.pixels);
    }
  }
}

TEST_F(JpegImage, GrayFilesDecodeTo8BitsWithTheIdentityGrayPalette) {
  const auto gray = TestCard(20, 10, 1);
  TestJpegOptions o;
  o.input = JCS_GRAYSCALE;
  const std::string bytes = EncodeTestJpeg(gray, 20, 10, o);
  auto bitmap = Decode(Save("g.jpg", bytes), jsFullSize, jpBestSpeed);
  EXPECT_EQ(bitmap->PixelFormat(), pf8bit);
  ASSERT_EQ(bitmap->Colors().size(), 256u);
  for (int i = 0; i < 256; ++i) {
    const RGBQUAD q = bitmap->Colors()[static_cast<std::size_t>(i)];
    EXPECT_TRUE(q.rgbRed == i && q.rgbGreen == i && q.rgbBlue == i) << i;
  }
  // No quantising, no dither: the bytes are the gray levels libjpeg decodes.
  EXPECT_EQ(Pixels(*bitmap, 1), DecodeTestJpeg(bytes, JCS_GRAYSCALE, 1, JDCT_IFAST).pixels);
}

TEST_F(JpegImage, GrayscaleSettingAndEightBitOutput) {
  const auto card = TestCard(32, 16, 3);
  const std::string bytes = EncodeTestJpeg(card, 32, 16);
  const std::string path = Save("c.jpg", bytes);
  {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    jpeg.SetGrayscale(true);
    TBitmap b;
    b.Assign(&jpeg);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    EXPECT_EQ(Pixels(b, 1), DecodeTestJpeg(bytes, JCS_GRAYSCALE).pixels);
  }
  for (TJPEGPerformance perf : {jpBestQuality, jpBestSpeed}) {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    jpeg.SetPixelFormat(jf8Bit);
    jpeg.SetPerformance(perf);
    TBitmap b;
    b.Assign(&jpeg);
    EXPECT_EQ(b.PixelFormat(), pf8bit);
    ASSERT_EQ(b.Colors().size(), 256u);
    // Each index stands for a colour near the decoded one.
    const auto ref = DecodeTestJpeg(bytes, JCS_RGB).pixels;
    const auto idx = Pixels(b, 1);
    double error = 0;
    for (std::size_t i = 0; i < idx.size(); ++i) {
      const RGBQUAD q = b.Colors()[idx[i]];
      error += std::abs(q.rgbRed - ref[3 * i]) + std::abs(q.rgbGreen - ref[3 * i + 1]) +
               std::abs(q.rgbBlue - ref[3 * i + 2]);
    }
    EXPECT_LT(error / static_cast<double>(idx.size() * 3), 24.0) << "performance " << perf;
  }
}

TEST_F(JpegImage, CmykAndYcckFilesComeOutInTheirColours) {
  // Ink as Adobe stores it: 255 minus the amount, also in files without the
  // Adobe segment. Red is no cyan, full magenta and yellow, no black.
  struct Ink {
    std::uint8_t c, m, y, k;
    std::uint8_t r, g, b;
  };
  const Ink inks[] = {{0, 255, 255, 0, 255, 0, 0}, {255, 0, 255, 0, 0, 255, 0}, {0, 0, 0, 0, 255, 255, 255},
                      {0, 0, 0, 255, 0, 0, 0},     {0, 0, 0, 128, 127, 127, 127}};
  for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
    for (bool adobe : {true, false}) {
      if (stored == JCS_YCCK && !adobe) continue;  // YCCK is known only from the Adobe segment
      std::vector<std::uint8_t> pixels;
      for (const Ink& ink : inks)
        for (int i = 0; i < 64; ++i) {
          const auto v = [](std::uint8_t amount) { return static_cast<std::uint8_t>(255 - amount); };
          pixels.insert(pixels.end(), {v(ink.c), v(ink.m), v(ink.y), v(ink.k)});
        }
      TestJpegOptions o;
      o.input = JCS_CMYK;
      o.stored = stored;
      o.adobe = adobe;
      o.quality = 100;
      o.fullChroma = true;
      auto bitmap = Decode(Save("k.jpg", EncodeTestJpeg(pixels, 64, 5, o)));
      ASSERT_EQ(bitmap->PixelFormat(), pf24bit);
      for (int row = 0; row < 5; ++row) {
        const BYTE* p = bitmap->ScanLine(row) + 32 * 3;
        SCOPED_TRACE(testing::Message() << "stored " << stored << " adobe " << adobe << " row " << row);
        EXPECT_NEAR(p[2], inks[row].r, 6);
        EXPECT_NEAR(p[1], inks[row].g, 6);
        EXPECT_NEAR(p[0], inks[row].b, 6);
      }
    }
  }
}

TEST_F(JpegImage, ProgressiveArithmeticAndRestartFilesDecode) {
  const auto card = TestCard(50, 30, 3);
  TestJpegOptions progressive, arithmetic, restart, all;
  progressive.progressive = true;
  arithmetic.arithmetic = true;
  restart.restartRows = 1;
  all.progressive = all.arithmetic = true;
  all.restartRows = 2;
  for (const TestJpegOptions& o : {progressive, arithmetic, restart, all}) {
    const std::string bytes = EncodeTestJpeg(card, 50, 30, o);
    auto bitmap = Decode(Save("p.jpg", bytes), jsHalf);
    EXPECT_EQ(Pixels(*bitmap, 3), DecodeTestJpeg(bytes, JCS_EXT_BGR, 2).pixels);
  }
}

TEST_F(JpegImage, TruncatedDataDecodesAsFarAsItGoes) {
  const auto card = TestCard(64, 256, 3);
  const std::string bytes = EncodeTestJpeg(card, 64, 256);
  // Cut in the middle of the scan: a warning only; the size stands, the top
  // rows are those of the whole file and the missing rows are filled in.
  auto bitmap = Decode(Save("t.jpg", bytes.substr(0, bytes.size() / 2)));
  ASSERT_EQ(bitmap->Width(), 64);
  ASSERT_EQ(bitmap->Height(), 256);
  auto whole = Decode(Save("w.jpg", bytes));
  EXPECT_EQ(std::memcmp(bitmap->ScanLine(0), whole->ScanLine(0), 64 * 3), 0);
  EXPECT_NE(std::memcmp(bitmap->ScanLine(255), whole->ScanLine(255), 64 * 3), 0);
  EXPECT_EQ(Pixels(*bitmap, 3), DecodeTestJpeg(bytes.substr(0, bytes.size() / 2), JCS_EXT_BGR).pixels);
  // Cut inside the header: no image to decode.
  const std::size_t sof = FindMarker(bytes, 0xC0), sos = FindMarker(bytes, 0xDA);
  ASSERT_NE(sos, std::string::npos);
  EXPECT_EQ(ErrorOf(Save("h1.jpg", bytes.substr(0, sos))), JpegError(JERR_SOF_NO_SOS));
  EXPECT_EQ(ErrorOf(Save("h2.jpg", bytes.substr(0, sof))), JpegError(JERR_NO_IMAGE));
  EXPECT_EQ(ErrorOf(Save("h3.jpg", bytes.substr(0, 1))), JpegError(JERR_NO_SOI));
}

TEST_F(JpegImage, TheRowReaderGivesAssignsPixelsInBandsOfAnyHeight) {
  // Colour (odd size, 4:2:0), gray, Adobe CMYK, progressive, cut in the middle,
  // and colours quantised to a palette: read in bands of 1, 10, 3, 16, ... rows
  // into rows with spare bytes, the pixels and the palette are the bitmap's.
  struct TCase {
    std::string name;
    std::string bytes;
    bool eightBit = false;
  };
  TestJpegOptions gray, cmyk, progressive;
  gray.input = JCS_GRAYSCALE;
  cmyk.input = JCS_CMYK;
  progressive.progressive = true;
  const std::string colour = EncodeTestJpeg(TestCard(37, 43, 3), 37, 43);
  const std::string whole = EncodeTestJpeg(TestCard(64, 96, 3), 64, 96);
  const std::vector<TCase> cases = {
      {"colour", colour},
      {"gray", EncodeTestJpeg(TestCard(21, 30, 1), 21, 30, gray)},
      {"cmyk", EncodeTestJpeg(TestCard(19, 12, 4), 19, 12, cmyk)},
      {"progressive", EncodeTestJpeg(TestCard(40, 33, 3), 40, 33, progressive)},
      {"cut", whole.substr(0, whole.size() / 2)},
      {"palette", colour, true}};
  const int bands[] = {1, 10, 3, 16, 1, 7};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Save(c.name + ".jpg", c.bytes);
    TJPEGImage jpeg;
    jpeg.LoadFromFile(path);
    jpeg.SetPerformance(jpBestSpeed);
    if (c.eightBit) jpeg.SetPixelFormat(jf8Bit);
    TBitmap bitmap;
    bitmap.Assign(&jpeg);
    const int B = bitmap.PixelFormat() == pf8bit ? 1 : 3;

    TJPEGRowReader reader(jpeg);
    ASSERT_EQ(reader.PixelFormat(), bitmap.PixelFormat());
    ASSERT_EQ(reader.Width(), bitmap.Width());
    ASSERT_EQ(reader.Height(), bitmap.Height());
    EXPECT_EQ(reader.Colors().size(), B == 1 ? 256u : 0u);
    EXPECT_TRUE(std::equal(reader.Colors().begin(), reader.Colors().end(), bitmap.Colors().begin(),
                           [](RGBQUAD a, RGBQUAD b) { return std::memcmp(&a, &b, sizeof a) == 0; }));
    const std::size_t rowBytes = static_cast<std::size_t>(reader.Width()) * B;
    const std::size_t stride = rowBytes + 3;
    std::vector<std::uint8_t> rows;
    for (int i = 0; reader.NextRow() < reader.Height(); ++i) {
      const int n = std::min(bands[i % 6], reader.Height() - reader.NextRow());
      std::vector<std::uint8_t> band(stride * static_cast<std::size_t>(n), 0xC3);
      reader.ReadRows(band.data(), static_cast<std::int64_t>(stride), n);
      for (int k = 0; k < n; ++k) {
        const auto* row = band.data() + stride * static_cast<std::size_t>(k);
        rows.insert(rows.end(), row, row + rowBytes);
        EXPECT_EQ(row[rowBytes], 0xC3);  // nothing after a row's pixels
        EXPECT_EQ(row[rowBytes + 2], 0xC3);
      }
    }
    EXPECT_EQ(rows, Pixels(bitmap, B));
    std::uint8_t spare[8] = {};
    EXPECT_THROW(reader.ReadRows(spare, 0, 1), EInvalidGraphicOperation);
  }
}

TEST_F(JpegImage, EmptyFileLoadsAsAnEmptyImage) {
  const std::string path = Save("e.jpg", "");
  TJPEGImage jpeg;
  EXPECT_NO_THROW(jpeg.LoadFromFile(path));
  EXPECT_EQ(jpeg.Width(), 0);
  EXPECT_EQ(jpeg.Height(), 0);
  TBitmap b;
  b.SetPixelFormat(pf8bit);
  b.SetSize(3, 3);
  b.Assign(&jpeg);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
}

TEST_F(JpegImage, FilesThatAreNoDecodableJpegRaiseEJpegWithLibjpegsCode) {
  const auto card = TestCard(16, 16, 3);
  const std::string good = EncodeTestJpeg(card, 16, 16);
  const std::size_t sof = FindMarker(good, 0xC0);
  ASSERT_NE(sof, std::string::npos);
  // Frame: FF C0, length (2), precision (1), height (2), width (2).
  std::string zeroSize = good;
  zeroSize[sof + 5] = zeroSize[sof + 6] = '\0';
  EXPECT_EQ(ErrorOf(Save("z.jpg", zeroSize)), JpegError(JERR_EMPTY_IMAGE));
  std::string twelveBit = good;
  twelveBit[sof + 1] = static_cast<char>(0xC1);
  twelveBit[sof + 4] = 12;
  EXPECT_EQ(ErrorOf(Save("12.jpg", twelveBit)), JpegError(JERR_BAD_PRECISION));
  std::string lossless = good;
  lossless[sof + 1] = static_cast<char>(0xC3);
  EXPECT_EQ(ErrorOf(Save("ll.jpg", lossless)), JpegError(JERR_SOF_UNSUPPORTED));

  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0", 29);
  EXPECT_EQ(ErrorOf(Save("png.jpg", png)), JpegError(JERR_NO_SOI));
  std::string noise(5000, '\0');
  std::uint32_t seed = 7;
  for (char& ch : noise) ch = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
  EXPECT_EQ(ErrorOf(Save("noise.jpg", noise)), JpegError(JERR_NO_SOI));
  // Noise behind a valid start reaches some libjpeg error, or decodes: no crash.
  try {
    Decode(Save("n2.jpg", good.substr(0, 200) + noise));
  } catch (const EJPEG&) {
  }
}

TEST_F(JpegImage, AHugeDeclaredFrameIsRefusedBeforeAnyPixelIsAllocated) {
  const std::string good = EncodeTestJpeg(TestCard(16, 16, 3), 16, 16);
  const std::size_t sof = FindMarker(good, 0xC0);
  std::string huge = good;
  huge[sof + 5] = huge[sof + 7] = static_cast<char>(0xFF);  // 65500 x 65500
  huge[sof + 6] = huge[sof + 8] = static_cast<char>(0xDC);
  const std::string path = Save("huge.jpg", huge);
  TJPEGImage jpeg;
  jpeg.LoadFromFile(path);
  EXPECT_EQ(jpeg.Width(), 65500);
  EXPECT_EQ(jpeg.Height(), 65500);
  TBitmap b;
  EXPECT_THROW(b.Assign(&jpeg), EOutOfResources);
  EXPECT_EQ(b.Width(), 0);  // the bitmap is untouched
}

TEST_F(JpegImage, ScansBeyondAnyRealFileAreRefused) {
  // A progressive file whose last scan is repeated far beyond what any encoder
  // writes: libjpeg only warns about each, so the decoder must draw the line.
  TestJpegOptions o;
  o.progressive = true;
  const std::string bytes = EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, o);
  std::size_t last = bytes.rfind(std::string("\xFF\xDA", 2));
  ASSERT_NE(last, std::string::npos);
  const std::string scan = bytes.substr(last, bytes.size() - 2 - last);
  std::string many = bytes.substr(0, bytes.size() - 2);
  for (int i = 0; i < 600; ++i) many += scan;
  many += "\xFF\xD9";
  EXPECT_EQ(ErrorOf(Save("scans.jpg", many)), JpegError(JERR_BAD_SCAN_SCRIPT));
}

TEST_F(JpegImage, LoadFailuresAndTheFileLeftClosed) {
  TJPEGImage jpeg;
  EXPECT_THROW(jpeg.LoadFromFile(dir / "missing.jpg"), EFOpenError);
  const std::string path = Save("a.jpg", EncodeTestJpeg(TestCard(8, 6, 3), 8, 6));
  jpeg.LoadFromFile(path);
  // A failed load keeps what the image held.
  EXPECT_THROW(jpeg.LoadFromFile(Save("bad.jpg", "not a jpeg at all")), EJPEG);
  EXPECT_EQ(jpeg.Width(), 8);
  // The file is not held open: it can be replaced and removed at once, and the
  // image still decodes from memory.
  WriteBytes(path, "gone");
  std::remove(path.c_str());
  TBitmap b;
  b.Assign(&jpeg);
  EXPECT_EQ(b.Width(), 8);
  EXPECT_EQ(b.Height(), 6);
}

}  // namespace
