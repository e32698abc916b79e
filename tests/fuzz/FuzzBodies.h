// What each fuzz target does with one input. Inputs that once broke something
// are kept in tests/fuzz/regressions; scripts/run-fuzz replays them first.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "classlib/Jpeg.h"
#include "imaging/DCImageInfo.h"

namespace fuzz {

// The file a fuzz run writes its inputs to, made by MakeInputFile.
inline std::string& InputPath() {
  static std::string path;
  return path;
}

// Makes the run's input file from a mkstemp pattern ("/tmp/name-XXXXXX") at
// start-up; it is removed at exit.
inline void MakeInputFile(const char* pattern) {
  std::string name = pattern;
  const int fd = mkstemp(name.data());
  if (fd < 0) std::abort();
  close(fd);
  InputPath() = name;
  std::atexit([] { unlink(InputPath().c_str()); });
}

// The input as a file, since both readers take a path.
inline bool WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
  return done == size;
}

// The header reader on any bytes: a result, or one of the class library's
// exceptions from the JPEG load.
inline void ReadInfo(const std::string& path) {
  TDCImageInfo info;
  try {
    info.ReadInfo(path);
  } catch (const Exception&) {
  }
}

// Images larger than this are only parsed: decoding them would measure the
// machine, not find faults.
constexpr std::int64_t kMaxFuzzPixels = std::int64_t{1} << 22;

inline void Decode(TJPEGImage& jpeg, TJPEGScale scale, TJPEGPerformance performance, bool gray,
                   TJPEGPixelFormat format) {
  jpeg.SetScale(scale);
  jpeg.SetPerformance(performance);
  jpeg.SetGrayscale(gray);
  jpeg.SetPixelFormat(format);
  TBitmap bitmap;
  try {
    bitmap.Assign(&jpeg);
  } catch (const Exception&) {
    return;
  }
  // The rows must be there, whole: touch the first and last byte of each.
  const int bytes = (bitmap.PixelFormat() == pf8bit ? 1 : 3) * bitmap.Width();
  volatile unsigned sum = 0;
  for (int y = 0; y < bitmap.Height() && bytes > 0; ++y) {
    const BYTE* row = bitmap.ScanLine(y);
    sum = sum + row[0] + row[bytes - 1];
  }
}

// TJPEGImage: load, then decode at every scale, and once each with the other
// output settings.
inline void DecodeJpeg(const std::string& path) {
  TJPEGImage jpeg;
  try {
    jpeg.LoadFromFile(path);
  } catch (const Exception&) {
    return;
  }
  if (std::int64_t{jpeg.Width()} * jpeg.Height() > kMaxFuzzPixels) return;
  for (TJPEGScale scale : {jsFullSize, jsHalf, jsQuarter, jsEighth}) Decode(jpeg, scale, jpBestQuality, false, jf24Bit);
  Decode(jpeg, jsEighth, jpBestSpeed, false, jf8Bit);
  Decode(jpeg, jsQuarter, jpBestQuality, false, jf8Bit);
  Decode(jpeg, jsHalf, jpBestSpeed, true, jf24Bit);
}

}  // namespace fuzz
