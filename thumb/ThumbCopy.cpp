#include "thumb/ThumbCopy.h"

#include <cstring>

namespace {

void RequirePositiveSize(Integer ThumbMax) {
  if (ThumbMax < 1)
    throw EInvalidGraphicOperation(Format("Thumbnail size must be at least 1 (%d)", ThumbMax));
}

}  // namespace

Integer ThumbStep(Integer LongSide, Integer ThumbMax) {
  if (ThumbMax == 0) {
    if (LongSide == 0) throw EInvalidOp("不正な浮動小数点数演算命令");
    throw EZeroDivide("0 による浮動小数点数除算");
  }
  RequirePositiveSize(ThumbMax);
  // Extended precision, as the quotient is formed; for positive sizes it is
  // the integer quotient, well inside 32 bits.
  const long double quotient = static_cast<long double>(LongSide) / static_cast<long double>(ThumbMax);
  return static_cast<Integer>(quotient);
}

TJPEGScale ThumbDecodeScale(Integer Step) {
  if (Step <= 1) return jsFullSize;
  if (Step <= 2) return jsHalf;
  if (Step <= 4) return jsQuarter;
  return jsEighth;
}

TThumbSize ThumbSize(Integer ScaledWidth, Integer ScaledHeight, Integer ThumbMax) {
  RequirePositiveSize(ThumbMax);
  if (ScaledWidth < 0 || ScaledHeight < 0)
    throw EInvalidGraphicOperation(Format("Invalid image size (%d x %d)", ScaledWidth, ScaledHeight));
  TThumbSize size;
  Integer product = 0;
  if (ScaledWidth > ScaledHeight) {
    size.Ratio = static_cast<double>(ScaledWidth) / static_cast<double>(ThumbMax);
    size.Width = ThumbMax;
    if (__builtin_mul_overflow(ScaledHeight, ThumbMax, &product))
      throw EIntOverflow(Format("Thumbnail size out of range (%d x %d at %d)", ScaledWidth, ScaledHeight, ThumbMax));
    size.Height = product / ScaledWidth;
  } else {
    size.Ratio = static_cast<double>(ScaledHeight) / static_cast<double>(ThumbMax);
    if (__builtin_mul_overflow(ScaledWidth, ThumbMax, &product))
      throw EIntOverflow(Format("Thumbnail size out of range (%d x %d at %d)", ScaledWidth, ScaledHeight, ThumbMax));
    if (ScaledHeight == 0) throw EDivByZero("ゼロによる除算");
    size.Width = product / ScaledHeight;
    size.Height = ThumbMax;
  }
  return size;
}

std::int64_t ThumbSourceIndex(Integer Index, double Ratio) {
  return static_cast<std::int64_t>(static_cast<long double>(Index) * static_cast<long double>(Ratio));
}

void ThumbPixels(const TThumbLayout& layout) {
  const std::size_t bpp = static_cast<std::size_t>(layout.BytesPerPixel);
  for (Integer j = 0; j < layout.Height; ++j) {
    const std::int64_t row = ThumbSourceIndex(j, layout.Ratio);
    if (row < 0 || row >= layout.SrcHeight)
      throw EInvalidGraphicOperation(SScanLine);
    const BYTE* src = layout.SrcBase + row * layout.SrcStride;
    BYTE* dst = layout.DstBase + static_cast<std::int64_t>(j) * layout.DstStride;
    for (Integer i = 0; i < layout.Width; ++i) {
      const std::int64_t column = ThumbSourceIndex(i, layout.Ratio);
      if (column < 0 || column >= layout.SrcWidth)
        throw EInvalidGraphicOperation(SScanLine);
      std::memcpy(dst + static_cast<std::int64_t>(i) * layout.BytesPerPixel,
                  src + column * layout.BytesPerPixel, bpp);
    }
  }
}
