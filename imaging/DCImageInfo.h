// Image header reader: format, size, bits per pixel and, for BMP and JPEG files,
// resolution, read from the first bytes of an image file.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/Classes.h"

class TDCImageInfo : public TObject {
 private:
  std::unique_ptr<TFileStream> FFileStream;  // open only while ReadInfo runs

 public:
  Integer Width = 0;
  Integer Height = 0;
  Integer BitCount = 0;
  Integer DensityUnit = 0;  // JPEG: the JFIF unit byte as stored
  Integer XDensity = 0;     // JPEG: JFIF density; BMP: dots per inch
  Integer YDensity = 0;
  // 0 none, 1 GIF, 2 JPEG, 3 PNG, 4 BMP, 5 PCX, 6 TIFF
  BYTE ImageFormat = 0;
  Integer FileSize = 0;  // clamped to the largest Integer for larger files

  // Fills the fields from the file. A file that cannot be opened or whose header
  // cannot be read gives the empty result; the only failures that leave are
  // those of the JPEG image class loading a file taken for a JPEG file. A file of
  // no known format that is larger than that class loads is taken for one
  // without being scanned, and its load fails for the size.
  void ReadInfo(const std::string& FileName);
  // Zeroes the format and the six header fields; FileSize stays.
  void ResetInfo();
  static DWORD Swap32(DWORD Value);

 private:
  void ReadPNG();
  void ReadGIF();
  void ReadBMP();
  void ReadPCX();
  void ReadTIFFIntel();
  void ReadTIFFMotorola();
  void ReadTIFF(bool bigEndian);
  void ReadJPEG();

  // Exactly count bytes at offset, through a small read-ahead window; EReadError
  // when the file ends before them.
  void ReadAt(std::int64_t offset, void* buffer, std::size_t count);
  BYTE U8(std::int64_t offset);
  WORD LE16(std::int64_t offset);
  WORD BE16(std::int64_t offset);
  DWORD LE32(std::int64_t offset);

  std::int64_t FSize = 0;
  std::vector<std::uint8_t> FWindow;
  std::int64_t FWindowStart = 0;
};
