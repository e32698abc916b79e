#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <jerror.h>

#include "classlib/Graphics.h"
#include "imaging/DCImageInfo.h"
#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"

namespace {

std::string LE16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string LE32(std::uint32_t v) { return LE16(v & 0xFFFF) + LE16(v >> 16); }
std::string BE16(unsigned v) { return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string BE32(std::uint32_t v) { return BE16(v >> 16) + BE16(v & 0xFFFF); }
std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s += static_cast<char>(v);
  return s;
}

std::string Png(std::uint32_t w, std::uint32_t h, int depth, int colourType) {
  return Bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}) + BE32(13) + "IHDR" + BE32(w) + BE32(h) +
         Bytes({depth, colourType, 0, 0, 0}) + BE32(0x12345678);
}

std::string Gif(unsigned w, unsigned h, int flags) { return "GIF89a" + LE16(w) + LE16(h) + Bytes({flags, 0, 0}); }

std::string Bmp(std::int32_t w, std::int32_t h, int bits, std::uint32_t xppm, std::uint32_t yppm) {
  return "BM" + LE32(54) + LE32(0) + LE32(54) + LE32(40) + LE32(static_cast<std::uint32_t>(w)) +
         LE32(static_cast<std::uint32_t>(h)) + LE16(1) + LE16(static_cast<unsigned>(bits)) + LE32(0) + LE32(0) +
         LE32(xppm) + LE32(yppm) + LE32(0) + LE32(0);
}

std::string Pcx(unsigned xmin, unsigned ymin, unsigned xmax, unsigned ymax, int bitsPerPlane, int planes) {
  std::string s = Bytes({0x0A, 5, 1, bitsPerPlane}) + LE16(xmin) + LE16(ymin) + LE16(xmax) + LE16(ymax) + LE16(72) +
                  LE16(72) + std::string(48, '\0') + Bytes({0, planes}) + LE16(640) + LE16(1);
  s.resize(128, '\0');
  return s;
}

struct Entry {
  unsigned tag, type;
  std::uint32_t count;
  std::string value;  // 4 bytes as stored
};

std::string Tiff(bool bigEndian, const std::vector<Entry>& entries, std::uint32_t ifd = 8) {
  auto u16 = [&](unsigned v) { return bigEndian ? BE16(v) : LE16(v); };
  auto u32 = [&](std::uint32_t v) { return bigEndian ? BE32(v) : LE32(v); };
  std::string s = (bigEndian ? std::string("MM\0*", 4) : std::string("II*\0", 4)) + u32(ifd);
  s.resize(ifd, '\0');
  s += u16(static_cast<unsigned>(entries.size()));
  for (const Entry& e : entries) s += u16(e.tag) + u16(e.type) + u32(e.count) + e.value;
  return s + u32(0);
}

// A SHORT value in the four-byte value field, left-justified as TIFF keeps it.
std::string Short(bool bigEndian, unsigned v) { return (bigEndian ? BE16(v) : LE16(v)) + std::string(2, '\0'); }

class ImageInfo : public testing::Test {
 protected:
  TempFolder dir;
  TDCImageInfo info;
  std::string Save(const std::string& bytes, const std::string& name = "f.img") {
    const std::string path = dir / name;
    WriteBytes(path, bytes);
    return path;
  }
  void Read(const std::string& bytes) { info.ReadInfo(Save(bytes)); }
  void ExpectEmpty() {
    EXPECT_EQ(info.ImageFormat, 0);
    EXPECT_EQ(info.Width, 0);
    EXPECT_EQ(info.Height, 0);
    EXPECT_EQ(info.BitCount, 0);
    EXPECT_EQ(info.DensityUnit, 0);
    EXPECT_EQ(info.XDensity, 0);
    EXPECT_EQ(info.YDensity, 0);
  }
  void Expect(int format, int w, int h, int bits, int unit = 0, int x = 0, int y = 0) {
    EXPECT_EQ(info.ImageFormat, format);
    EXPECT_EQ(info.Width, w);
    EXPECT_EQ(info.Height, h);
    EXPECT_EQ(info.BitCount, bits);
    EXPECT_EQ(info.DensityUnit, unit);
    EXPECT_EQ(info.XDensity, x);
    EXPECT_EQ(info.YDensity, y);
  }
};

TEST_F(ImageInfo, Png) {
  struct Case {
    int depth, type, bits;
  };
  for (Case c : {Case{8, 0, 8}, Case{16, 0, 16}, Case{8, 2, 24}, Case{4, 3, 8}, Case{1, 3, 8}, Case{8, 4, 16},
                 Case{16, 6, 64}}) {
    Read(Png(640, 480, c.depth, c.type));
    SCOPED_TRACE(testing::Message() << "depth " << c.depth << " type " << c.type);
    Expect(3, 640, 480, c.bits);
  }
  Read(Png(65536 + 7, 0x10002, 8, 2));  // only the low 16 bits are read
  Expect(3, 7, 2, 24);
  for (int type : {1, 5, 7, 255}) {
    Read(Png(640, 480, 8, type));
    ExpectEmpty();
    EXPECT_EQ(info.FileSize, 33);
  }
}

TEST_F(ImageInfo, GifBmpAndPcx) {
  Read(Gif(320, 200, 0xF7));
  Expect(1, 320, 200, 8);
  Read(Gif(1, 2, 0x00));
  Expect(1, 1, 2, 1);

  Read(Bmp(640, 480, 24, 2835, 3780));
  Expect(4, 640, 480, 24, 0, 72, 96);
  Read(Bmp(65536 + 10, -100, 8, 11811, 39));  // top-down; 300 dpi rounded to ppm gives 299
  Expect(4, 10, 65536 - 100, 8, 0, 299, 0);
  Read(Bmp(1, 1, 32, 40, 0x12340000 + 2835));  // low 16 bits of the density
  Expect(4, 1, 1, 32, 0, 1, 72);

  Read(Pcx(0, 0, 639, 479, 8, 3));
  Expect(5, 640, 480, 24);
  Read(Pcx(10, 20, 5, 20, 1, 4));  // a maximum below its minimum stays PCX
  Expect(5, -4, 1, 4);
}

TEST_F(ImageInfo, BmpDensityConversionForEvery16BitValue) {
  // Truncated p x 25.4 / 1000, which for every 16-bit p is p x 127 div 5000.
  const std::string path = Save(Bmp(1, 1, 8, 0, 0));
  const int fd = open(path.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  for (std::uint32_t p = 0; p < 65536; ++p) {
    const std::string v = LE16(p);
    ASSERT_EQ(pwrite(fd, v.data(), 2, 38), 2);
    ASSERT_EQ(pwrite(fd, v.data(), 2, 42), 2);
    info.ReadInfo(path);
    if (info.XDensity != static_cast<Integer>(p * 127 / 5000) || info.YDensity != info.XDensity) {
      ADD_FAILURE() << "p = " << p << " gives " << info.XDensity;
      break;
    }
  }
  close(fd);
}

TEST_F(ImageInfo, TiffInBothByteOrders) {
  for (bool be : {false, true}) {
    SCOPED_TRACE(be ? "big-endian" : "little-endian");
    Read(Tiff(be, {{256, 3, 1, Short(be, 640)}, {257, 3, 1, Short(be, 480)}, {258, 3, 1, Short(be, 8)}, {259, 3, 1, Short(be, 1)}}));
    Expect(6, 640, 480, 8);
    // LONG and BYTE values; a repeated tag: the last one counts.
    Read(Tiff(be, {{256, 4, 1, be ? BE32(70000) : LE32(70000)}, {257, 1, 1, Bytes({200, 0, 0, 0})},
                   {258, 3, 1, Short(be, 1)}, {258, 3, 1, Short(be, 16)}}));
    Expect(6, 70000, 200, 16);
    // RATIONAL width, no entries, a negative LONG: not recognised.
    Read(Tiff(be, {{256, 5, 1, LE32(8)}, {257, 3, 1, Short(be, 480)}, {258, 3, 1, Short(be, 8)}}));
    ExpectEmpty();
    Read(Tiff(be, {}));
    ExpectEmpty();
    Read(Tiff(be, {{256, 4, 1, std::string(4, '\xFF')}, {257, 3, 1, Short(be, 4)}, {258, 3, 1, Short(be, 8)}}));
    ExpectEmpty();
    // A directory beyond the end of the file.
    std::string far = Tiff(be, {{256, 3, 1, Short(be, 1)}});
    far.replace(4, 4, be ? BE32(100000) : LE32(100000));
    Read(far);
    ExpectEmpty();
  }
  // BitsPerSample with three values stored elsewhere: the value field holds
  // their offset, whose first two bytes are read as the value.
  Read(Tiff(false, {{256, 3, 1, Short(false, 64)}, {257, 3, 1, Short(false, 48)}, {258, 3, 3, LE32(0x000000C2)}}));
  Expect(6, 64, 48, 0xC2);
  Read(Tiff(true, {{256, 3, 1, Short(true, 64)}, {257, 3, 1, Short(true, 48)}, {258, 3, 3, BE32(0x000000C2)}}));
  ExpectEmpty();
}

TEST_F(ImageInfo, JfifDensitiesAndTheFrameSize) {
  TestJpegOptions o;
  o.densityUnit = 1;
  o.xDensity = 300;
  o.yDensity = 600;
  Read(EncodeTestJpeg(TestCard(45, 31, 3), 45, 31, o));
  Expect(2, 45, 31, 24, 1, 300, 600);
  // Gray files too report 24 bits: the decoder's output setting, not the file.
  o.input = JCS_GRAYSCALE;
  o.densityUnit = 0;
  o.xDensity = o.yDensity = 1;
  Read(EncodeTestJpeg(TestCard(9, 7, 1), 9, 7, o));
  Expect(2, 9, 7, 24, 0, 1, 1);
}

TEST_F(ImageInfo, JpegWithoutJfifSegmentFirstHasNoDensities) {
  // Exif first, Intel and Motorola: the bytes where JFIF keeps its densities
  // belong to the Exif block and are not taken.
  for (const std::string& tiff : {std::string("II*\0\x08\0\0\0", 8), std::string("MM\0*\0\0\0\x08", 8)}) {
    TestJpegOptions o;
    o.jfif = false;
    o.app1 = std::string("Exif\0\0", 6) + tiff + std::string(20, '\0');
    Read(EncodeTestJpeg(TestCard(16, 8, 3), 16, 8, o));
    Expect(2, 16, 8, 24);
  }
  // An APP0 segment that is not JFIF.
  TestJpegOptions o;
  std::string bytes = EncodeTestJpeg(TestCard(16, 8, 3), 16, 8, o);
  ASSERT_EQ(bytes.substr(6, 5), std::string("JFIF\0", 5));
  bytes[9] = 'X';
  Read(bytes);
  Expect(2, 16, 8, 24);
}

TEST_F(ImageInfo, JfifDensitiesOnlyFromASegmentLongEnoughToHoldThem) {
  // The JFIF segment's length counts from its length field to the last density
  // byte: 14 holds them; a shorter one would lend its densities from the next segment.
  TestJpegOptions o;
  o.jfif = false;
  const std::string rest = EncodeTestJpeg(TestCard(16, 8, 3), 16, 8, o).substr(2);
  const std::string body = std::string("JFIF\0\x01\x02\x01", 8) + BE16(300) + BE16(600);
  struct TCase {
    const char* name;
    unsigned length;
    int unit, x, y;
  } cases[] = {{"length 8", 8, 0, 0, 0}, {"length 13", 13, 0, 0, 0}, {"length 14", 14, 1, 300, 600}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    Read(Bytes({0xFF, 0xD8, 0xFF, 0xE0}) + BE16(c.length) + body.substr(0, c.length - 2) + rest);
    Expect(2, 16, 8, 24, c.unit, c.x, c.y);
  }
}

TEST_F(ImageInfo, AFileTooLargeToLoadIsRefusedForItsSizeWithoutAScan) {
  // Sparse: no disk is spent. A JFIF header near its end, which a scan would find.
  const std::string path = dir / "x.jpg";
  const std::int64_t size = static_cast<std::int64_t>(MaxBitmapBytes()) + 1;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const std::string jfif = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x01", 14) + BE16(123) + BE16(456);
  const bool made = ::ftruncate(fd, size) == 0 &&
                    ::pwrite(fd, jfif.data(), jfif.size(), size - 100) == static_cast<ssize_t>(jfif.size());
  ::close(fd);
  ASSERT_TRUE(made);
  try {
    info.ReadInfo(path);
    ADD_FAILURE() << "no failure";
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(e.Message(), "ファイル " + path + " は大きすぎます");
  }
  Expect(2, 0, 0, 0);
  EXPECT_EQ(info.FileSize, static_cast<Integer>(std::min<std::int64_t>(size, INT32_MAX)));
}

TEST_F(ImageInfo, ShortFilesAndFilesWithoutAnyStartMarker) {
  for (std::string bytes : {std::string(), std::string("\xFF"), std::string("\xFF\xD8")}) {
    Read(bytes);
    ExpectEmpty();
    EXPECT_EQ(info.FileSize, static_cast<Integer>(bytes.size()));
  }
  // FF D8 FF at 0 but fewer than 18 bytes: empty, and no load is tried.
  Read(std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01", 13));
  ExpectEmpty();
  // No FF D8 FF anywhere: scanned to the end, empty.
  std::string text(200000, 'a');
  text[1000] = text[5000] = '\xFF';
  text[1001] = '\xD8';
  Read(text);
  ExpectEmpty();
  EXPECT_EQ(info.FileSize, 200000);
}

TEST_F(ImageInfo, AStartMarkerInsideAnotherFileIsTakenForJpegAndItsLoadFails) {
  // At every position around the reader's 64 KiB windows.
  const std::string jfif = std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x01", 14) + BE16(123) + BE16(456);
  for (std::size_t at : {1u, 65533u, 65534u, 65535u, 65536u, 131069u, 131070u}) {
    SCOPED_TRACE(testing::Message() << "marker at " << at);
    std::string bytes(at, '\0');
    bytes += jfif + std::string(10, '\0');
    try {
      Read(bytes);
      ADD_FAILURE() << "no failure";
    } catch (const EJPEG& e) {
      EXPECT_EQ(e.Message(), Format("JPEG エラー #%d", JERR_NO_SOI));
    }
    Expect(2, 0, 0, 0, 1, 123, 456);
  }
  // A PNG file of an unknown colour type that holds the sequence later.
  try {
    Read(Png(1, 1, 8, 5) + jfif);
    ADD_FAILURE() << "no failure";
  } catch (const EJPEG&) {
  }
  EXPECT_EQ(info.ImageFormat, 2);
}

TEST_F(ImageInfo, SecondReadStartsAfreshAndAMissingFileKeepsTheOldSize) {
  Read(Bmp(640, 480, 24, 2835, 2835));
  Expect(4, 640, 480, 24, 0, 72, 72);
  Read(Gif(5, 6, 0));
  Expect(1, 5, 6, 1);
  EXPECT_EQ(info.FileSize, 13);
  info.ReadInfo(dir / "missing.bmp");
  ExpectEmpty();
  EXPECT_EQ(info.FileSize, 13);
  info.ReadInfo(dir.Path());  // a folder is no file either
  ExpectEmpty();
  EXPECT_EQ(info.FileSize, 13);
  EXPECT_EQ(TDCImageInfo::Swap32(0x11223344u), 0x44332211u);
}

TEST_F(ImageInfo, HeadersCutAtEveryByteGiveTheWholeResultOrNone) {
  TestJpegOptions o;
  const std::string jpeg = EncodeTestJpeg(TestCard(16, 16, 3), 16, 16, o);
  const std::vector<std::string> headers = {
      Png(640, 480, 8, 2), Gif(320, 200, 0xF7), Bmp(640, 480, 24, 2835, 2835), Pcx(0, 0, 639, 479, 8, 3),
      Tiff(false, {{256, 3, 1, Short(false, 64)}, {257, 3, 1, Short(false, 48)}, {258, 3, 1, Short(false, 8)}}),
      Tiff(true, {{256, 3, 1, Short(true, 64)}, {257, 3, 1, Short(true, 48)}, {258, 3, 1, Short(true, 8)}}),
      jpeg};
  for (const std::string& whole : headers) {
    info.ReadInfo(Save(whole));
    const TDCImageInfo* full = &info;
    const int format = full->ImageFormat, w = full->Width, h = full->Height, bits = full->BitCount;
    ASSERT_NE(format, 0);
    for (std::size_t n = 0; n < whole.size(); ++n) {
      SCOPED_TRACE(testing::Message() << "format " << format << " cut at " << n);
      TDCImageInfo cut;
      try {
        cut.ReadInfo(Save(whole.substr(0, n), "cut.img"));
      } catch (const EJPEG&) {
        // A JPEG cut before its first scan: the load fails, the scan's result stands.
        EXPECT_EQ(format, 2);
        EXPECT_EQ(cut.ImageFormat, 2);
        continue;
      }
      EXPECT_EQ(cut.FileSize, static_cast<Integer>(n));
      if (cut.ImageFormat == 0) {
        EXPECT_EQ(cut.Width | cut.Height | cut.BitCount | cut.XDensity | cut.YDensity | cut.DensityUnit, 0);
      } else {
        EXPECT_EQ(cut.ImageFormat, format);
        EXPECT_EQ(cut.Width, w);
        EXPECT_EQ(cut.Height, h);
        EXPECT_EQ(cut.BitCount, bits);
      }
    }
  }
}

}  // namespace
