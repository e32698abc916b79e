// Test photographs made and read with libjpeg-turbo directly, independent of the
// code under test.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <cstdio>
#include <jpeglib.h>

struct TestJpegOptions {
  J_COLOR_SPACE input = JCS_RGB;  // JCS_RGB (3 bytes), JCS_GRAYSCALE (1), JCS_CMYK (4)
  J_COLOR_SPACE stored = JCS_UNKNOWN;  // the file's colour space; UNKNOWN: libjpeg's default
  int quality = 95;
  bool progressive = false;
  bool arithmetic = false;
  int restartRows = 0;
  bool jfif = true;
  bool adobe = true;  // an Adobe segment where libjpeg writes one (CMYK, YCCK)
  int densityUnit = 1;
  int xDensity = 72;
  int yDensity = 72;
  bool fullChroma = false;  // 1x1 sampling for every component
  std::string app1;  // the body of an APP1 segment written right after the start
};

// Encodes top-down packed pixels (components per pixel as the input colour space
// says) to the bytes of a JPEG file. Throws std::runtime_error on a codec error.
std::string EncodeTestJpeg(const std::vector<std::uint8_t>& pixels, int width, int height,
                           const TestJpegOptions& options = {});

// A CMYK file of ink samples stored the Adobe way (255 minus the amount), as
// encoders that leave the Adobe segment out write it: neither Adobe nor JFIF
// segment. Throws std::runtime_error when libjpeg writes an Adobe segment after all.
std::string EncodeInkJpegWithoutAdobe(const std::vector<std::uint8_t>& stored, int width, int height);

struct TestJpegInfo {
  int width = 0;
  int height = 0;
  int components = 0;  // in the file
  J_COLOR_SPACE colorSpace = JCS_UNKNOWN;  // of the file
  bool jfif = false;
  int densityUnit = 0;
  int xDensity = 0;
  int yDensity = 0;
  std::vector<int> markers;  // APPn and COM markers present, in order
  std::vector<std::uint16_t> lumaTable;  // quantisation table 0, natural order
  std::vector<std::uint8_t> pixels;  // top-down; see DecodeTestJpeg
};

// Decodes JPEG bytes top-down to out (JCS_RGB, JCS_EXT_BGR, JCS_GRAYSCALE, JCS_CMYK
// or JCS_UNKNOWN for the file's own components), at 1/scaleDenom, with the
// given DCT method. Throws std::runtime_error on a codec error.
TestJpegInfo DecodeTestJpeg(const std::string& bytes, J_COLOR_SPACE out = JCS_RGB, int scaleDenom = 1,
                            J_DCT_METHOD dct = JDCT_ISLOW);

// A test card: width x height pixels of distinct smooth colours (3 bytes each, or
// 1 or 4 bytes for gray and CMYK), varied enough for the codec to work on.
std::vector<std::uint8_t> TestCard(int width, int height, int components);

// The byte offset of the first marker FF code in a JPEG file, or npos.
std::size_t FindMarker(const std::string& bytes, std::uint8_t code);
