// Writes the fuzzers' seed corpus: small JPEG files of every kind the decoder
// meets, and headers of every format the header reader knows.
//   fuzz_seeds <folder>   makes <folder>/jpeg_decode and <folder>/image_info
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/JpegTestUtil.h"

namespace {

std::string LE16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)}; }
std::string LE32(unsigned v) { return LE16(v & 0xFFFF) + LE16(v >> 16); }
std::string BE16(unsigned v) { return {static_cast<char>((v >> 8) & 0xFF), static_cast<char>(v & 0xFF)}; }
std::string BE32(unsigned v) { return BE16(v >> 16) + BE16(v & 0xFFFF); }

void Put(const std::filesystem::path& folder, const std::string& name, const std::string& bytes) {
  std::ofstream(folder / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path jpegDir = std::filesystem::path(argv[1]) / "jpeg_decode";
  const std::filesystem::path infoDir = std::filesystem::path(argv[1]) / "image_info";
  std::filesystem::create_directories(jpegDir);
  std::filesystem::create_directories(infoDir);

  std::vector<std::pair<std::string, std::string>> jpegs;
  const auto rgb = TestCard(13, 7, 3);
  TestJpegOptions o;
  o.quality = 50;
  jpegs.emplace_back("baseline.jpg", EncodeTestJpeg(rgb, 13, 7, o));
  TestJpegOptions gray = o;
  gray.input = JCS_GRAYSCALE;
  jpegs.emplace_back("gray.jpg", EncodeTestJpeg(TestCard(9, 9, 1), 9, 9, gray));
  TestJpegOptions prog = o;
  prog.progressive = true;
  jpegs.emplace_back("progressive.jpg", EncodeTestJpeg(rgb, 13, 7, prog));
  TestJpegOptions arith = o;
  arith.arithmetic = true;
  jpegs.emplace_back("arithmetic.jpg", EncodeTestJpeg(rgb, 13, 7, arith));
  TestJpegOptions both = prog;
  both.arithmetic = true;
  jpegs.emplace_back("progressive-arithmetic.jpg", EncodeTestJpeg(rgb, 13, 7, both));
  TestJpegOptions restart = o;
  restart.restartRows = 1;
  jpegs.emplace_back("restart.jpg", EncodeTestJpeg(TestCard(16, 32, 3), 16, 32, restart));
  TestJpegOptions full = o;
  full.fullChroma = true;
  jpegs.emplace_back("444.jpg", EncodeTestJpeg(rgb, 13, 7, full));
  TestJpegOptions cmyk = o;
  cmyk.input = JCS_CMYK;
  const auto ink = TestCard(8, 8, 4);
  jpegs.emplace_back("cmyk.jpg", EncodeTestJpeg(ink, 8, 8, cmyk));
  cmyk.stored = JCS_YCCK;
  jpegs.emplace_back("ycck.jpg", EncodeTestJpeg(ink, 8, 8, cmyk));
  TestJpegOptions exif = o;
  exif.jfif = false;
  exif.app1 = std::string("Exif\0\0II*\0\x08\0\0\0", 14);
  jpegs.emplace_back("exif.jpg", EncodeTestJpeg(rgb, 13, 7, exif));
  TestJpegOptions rgbStored = o;
  rgbStored.stored = JCS_RGB;
  jpegs.emplace_back("rgb.jpg", EncodeTestJpeg(rgb, 13, 7, rgbStored));
  for (const auto& [name, bytes] : jpegs) {
    Put(jpegDir, name, bytes);
    Put(infoDir, name, bytes);
  }

  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + BE32(13) + "IHDR" + BE32(640) + BE32(480) +
                          std::string("\x08\x02\0\0\0", 5) + BE32(0);
  Put(infoDir, "header.png", png);
  Put(infoDir, "header.gif", "GIF89a" + LE16(320) + LE16(200) + std::string("\xF7\0\0", 3));
  Put(infoDir, "header.bmp", "BM" + LE32(54) + LE32(0) + LE32(54) + LE32(40) + LE32(64) + LE32(48) + LE16(1) +
                                 LE16(24) + LE32(0) + LE32(0) + LE32(2835) + LE32(2835) + LE32(0) + LE32(0));
  std::string pcx = std::string("\x0A\x05\x01\x08", 4) + LE16(0) + LE16(0) + LE16(639) + LE16(479);
  pcx.resize(65, '\0');
  pcx += '\x03';
  pcx.resize(128, '\0');
  Put(infoDir, "header.pcx", pcx);
  const std::string ii = std::string("II*\0", 4) + LE32(8) + LE16(3) + LE16(256) + LE16(3) + LE32(1) + LE32(640) +
                         LE16(257) + LE16(3) + LE32(1) + LE32(480) + LE16(258) + LE16(3) + LE32(3) + LE32(50) + LE32(0);
  Put(infoDir, "header-ii.tif", ii);
  const std::string mm = std::string("MM\0*", 4) + BE32(8) + BE16(3) + BE16(256) + BE16(4) + BE32(1) + BE32(640) +
                         BE16(257) + BE16(3) + BE32(1) + BE16(480) + BE16(0) + BE16(258) + BE16(1) + BE32(1) +
                         std::string("\x08\0\0\0", 4) + BE32(0);
  Put(infoDir, "header-mm.tif", mm);
  return 0;
}
