// The thumbnail's arithmetic (step, decode scale, sizes, sample indices) and its
// nearest-neighbour copy, on bitmaps laid out as the routine sees them.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "tests/support/BottomUpImage.h"
#include "thumb/ThumbCopy.h"

namespace {

constexpr BYTE kPad = 0xA5;  // what the thumbnail holds before the copy

// A 24-bit source whose every pixel names its own row and column (top-down):
// blue the row's low byte, green the column's low byte, red their high bits.
TBottomUpImage Addressed(Integer w, Integer h) {
  TBottomUpImage img(w, h, 3, 0);
  for (Integer r = 0; r < h; ++r)
    for (Integer c = 0; c < w; ++c) {
      BYTE* p = img.At(r, c);
      p[0] = static_cast<BYTE>(r);
      p[1] = static_cast<BYTE>(c);
      p[2] = static_cast<BYTE>((r >> 8) | ((c >> 8) << 4));
    }
  return img;
}
Integer RowOf(const BYTE* p) { return p[0] | ((p[2] & 0x0F) << 8); }
Integer ColumnOf(const BYTE* p) { return p[1] | ((p[2] >> 4) << 8); }

// The rule in top-down terms: thumbnail (row y, column x) := decoded (row
// H - 1 - trunc((T - 1 - y) × ratio), column trunc(x × ratio)), each product at
// extended precision.
Integer ExpectedRow(Integer y, Integer T, Integer H, double ratio) {
  return H - 1 - static_cast<Integer>(static_cast<long double>(T - 1 - y) * ratio);
}
Integer ExpectedColumn(Integer x, double ratio) {
  return static_cast<Integer>(static_cast<long double>(x) * ratio);
}

// Decodes at the scale the arithmetic picks and copies: what the routine does
// between the header and the writer, for decoded sizes W × H.
struct TCase {
  Integer fullW, fullH, thumbMax;
};

}  // namespace

TEST(ThumbArithmetic, TheWorkedSizesGiveTheirStepsScalesAndThumbnails) {
  struct TWorked {
    Integer fullW, fullH, thumbMax;
    Integer step;
    TJPEGScale scale;
    Integer scaledW, scaledH;  // the decoder's sizes at that scale (ceiling)
    Integer thumbW, thumbH;
    double ratio;
  };
  const TWorked worked[] = {
      {1600, 1200, 64, 25, jsEighth, 200, 150, 64, 48, 3.125},
      {1200, 1600, 64, 25, jsEighth, 150, 200, 48, 64, 3.125},
      {300, 300, 100, 3, jsQuarter, 75, 75, 100, 100, 0.75},
      {200, 150, 64, 3, jsQuarter, 50, 38, 64, 48, 0.78125},
      {100, 80, 64, 1, jsFullSize, 100, 80, 64, 51, 1.5625},
      {40, 30, 64, 0, jsFullSize, 40, 30, 64, 48, 0.625},
      {6000, 80, 64, 93, jsEighth, 750, 10, 64, 0, 750.0 / 64},
  };
  for (const TWorked& w : worked) {
    SCOPED_TRACE(testing::Message() << w.fullW << "x" << w.fullH << " at " << w.thumbMax);
    const Integer longSide = w.fullW > w.fullH ? w.fullW : w.fullH;
    EXPECT_EQ(ThumbStep(longSide, w.thumbMax), w.step);
    EXPECT_EQ(ThumbDecodeScale(w.step), w.scale);
    const TThumbSize size = ThumbSize(w.scaledW, w.scaledH, w.thumbMax);
    EXPECT_EQ(size.Width, w.thumbW);
    EXPECT_EQ(size.Height, w.thumbH);
    EXPECT_DOUBLE_EQ(size.Ratio, w.ratio);
  }
}

TEST(ThumbArithmetic, TheScaleBoundsAreOneTwoAndFour) {
  const std::pair<Integer, TJPEGScale> table[] = {
      {INT_MIN, jsFullSize}, {-1, jsFullSize}, {0, jsFullSize}, {1, jsFullSize}, {2, jsHalf},
      {3, jsQuarter},        {4, jsQuarter},   {5, jsEighth},   {7, jsEighth},   {8, jsEighth},
      {INT_MAX, jsEighth}};
  for (auto [step, scale] : table) EXPECT_EQ(ThumbDecodeScale(step), scale) << step;
  // The quotient is truncated, not rounded: 191 / 64 is 2.98.
  EXPECT_EQ(ThumbStep(191, 64), 2);
  EXPECT_EQ(ThumbStep(192, 64), 3);
  EXPECT_EQ(ThumbStep(63, 64), 0);
  EXPECT_EQ(ThumbStep(65535, 1), 65535);
}

TEST(ThumbArithmetic, ASquareTakesTheHeightAndShortSidesTruncate) {
  TThumbSize s = ThumbSize(75, 75, 100);
  EXPECT_EQ(s.Width, 100);
  EXPECT_EQ(s.Height, 100);
  s = ThumbSize(37, 50, 64);  // 37 × 64 / 50 = 47.36
  EXPECT_EQ(s.Width, 47);
  EXPECT_EQ(s.Height, 64);
  EXPECT_DOUBLE_EQ(s.Ratio, 50.0 / 64);
  // A portrait strip: its width comes out as 0 (refused by the routine).
  s = ThumbSize(10, 750, 64);
  EXPECT_EQ(s.Width, 0);
  EXPECT_EQ(s.Height, 64);
}

TEST(ThumbArithmetic, SizesThatCannotBeFormedRaiseClearErrors) {
  // ThumbMax 0: the division's own errors.
  try {
    ThumbStep(1600, 0);
    FAIL();
  } catch (const EZeroDivide& e) {
    EXPECT_EQ(e.Message(), "0 による浮動小数点数除算");
  }
  try {
    ThumbStep(0, 0);
    FAIL();
  } catch (const EInvalidOp& e) {
    EXPECT_EQ(e.Message(), "不正な浮動小数点数演算命令");
  }
  // An empty image: no side to divide by.
  try {
    ThumbSize(0, 0, 64);
    FAIL();
  } catch (const EDivByZero& e) {
    EXPECT_EQ(e.Message(), "ゼロによる除算");
  }
  // A negative size is refused outright, before any size is formed.
  for (Integer bad : {-1, -64, INT_MIN}) {
    EXPECT_THROW(ThumbStep(1600, bad), EInvalidGraphicOperation) << bad;
    EXPECT_THROW(ThumbSize(200, 150, bad), EInvalidGraphicOperation) << bad;
  }
  // 32-bit products that would wrap, either side the long one.
  try {
    ThumbSize(40, 30, 100000000);
    FAIL();
  } catch (const EIntOverflow& e) {
    EXPECT_NE(e.Message().find("Thumbnail size out of range"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(ThumbSize(30, 40, 100000000), EIntOverflow);
  EXPECT_THROW(ThumbSize(65535, 65535, INT_MAX), EIntOverflow);
  // Just inside 32 bits is still a size (the bitmap's own limit decides later).
  EXPECT_EQ(ThumbSize(2, 1, INT_MAX).Height, INT_MAX / 2);
}

TEST(ThumbArithmetic, IndexTimesRatioIsFormedAtExtendedPrecision) {
  // 6 / 100 is stored a little below 0.06; 50 × it is 2.99999... exactly, which
  // a double product would round up to 3.
  const double ratio = 6.0 / 100;
  ASSERT_EQ(static_cast<std::int64_t>(50 * ratio), 3) << "the double product rounds up";
  EXPECT_EQ(ThumbSourceIndex(50, ratio), 2);
  EXPECT_EQ(ThumbSourceIndex(25, 12.0 / 100), 2);
  EXPECT_EQ(ThumbSourceIndex(75, 12.0 / 100), 8);
  // Exact products are exact.
  EXPECT_EQ(ThumbSourceIndex(47, 3.125), 146);
  EXPECT_EQ(ThumbSourceIndex(63, 3.125), 196);
  EXPECT_EQ(ThumbSourceIndex(0, 3.125), 0);
}

TEST(ThumbCopy, TheWorkedLandscapeSamplesRowsFromTheBottomAndColumnsFromTheLeft) {
  // 1600 × 1200 at 64: decoded 200 × 150, thumbnail 64 × 48, ratio 3.125.
  TBottomUpImage src = Addressed(200, 150);
  TBottomUpImage dst(64, 48, 3, kPad);
  ThumbPixels(TThumbLayout{src.bytes.data(), src.stride, 200, 150, dst.bytes.data(), dst.stride, 64, 48,
                           3.125, 3});
  EXPECT_EQ(RowOf(dst.At(47, 0)), 149);  // bottom row from the decoded bottom row
  EXPECT_EQ(RowOf(dst.At(0, 0)), 3);     // top row from row 3: rows 0 to 2 never sampled
  EXPECT_EQ(ColumnOf(dst.At(0, 0)), 0);
  EXPECT_EQ(ColumnOf(dst.At(0, 63)), 196);  // columns 197 to 199 never sampled
  for (Integer y = 0; y < 48; ++y)
    for (Integer x = 0; x < 64; ++x) {
      ASSERT_EQ(RowOf(dst.At(y, x)), ExpectedRow(y, 48, 150, 3.125)) << y << "," << x;
      ASSERT_EQ(ColumnOf(dst.At(y, x)), ExpectedColumn(x, 3.125)) << y << "," << x;
    }
}

TEST(ThumbCopy, EveryWorkedCaseSamplesByTheRuleAndLeavesThePaddingAlone) {
  const TCase cases[] = {{1600, 1200, 64}, {1200, 1600, 64}, {300, 300, 100}, {200, 150, 64},
                         {100, 80, 64},    {40, 30, 64},     {6, 4, 100},     {333, 17, 45}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fullW << "x" << c.fullH << " at " << c.thumbMax);
    const Integer longSide = c.fullW > c.fullH ? c.fullW : c.fullH;
    const int shift = ThumbDecodeScale(ThumbStep(longSide, c.thumbMax));
    const Integer W = (c.fullW + (1 << shift) - 1) >> shift, H = (c.fullH + (1 << shift) - 1) >> shift;
    const TThumbSize size = ThumbSize(W, H, c.thumbMax);
    TBottomUpImage src = Addressed(W, H);
    TBottomUpImage dst(size.Width, size.Height, 3, kPad);
    ThumbPixels(TThumbLayout{src.bytes.data(), src.stride, W, H, dst.bytes.data(), dst.stride, size.Width,
                             size.Height, size.Ratio, 3});
    for (Integer y = 0; y < size.Height; ++y) {
      for (Integer x = 0; x < size.Width; ++x) {
        ASSERT_EQ(RowOf(dst.At(y, x)), ExpectedRow(y, size.Height, H, size.Ratio)) << y << "," << x;
        ASSERT_EQ(ColumnOf(dst.At(y, x)), ExpectedColumn(x, size.Ratio)) << y << "," << x;
      }
      const BYTE* rowEnd = dst.At(y, 0) + std::int64_t{size.Width} * 3;
      for (const BYTE* p = rowEnd; p < dst.At(y, 0) + dst.stride; ++p) ASSERT_EQ(*p, kPad) << "padding of row " << y;
    }
  }
}

TEST(ThumbCopy, EightBitPixelsAreCopiedAsStoredIndices) {
  // 40 × 30 at 64, enlarged: every decoded pixel repeated, the bytes unchanged.
  TBottomUpImage src(40, 30, 1, 0);
  for (Integer r = 0; r < 30; ++r)
    for (Integer c = 0; c < 40; ++c) *src.At(r, c) = static_cast<BYTE>(r * 7 + c * 3);
  TBottomUpImage dst(64, 48, 1, kPad);
  ThumbPixels(TThumbLayout{src.bytes.data(), src.stride, 40, 30, dst.bytes.data(), dst.stride, 64, 48, 0.625, 1});
  for (Integer y = 0; y < 48; ++y)
    for (Integer x = 0; x < 64; ++x)
      ASSERT_EQ(*dst.At(y, x), *src.At(ExpectedRow(y, 48, 30, 0.625), ExpectedColumn(x, 0.625))) << y << "," << x;
}

TEST(ThumbCopy, SizesThatDoNotBelongTogetherAreRefusedInsteadOfReadOutside) {
  // A ratio for a larger picture than the one given: the samples would fall
  // outside it.
  TBottomUpImage src = Addressed(50, 38);
  TBottomUpImage dst(64, 48, 3, kPad);
  EXPECT_THROW(ThumbPixels(TThumbLayout{src.bytes.data(), src.stride, 50, 38, dst.bytes.data(), dst.stride, 64, 48,
                                        3.125, 3}),
               EInvalidGraphicOperation);
  TBottomUpImage src2 = Addressed(200, 20);
  EXPECT_THROW(ThumbPixels(TThumbLayout{src2.bytes.data(), src2.stride, 200, 20, dst.bytes.data(), dst.stride, 64,
                                        48, 3.125, 3}),
               EInvalidGraphicOperation);
}
