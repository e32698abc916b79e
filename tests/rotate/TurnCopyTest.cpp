// The pixel copy of a quarter turn, both address rules, on bitmaps laid out as
// the turning routine sees them (bottom-up rows padded to 4 bytes).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "rotate/TurnCopy.h"
#include "tests/support/BottomUpImage.h"
#include "tests/support/TurnReference.h"

namespace {

constexpr BYTE kPad = 0xA5;  // what the turned bitmap holds before the copy

TTurnTarget Target(TBottomUpImage& src, TBottomUpImage& dst) {
  return TTurnTarget{dst.bytes.data(), dst.stride, src.W, src.H, src.B};
}

// Source pixels numbered in reading order, each number in every byte of its pixel.
TBottomUpImage Numbered(Integer w, Integer h, Integer B) {
  TBottomUpImage img(w, h, B, 0x5A);
  int n = 1;
  for (Integer r = 0; r < h; ++r)
    for (Integer c = 0; c < w; ++c, ++n) std::memset(img.At(r, c), n, static_cast<std::size_t>(B));
  return img;
}

std::vector<std::vector<int>> Rows(TBottomUpImage& img) {
  std::vector<std::vector<int>> rows;
  for (Integer r = 0; r < img.H; ++r) {
    rows.emplace_back();
    for (Integer c = 0; c < img.W; ++c) rows.back().push_back(*img.At(r, c));
  }
  return rows;
}

const char* RuleName(TTurnRule rule) { return rule == TTurnRule::Left ? "left" : "right"; }

// Names the case a failure below belongs to.
testing::Message Case(TTurnRule rule, Integer W, Integer H, Integer B) {
  return testing::Message() << RuleName(rule) << ' ' << W << 'x' << H << " B=" << B;
}

using TCopy = void (*)(TTurnRule, const BYTE*, std::int64_t, const TTurnTarget&, const TTurnProgress&);

}  // namespace

TEST(TurnCopy, TheWorkedThreeByTwoExampleOnBothRulesAndEveryPixelSize) {
  for (Integer B = 1; B <= 4; ++B) {
    for (TCopy copy : {TCopy(TurnPixelsBanded), TCopy(TurnPixelsNaive)}) {
      SCOPED_TRACE(testing::Message() << (copy == TCopy(TurnPixelsBanded) ? "banded" : "naive") << " B=" << B);
      TBottomUpImage src = Numbered(3, 2, B);  // rows 1 2 3 / 4 5 6
      TBottomUpImage left(2, 3, B, kPad), right(2, 3, B, kPad);
      copy(TTurnRule::Left, src.bytes.data(), src.stride, Target(src, left), nullptr);
      copy(TTurnRule::Right, src.bytes.data(), src.stride, Target(src, right), nullptr);
      EXPECT_EQ(Rows(left), (std::vector<std::vector<int>>{{3, 6}, {2, 5}, {1, 4}}));
      EXPECT_EQ(Rows(right), (std::vector<std::vector<int>>{{4, 1}, {5, 2}, {6, 3}}));
      // Every byte of a pixel moves, and the row padding stays as it was.
      for (Integer r = 0; r < 3; ++r) {
        for (Integer k = 0; k < 2 * B; ++k) EXPECT_NE(left.At(r, 0)[k], kPad);
        for (std::int64_t k = 2 * B; k < left.stride; ++k) EXPECT_EQ(left.At(r, 0)[k], kPad);
      }
    }
  }
}

TEST(TurnCopy, TiledCopyEqualsThePixelByPixelCopyOnAnySize) {
  std::mt19937 rng(7);
  const Integer sizes[][2] = {{1, 1}, {1, 25}, {25, 1}, {3, 2}, {7, 7}, {13, 10}, {64, 11},
                              {37, 21}, {5, 40}, {101, 33}, {2, 9}, {40, 31}};
  for (Integer B = 1; B <= 4; ++B) {
    for (auto& s : sizes) {
      TBottomUpImage src(s[0], s[1], B, 0);
      for (BYTE& b : src.bytes) b = static_cast<BYTE>(rng());
      for (TTurnRule rule : {TTurnRule::Left, TTurnRule::Right}) {
        SCOPED_TRACE(Case(rule, s[0], s[1], B));
        TBottomUpImage tiled(s[1], s[0], B, kPad), naive(s[1], s[0], B, kPad);
        TurnPixelsBanded(rule, src.bytes.data(), src.stride, Target(src, tiled));
        TurnPixelsNaive(rule, src.bytes.data(), src.stride, Target(src, naive));
        ASSERT_EQ(tiled.bytes, naive.bytes);
      }
    }
  }
}

TEST(TurnCopy, ProgressComesAfterEveryTenthRowWithExactlyTheRowsUpToItCopied) {
  for (TTurnRule rule : {TTurnRule::Left, TTurnRule::Right}) {
    for (Integer H : {1, 10, 11, 25, 31}) {
      const Integer W = 6;
      SCOPED_TRACE(Case(rule, W, H, 1));
      TBottomUpImage src = Numbered(W, H, 1);
      TBottomUpImage dst(H, W, 1, 0);  // pixel numbers start at 1: 0 is "not yet written"
      std::vector<Integer> calls;
      auto check = [&](Integer y) {
        calls.push_back(y);
        // Source row r lands in turned column r (left) or H-1-r (right).
        for (Integer r = 0; r < H; ++r) {
          const Integer col = rule == TTurnRule::Left ? r : H - 1 - r;
          for (Integer x = 0; x < W; ++x) {
            const Integer row = rule == TTurnRule::Left ? W - 1 - x : x;
            const bool copied = *dst.At(row, col) != 0;
            EXPECT_EQ(copied, r <= y) << "row " << r << " at progress " << y;
          }
        }
      };
      TurnPixelsBanded(rule, src.bytes.data(), src.stride, Target(src, dst), check);
      std::vector<Integer> expected;
      for (Integer y = 0; y < H; y += 10) expected.push_back(y);
      EXPECT_EQ(calls, expected) << "banded";
      std::vector<Integer> naiveCalls;
      TBottomUpImage other(H, W, 1, 0);
      TurnPixelsNaive(rule, src.bytes.data(), src.stride, Target(src, other), [&](Integer y) { naiveCalls.push_back(y); });
      EXPECT_EQ(naiveCalls, expected) << "naive";
    }
  }
}

TEST(TurnCopy, RowsHandedOverInBandsOfAnyHeightLandWhereTheWholeCopyPutsThem) {
  // Rows top-down in a small buffer, as a decoder hands them over: whatever the
  // band heights, the turned bitmap ends as the pixel-by-pixel copy makes it,
  // and rows not yet handed over are not touched.
  std::mt19937 rng(11);
  const Integer sizes[][2] = {{1, 1}, {3, 2}, {33, 1}, {31, 17}, {70, 23}, {101, 45}};
  for (Integer B = 1; B <= 4; ++B) {
    for (auto& s : sizes) {
      const Integer W = s[0], H = s[1];
      TBottomUpImage src(W, H, B, 0);
      for (BYTE& b : src.bytes) b = static_cast<BYTE>(rng());
      for (TTurnRule rule : {TTurnRule::Left, TTurnRule::Right}) {
        SCOPED_TRACE(Case(rule, W, H, B));
        TBottomUpImage naive(H, W, B, kPad), banded(H, W, B, kPad);
        TurnPixelsNaive(rule, src.bytes.data(), src.stride, Target(src, naive));
        const TTurnTarget target = Target(src, banded);
        for (Integer y = 0; y < H;) {
          const Integer n = std::min<Integer>(H - y, 1 + static_cast<Integer>(rng() % 14));
          // The band in a buffer of its own, rows 5 bytes longer than their pixels.
          const std::int64_t stride = std::int64_t{W} * B + 5;
          std::vector<BYTE> band(static_cast<std::size_t>(stride * n), 0xEE);
          for (Integer k = 0; k < n; ++k) std::memcpy(&band[k * stride], src.At(y + k, 0), static_cast<std::size_t>(W * B));
          TurnRows(rule, target, band.data(), stride, y, n);
          y += n;
          // The turned columns of the rows still to come hold what they held.
          for (Integer r = y; r < H; ++r) {
            const Integer col = rule == TTurnRule::Left ? r : H - 1 - r;
            for (Integer row = 0; row < W; ++row) ASSERT_EQ(*banded.At(row, col), kPad) << "source row " << r << " after " << y << " rows";
          }
        }
        ASSERT_EQ(banded.bytes, naive.bytes);
      }
    }
  }
  TBottomUpImage dst(3, 2, 1, kPad);
  const TTurnTarget target{dst.bytes.data(), dst.stride, 2, 3, 1};
  BYTE row[4] = {};
  EXPECT_THROW(TurnRows(TTurnRule::Left, target, row, 4, 2, 2), std::invalid_argument);
  EXPECT_THROW(TurnRows(TTurnRule::Left, target, row, 4, -1, 1), std::invalid_argument);
}
