// Helpers of the rotation tests: test photographs on disk, an independent turn of
// decoded pixels, and file times.
#pragma once
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "tests/support/JpegTestUtil.h"
#include "tests/support/TempFolder.h"

namespace rotate_test {

// Writes a colour test photograph of w x h pixels.
inline std::string WritePhoto(const std::string& path, int w, int h, const TestJpegOptions& options = {}) {
  const std::string bytes = EncodeTestJpeg(TestCard(w, h, 3), w, h, options);
  WriteBytes(path, bytes);
  return bytes;
}

// Top-down packed pixels of c components turned by a quarter: left is
// counter-clockwise. The result is h wide and w high.
inline std::vector<std::uint8_t> Turn(const std::vector<std::uint8_t>& p, int w, int h, int c, bool left) {
  std::vector<std::uint8_t> out(p.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int row = left ? w - 1 - x : x;
      const int col = left ? y : h - 1 - y;
      for (int k = 0; k < c; ++k)
        out[(static_cast<std::size_t>(row) * h + col) * c + k] = p[(static_cast<std::size_t>(y) * w + x) * c + k];
    }
  return out;
}

inline double MeanError(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 1e9;
  double sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
  return sum / static_cast<double>(a.size());
}

// How far the photograph now at path is from the original bytes turned (left or
// right), comparing decoded pixels; 1e9 when the sizes do not fit.
inline double TurnError(const std::string& original, const std::string& path, bool left) {
  const TestJpegInfo before = DecodeTestJpeg(original);
  const TestJpegInfo after = DecodeTestJpeg(ReadBytes(path));
  if (after.width != before.height || after.height != before.width) return 1e9;
  return MeanError(Turn(before.pixels, before.width, before.height, 3, left), after.pixels);
}

// The mean error a turned photograph at quality 66 stays within.
constexpr double kTurnTolerance = 6.0;

inline std::time_t MTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return st.st_mtime;
}

inline void SetMTime(const std::string& path, std::time_t t) {
  struct utimbuf times {t, t};
  ASSERT_EQ(::utime(path.c_str(), &times), 0) << path;
}

// 2020-05-05 10:00:01 local time: an odd second, which the packed DOS time rounds.
inline std::time_t OldTime() {
  std::tm tm{};
  tm.tm_year = 120;
  tm.tm_mon = 4;
  tm.tm_mday = 5;
  tm.tm_hour = 10;
  tm.tm_min = 0;
  tm.tm_sec = 1;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

// The bytes of a small PNG file (signature and an IHDR chunk are all a reader needs).
inline std::string PngBytes() {
  return std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\0\x10\0\0\0\x10\x08\x02\0\0\0\x90\x91\x68\x36", 33);
}

}  // namespace rotate_test
