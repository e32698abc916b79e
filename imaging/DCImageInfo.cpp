#include "imaging/DCImageInfo.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "classlib/Graphics.h"
#include "classlib/Jpeg.h"

namespace {

constexpr std::size_t kWindowSize = 64 * 1024;

// Pixels per metre to dots per inch, truncated, as the extended-precision
// arithmetic of the format's tools gives it.
Integer DotsPerInch(WORD pixelsPerMetre) {
  const long double dpi = static_cast<long double>(pixelsPerMetre) * 25.4L / 1000.0L;
  return static_cast<Integer>(std::trunc(dpi));
}

// A 32-bit pattern as a signed number.
Integer AsInteger(DWORD bits) {
  return bits <= 0x7FFFFFFFu ? static_cast<Integer>(bits) : static_cast<Integer>(static_cast<std::int64_t>(bits) - 0x100000000LL);
}

}  // namespace

DWORD TDCImageInfo::Swap32(DWORD Value) {
  return (Value >> 24) | ((Value >> 8) & 0x0000FF00u) | ((Value << 8) & 0x00FF0000u) | (Value << 24);
}

void TDCImageInfo::ResetInfo() {
  ImageFormat = 0;
  Width = Height = BitCount = 0;
  DensityUnit = XDensity = YDensity = 0;
}

void TDCImageInfo::ReadAt(std::int64_t offset, void* buffer, std::size_t count) {
  if (offset < 0 || offset > FSize || static_cast<std::uint64_t>(FSize - offset) < count)
    throw EReadError("ストリームからの読み込みエラー");
  const std::int64_t end = offset + static_cast<std::int64_t>(count);
  if (offset < FWindowStart || end > FWindowStart + static_cast<std::int64_t>(FWindow.size())) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(std::max(kWindowSize, count), FSize - offset));
    FWindow.resize(want);
    FFileStream->SetPosition(offset);
    const std::int64_t got = FFileStream->Read(FWindow.data(), static_cast<std::int64_t>(want));
    FWindow.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
    FWindowStart = offset;
    if (static_cast<std::int64_t>(FWindow.size()) < static_cast<std::int64_t>(count))
      throw EReadError("ストリームからの読み込みエラー");
  }
  std::memcpy(buffer, FWindow.data() + (offset - FWindowStart), count);
}

BYTE TDCImageInfo::U8(std::int64_t offset) {
  BYTE b;
  ReadAt(offset, &b, 1);
  return b;
}

WORD TDCImageInfo::LE16(std::int64_t offset) {
  BYTE b[2];
  ReadAt(offset, b, 2);
  return static_cast<WORD>(b[0] | (b[1] << 8));
}

WORD TDCImageInfo::BE16(std::int64_t offset) {
  BYTE b[2];
  ReadAt(offset, b, 2);
  return static_cast<WORD>((b[0] << 8) | b[1]);
}

DWORD TDCImageInfo::LE32(std::int64_t offset) {
  BYTE b[4];
  ReadAt(offset, b, 4);
  return DWORD{b[0]} | (DWORD{b[1]} << 8) | (DWORD{b[2]} << 16) | (DWORD{b[3]} << 24);
}

void TDCImageInfo::ReadInfo(const std::string& FileName) {
  ResetInfo();
  try {
    FFileStream = std::make_unique<TFileStream>(FileName, fmOpenRead | fmShareExclusive);
  } catch (const std::exception&) {
    return;
  }
  FWindow.clear();
  FWindowStart = 0;
  FSize = std::max<std::int64_t>(FFileStream->Size(), 0);
  FileSize = static_cast<Integer>(std::min<std::int64_t>(FSize, INT32_MAX));

  BYTE sig[3];
  try {
    ReadAt(0, sig, 3);
  } catch (const std::exception&) {
    FFileStream.reset();
    return;
  }

  auto guarded = [this](void (TDCImageInfo::*reader)()) {
    try {
      (this->*reader)();
    } catch (const std::exception&) {
      ResetInfo();
    }
  };
  if (sig[0] == 0x89 && sig[1] == 0x50 && sig[2] == 0x4E) guarded(&TDCImageInfo::ReadPNG);
  if (sig[0] == 0x47 && sig[1] == 0x49 && sig[2] == 0x46) guarded(&TDCImageInfo::ReadGIF);
  if (sig[0] == 0x42 && sig[1] == 0x4D) guarded(&TDCImageInfo::ReadBMP);
  if (sig[0] == 0x0A) guarded(&TDCImageInfo::ReadPCX);
  if (sig[0] == 0x49 && sig[1] == 0x49 && sig[2] == 0x2A) guarded(&TDCImageInfo::ReadTIFFIntel);
  if (sig[0] == 0x4D && sig[1] == 0x4D && sig[2] == 0x00) guarded(&TDCImageInfo::ReadTIFFMotorola);
  if (ImageFormat == 0) {
    // A file larger than the JPEG image class loads is not walked for a start
    // marker (gigabytes, a sparse file say): a marker found would only lead to
    // the load below, which refuses the file for its size at once.
    if (TJPEGImage::TooLargeToLoad(FSize))
      ImageFormat = 2;
    else
      guarded(&TDCImageInfo::ReadJPEG);
  }

  FFileStream.reset();
  FWindow.clear();
  FWindow.shrink_to_fit();

  if (ImageFormat == 2) {
    TJPEGImage jpeg;
    jpeg.LoadFromFile(FileName);
    Height = jpeg.Height();
    Width = jpeg.Width();
    BitCount = jpeg.PixelFormat() == jf8Bit ? 8 : 24;
  }
}

void TDCImageInfo::ReadPNG() {
  ImageFormat = 3;
  const Integer depth = U8(24);
  const BYTE colourType = U8(25);
  switch (colourType) {
    case 0: BitCount = depth; break;
    case 2: BitCount = 3 * depth; break;
    case 3: BitCount = 8; break;
    case 4: BitCount = 2 * depth; break;
    case 6: BitCount = 4 * depth; break;
    default:
      ImageFormat = 0;
      return;
  }
  Width = BE16(18);
  Height = BE16(22);
}

void TDCImageInfo::ReadGIF() {
  ImageFormat = 1;
  Width = LE16(6);
  Height = LE16(8);
  BitCount = (U8(10) & 0x07) + 1;
}

void TDCImageInfo::ReadBMP() {
  ImageFormat = 4;
  Width = LE16(18);
  Height = LE16(22);
  BitCount = U8(28);
  XDensity = DotsPerInch(LE16(38));
  YDensity = DotsPerInch(LE16(42));
}

void TDCImageInfo::ReadPCX() {
  ImageFormat = 5;
  const Integer bitsPerPlane = U8(3);
  const Integer xMin = LE16(4);
  const Integer yMin = LE16(6);
  const Integer xMax = LE16(8);
  const Integer yMax = LE16(10);
  const Integer planes = U8(65);
  Width = xMax - xMin + 1;
  Height = yMax - yMin + 1;
  BitCount = bitsPerPlane * planes;
}

void TDCImageInfo::ReadTIFFIntel() { ReadTIFF(false); }
void TDCImageInfo::ReadTIFFMotorola() { ReadTIFF(true); }

void TDCImageInfo::ReadTIFF(bool bigEndian) {
  auto u16 = [&](std::int64_t at) { return bigEndian ? BE16(at) : LE16(at); };
  auto u32 = [&](std::int64_t at) { return bigEndian ? Swap32(LE32(at)) : LE32(at); };
  ImageFormat = 6;
  const std::int64_t ifd = u32(4);
  const WORD count = u16(ifd);
  for (WORD i = 0; i < count; ++i) {
    const std::int64_t entry = ifd + 2 + 12 * std::int64_t{i};
    const WORD tag = u16(entry);
    if (tag < 256 || tag > 258) continue;
    Integer value = 0;
    switch (u16(entry + 2)) {
      case 1: value = U8(entry + 8); break;
      case 3: value = u16(entry + 8); break;
      case 4: value = AsInteger(u32(entry + 8)); break;
      default: value = 0; break;
    }
    if (tag == 256)
      Width = value;
    else if (tag == 257)
      Height = value;
    else
      BitCount = value;
  }
  if (Width <= 0 || Height <= 0 || BitCount <= 0) ResetInfo();
}

void TDCImageInfo::ReadJPEG() {
  // The first FF D8 FF, scanned through a window; windows overlap by two bytes
  // so no position is skipped.
  std::int64_t hit = -1;
  std::vector<std::uint8_t> chunk;
  for (std::int64_t pos = 0; hit < 0 && pos + 3 <= FSize;) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(kWindowSize), FSize - pos));
    chunk.resize(want);
    ReadAt(pos, chunk.data(), want);
    for (std::size_t j = 0; j + 3 <= want; ++j) {
      const void* ff = std::memchr(chunk.data() + j, 0xFF, want - 2 - j);
      if (!ff) break;
      j = static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - chunk.data());
      if (chunk[j + 1] == 0xD8 && chunk[j + 2] == 0xFF) {
        hit = pos + static_cast<std::int64_t>(j);
        break;
      }
    }
    pos += static_cast<std::int64_t>(want) - 2;
  }
  if (hit < 0) return;

  BYTE head[18];
  ReadAt(hit, head, sizeof head);
  // Densities only from a JFIF segment right behind the start-of-image marker,
  // long enough to hold them (its length counts from the length field to the
  // last density byte: 14); anything else there (an Exif block, a cut JFIF
  // segment and the segment after it) holds no densities.
  const unsigned length = (head[4] << 8) | head[5];
  if (head[3] == 0xE0 && length >= 14 && std::memcmp(head + 6, "JFIF\0", 5) == 0) {
    DensityUnit = head[13];
    XDensity = (head[14] << 8) | head[15];
    YDensity = (head[16] << 8) | head[17];
  }
  ImageFormat = 2;
}
