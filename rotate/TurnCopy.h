// The pixel copy of a quarter turn: every pixel of a bottom-up bitmap moved to
// its place in a bitmap of exchanged width and height, as raw bytes.
#pragma once
#include <cstdint>
#include <functional>

#include "classlib/SysUtils.h"
#include "platform/WinTypes.h"

enum class TTurnRule {
  Left,   // counter-clockwise: turned (row W-1-x, column y) := source (row y, column x)
  Right,  // clockwise: turned (row x, column H-1-y) := source (row y, column x)
};

// Both bitmaps as the copy sees them: the lowest row address (the bottom row),
// the row strides in bytes, the source's size in pixels and the bytes per pixel
// (1 to 4). The turned bitmap is Height pixels wide and Width high.
struct TTurnLayout {
  const BYTE* SrcBase = nullptr;
  std::int64_t SrcStride = 0;
  BYTE* DstBase = nullptr;
  std::int64_t DstStride = 0;
  Integer Width = 0;
  Integer Height = 0;
  Integer BytesPerPixel = 0;
};

// The turned bitmap as a band copy sees it: its lowest row address (the bottom
// row) and row stride, the source's size in pixels and the bytes per pixel (1
// to 4). The turned bitmap is Height pixels wide and Width high.
struct TTurnTarget {
  BYTE* DstBase = nullptr;
  std::int64_t DstStride = 0;
  Integer Width = 0;
  Integer Height = 0;
  Integer BytesPerPixel = 0;
};

// Source rows Y0 .. Y0+Count-1 (counted from the top), the first at Top and each
// next one Stride bytes on (negative for a bottom-up bitmap), to their turned
// places: the pixels of each column of the band side by side in one turned row,
// that row asked for a few columns ahead. Writes only those rows' pixels, and no
// padding byte.
void TurnRows(TTurnRule rule, const TTurnTarget& target, const BYTE* Top, std::int64_t Stride, Integer Y0,
              Integer Count);

// The last source row of the band that starts at row y, of an image height rows
// high: row 0 ends a band of its own, from then on every tenth row does (or the
// last row of the image).
Integer TurnBandEnd(Integer y, Integer height);

// Called after source row y (counted from the top) when y is a multiple of 10:
// every source row up to y has been copied then, and none below it.
using TTurnProgress = std::function<void(Integer y)>;

// The whole copy of a bottom-up source, band by band as TurnBandEnd gives them
// (row 0 alone, then 1..10, 11..20, ...), each band through TurnRows. Writes
// every pixel of the turned bitmap once and no padding byte.
void TurnPixels(TTurnRule rule, const TTurnLayout& layout, const TTurnProgress& progress);

// The same copy pixel by pixel in source order, one turned row per pixel: the
// reference the banded copy is measured and checked against.
void TurnPixelsNaive(TTurnRule rule, const TTurnLayout& layout, const TTurnProgress& progress);
