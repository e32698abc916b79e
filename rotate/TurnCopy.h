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

// Called after source row y (counted from the top) when y is a multiple of 10:
// every source row up to y has been copied then, and none below it.
using TTurnProgress = std::function<void(Integer y)>;

// The copy, in tiles within each band of source rows between two progress calls
// (row 0 alone, then 1..10, 11..20, ...), so that the turned bitmap is written in
// runs of neighbouring bytes instead of one pixel per row. Writes every pixel of
// the turned bitmap once and no padding byte.
void TurnPixels(TTurnRule rule, const TTurnLayout& layout, const TTurnProgress& progress);

// The same copy pixel by pixel in source order, one turned row per pixel: the
// reference the tiled copy is measured and checked against.
void TurnPixelsNaive(TTurnRule rule, const TTurnLayout& layout, const TTurnProgress& progress);
