// The thumbnail's arithmetic and pixel copy: the decode scale a long side asks
// for, the thumbnail's sizes from the decoded sizes, and the nearest-neighbour
// copy anchored at the bottom-left corner.
#pragma once
#include <cstdint>

#include "classlib/Jpeg.h"
#include "classlib/SysUtils.h"
#include "platform/WinTypes.h"

// trunc(LongSide / ThumbMax), formed in floating point, as a 32-bit number.
// ThumbMax 0 raises what the division raises: EZeroDivide "0 による浮動小数点数除算",
// or, for a long side of 0 as well, EInvalidOp "不正な浮動小数点数演算命令". A
// negative ThumbMax would give a thumbnail of no size at all: EInvalidGraphicOperation.
Integer ThumbStep(Integer LongSide, Integer ThumbMax);

// The decoder's scale for a step: the smallest of 1, 2, 4 and 8 not below it
// (bounds 1, 2 and 4; a step of 0 or below decodes at full size).
TJPEGScale ThumbDecodeScale(Integer Step);

struct TThumbSize {
  Integer Width = 0;
  Integer Height = 0;
  double Ratio = 0;  // decoded pixels per thumbnail pixel, along both axes
};

// The thumbnail's sizes from the decoded ones: the longer side (the height for a
// square) becomes ThumbMax, the shorter one (short × ThumbMax) div long, formed in
// 32 bits. A product beyond 32 bits raises EIntOverflow; decoded sizes of 0 and 0
// raise EDivByZero "ゼロによる除算"; ThumbMax must be above 0
// (EInvalidGraphicOperation otherwise). A side of 0 is returned as it is.
TThumbSize ThumbSize(Integer ScaledWidth, Integer ScaledHeight, Integer ThumbMax);

// trunc(Index × Ratio), the product formed with a 64-bit mantissa (long double on
// x86-64) and truncated without passing through a double.
std::int64_t ThumbSourceIndex(Integer Index, double Ratio);

// Both bitmaps as the copy sees them: the bottom row's address (the lowest),
// the row strides in bytes and the sizes in pixels.
struct TThumbLayout {
  const BYTE* SrcBase = nullptr;
  std::int64_t SrcStride = 0;
  Integer SrcWidth = 0;
  Integer SrcHeight = 0;
  BYTE* DstBase = nullptr;
  std::int64_t DstStride = 0;
  Integer Width = 0;
  Integer Height = 0;
  double Ratio = 0;
  Integer BytesPerPixel = 0;
};

// Thumbnail (row j up from the bottom, column i) := decoded (row
// ThumbSourceIndex(j) up from the bottom, column ThumbSourceIndex(i)), bytes per
// pixel copied as stored. Row padding is not written. A sample outside the
// decoded image (sizes that do not belong together) raises
// EInvalidGraphicOperation before anything is read from outside.
void ThumbPixels(const TThumbLayout& layout);
