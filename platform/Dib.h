// Device-independent bitmaps (DIB sections): pixel memory with a GDI handle.
// Rows lie bottom-up (the first row in memory is the image's bottom row) and
// each row is padded to a multiple of 4 bytes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

using HGDIOBJ = void*;

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;  // the row stride
  WORD bmPlanes;
  WORD bmBitsPixel;
  void* bmBits;  // the bottom row, the lowest address of the pixels
};

constexpr DWORD BI_RGB = 0;

// One palette entry of an indexed bitmap.
struct RGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
};

struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // positive: rows bottom-up
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};

// The description GetObjectA gives of a DIB section. Laid out naturally for the
// platform: 84 bytes where addresses are 32 bits wide, more here, so callers pass
// sizeof(DIBSECTION).
struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  void* dshSection;
  DWORD dsOffset;
};

// Creates a zero-filled DIB section of width x height pixels at bitCount bits per
// pixel (1, 4, 8, 16, 24 or 32). *bits receives the pixel address (null for an
// image without pixels). Returns null, with *bits null, when the sizes are
// negative, the block would not fit the address space or the memory cannot be
// had. Large blocks get a mapping of their own, on huge pages (see Memory.h).
HBITMAP CreateDIBSection(LONG width, LONG height, WORD bitCount, void** bits);

// Bytes per row of a DIB: width x bitCount bits, padded to 4 bytes; -1 when it
// does not fit 32 bits.
std::int64_t DibStride(LONG width, WORD bitCount);

// Fills buffer with a BITMAP (size >= sizeof(BITMAP)) or a DIBSECTION (size >=
// sizeof(DIBSECTION)) for a live handle; returns the bytes written, 0 for an
// unknown handle or a buffer too small for a BITMAP.
int GetObjectA(HGDIOBJ handle, int size, void* buffer);

// Releases a DIB section and its pixels; FALSE for an unknown handle.
BOOL DeleteObject(HGDIOBJ handle);
